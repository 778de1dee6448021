"""A schedule: a list of steps drawn from one seed.

A step is plain data. Everything timing-dependent is expressed by what the service has seen
("when the order's 2nd status request arrives", "during the next return exchange"), never by
a wall-clock delay, so a seed replays the same schedule. Steps name orders by their position
among the orders the schedule created so far; the player resolves them when it gets there.
"""

import random
from dataclasses import dataclass, field, replace

FAULT_WORDS = ("DROP", "SLOW", "HTML", "GATEWAY", "NOTJSON", "ARRAY", "TRUNCATED", "HUGE")
TILLS = ("A", "B")
FULL = 15050  # the receipt's sum: an itemized payment
PARTS = (10000, 5050)  # partial payments and partial returns


@dataclass(frozen=True)
class Pay:
    """One payment: its amount, the customer's decision and a fault of one exchange."""

    amount: int
    # "paid" or "declined" by the phone at the Nth status request, "expire" (the phone stays
    # silent), "interrupt" (the cashier's cancel at the Nth status request), "kill" (SIGKILL of
    # the till at the Nth status request).
    outcome: str
    at: int = 1
    # A fault word of one exchange of the order: ("ORDER", WORD, 1) or ("STATUS", WORD, N).
    fault: tuple = None
    # After an interruption or a kill, the customer pays all the same.
    pays_late: bool = False

    def code_words(self):
        words = ["MANUAL"]
        if self.fault:
            stage, word, number = self.fault
            words.append(f"{stage}{word}{number}")
        return words

    def text(self):
        outcome = self.outcome if self.outcome == "expire" else f"{self.outcome}@{self.at}"
        late = ", pays late" if self.pays_late else ""
        fault = f", {self.fault[0]}{self.fault[1]}{self.fault[2]}" if self.fault else ""
        kind = "itemized" if self.amount == FULL else "partial"
        return f"{kind} {self.amount / 100:.2f} {outcome}{fault}{late}"


@dataclass(frozen=True)
class Step:
    kind: str  # pay, pay2, refund, cancel, defer, legacy, queue, restart
    till: str = "A"
    pays: tuple = ()  # Pay of each till (pay: one, pay2: A's and B's)
    order: int = 0  # which order the step acts on (mod the orders created so far)
    amount: str = "full"  # full or a partial amount in kopecks
    again: bool = False  # asks again the last return of the order whose outcome is unknown
    fault: tuple = None  # armed by hand before the step: (stage, WORD), stage order/status/return
    kill_in_return: bool = False  # SIGKILL during the step's first return exchange (slow)
    hold: tuple = None  # (queue|journal, start|decision): held by another writer until the end
    disk_full: bool = False  # the till runs the step unable to grow any file

    def text(self):
        parts = [f"{self.kind} {self.till}" if self.kind != "pay2" else "pay2 A+B"]
        if self.pays:
            parts.append(" | ".join(pay.text() for pay in self.pays))
        if self.kind in ("refund", "cancel", "defer", "legacy"):
            amount = self.amount if self.amount == "full" else f"{int(self.amount) / 100:.2f}"
            parts.append(f"order#{self.order} {amount}{' again' if self.again else ''}")
        if self.fault:
            parts.append(f"armed {self.fault[0]} {self.fault[1]}")
        if self.kill_in_return:
            parts.append("KILL during the return exchange")
        if self.hold:
            parts.append(f"{self.hold[0]} held from {self.hold[1]}")
        if self.disk_full:
            parts.append("disk full")
        return ", ".join(parts)


@dataclass
class Schedule:
    seed: int
    steps: list = field(default_factory=list)

    def text(self):
        return "\n".join(f"  {i + 1:2}. {step.text()}" for i, step in enumerate(self.steps))


def draw_fault(rng, stages):
    stage = rng.choice(stages)
    return stage, rng.choice(FAULT_WORDS)


def draw_pay(rng):
    amount = rng.choice((FULL, FULL, *PARTS))
    outcome = rng.choices(
        ("paid", "declined", "expire", "interrupt", "kill"), weights=(50, 12, 8, 15, 15)
    )[0]
    fault = None
    if rng.random() < 0.45:
        stage = rng.choice(("ORDER", "STATUS", "STATUS"))
        number = 1 if stage == "ORDER" else rng.randint(1, 2)
        fault = (stage, rng.choice(FAULT_WORDS), number)
    pays_late = outcome in ("interrupt", "kill") or (fault is not None and rng.random() < 0.5)
    return Pay(amount, outcome, rng.randint(1, 3), fault, pays_late and rng.random() < 0.6)


def draw_return(rng, kind):
    amount = "full" if rng.random() < 0.55 else str(rng.choice((5050, 2500)))
    fault = draw_fault(rng, ("return", "return", "status")) if rng.random() < 0.5 else None
    return Step(
        kind,
        rng.choice(TILLS),
        order=rng.randint(0, 5),
        amount=amount,
        again=rng.random() < 0.4,
        fault=fault,
        kill_in_return=rng.random() < 0.12,
    )


def echo(rng, step, earlier):
    """Money faults hide where returns meet: the same order and amount asked again, by the
    other till, separately or through the queue. A return step often echoes an earlier one."""
    returns = [e for e in earlier if e.kind in ("refund", "cancel", "defer", "legacy")]
    if step.kind not in ("refund", "cancel", "defer") or not returns or rng.random() < 0.5:
        return step
    model = rng.choice(returns)
    till = model.till if rng.random() < 0.5 else step.till
    return replace(step, till=till, order=model.order, amount=model.amount)


def draw_step(rng):
    kind = rng.choices(
        ("pay", "pay2", "refund", "cancel", "defer", "legacy", "queue", "restart"),
        weights=(26, 7, 14, 10, 9, 6, 16, 4),
    )[0]
    till = rng.choice(TILLS)
    if kind == "pay":
        step = Step(kind, till, pays=(draw_pay(rng),))
    elif kind == "pay2":
        step = Step(kind, pays=(draw_pay(rng), draw_pay(rng)))
    elif kind in ("refund", "cancel"):
        step = draw_return(rng, kind)
    elif kind in ("defer", "legacy"):
        amount = "full" if rng.random() < 0.7 else "5050"
        again = kind == "defer" and rng.random() < 0.6
        step = Step(kind, till, order=rng.randint(0, 5), amount=amount, again=again)
    elif kind == "queue":
        fault = draw_fault(rng, ("return", "status")) if rng.random() < 0.4 else None
        step = Step(kind, till, fault=fault, kill_in_return=rng.random() < 0.12)
    else:
        step = Step(kind, till)
    return with_file_faults(rng, step)


def with_file_faults(rng, step):
    if step.kind in ("restart", "legacy"):
        return step
    if rng.random() < 0.15:
        deciding = step.kind == "pay" and step.pays[0].outcome in ("paid", "declined")
        start = "decision" if deciding and rng.random() < 0.6 else "start"
        step = replace(step, hold=(rng.choice(("queue", "journal")), start))
    elif rng.random() < 0.05 and step.kind != "pay2":
        step = replace(step, disk_full=True)
    return step


def generate(seed, length=None):
    rng = random.Random(seed)
    count = length if length is not None else rng.randint(3, 10)
    # The first step pays, so that the others have an order to act on.
    first = with_file_faults(rng, Step("pay", rng.choice(TILLS), pays=(draw_pay(rng),)))
    steps = [first]
    for _ in range(count - 1):
        steps.append(echo(rng, draw_step(rng), steps))
    return Schedule(seed, steps)
