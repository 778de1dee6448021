"""Plays a schedule against the real parts and records what the host was told."""

import collections
import json
import os
import subprocess
import time

from . import record
from .record import QUEUED, SUCCESS, UNKNOWN
from .world import RECEIPT, TILL_TIMEOUT_SECONDS, Files, SetupError, Simulator, TillProcess

POLL_SECONDS = 0.03
ANSWER_LIMIT_SECONDS = 90  # no command of a schedule takes this long; beyond it the till hangs
SETTLE_ROUNDS = 12
STAGE_OF_PATH = {"/cpqr/operation/create": "order", "/cpqr/operation/result": "status",
                 "/cpqr/operation/return": "return", "/cpqr/start_session": "session"}


class Tools:
    """Where the built tools are, and what this zorvik-till understands."""

    def __init__(self, build_dir):
        self.build_dir = os.path.abspath(build_dir)
        till = os.path.join(self.build_dir, "zorvik-till")
        for tool in (till, os.path.join(self.build_dir, "zorvik-sim")):
            if not os.access(tool, os.X_OK):
                raise SetupError(f"{tool} is not built")
        usage = subprocess.run([till, "--help"], capture_output=True, text=True).stdout
        self.takes_journal = "--journal" in usage
        self.till = till


class Player:
    def __init__(self, tools, folder, schedule):
        self.tools = tools
        self.folder = folder
        self.schedule = schedule
        self.files = Files(folder)
        self.orders = []
        self.faults = collections.Counter()  # faults actually injected, by kind
        self.operations = collections.Counter()  # what else the steps did, by kind
        # (order, amount) of deferrals stored after the service had made a return of that order
        # and amount: by the plug-in's rules each is a return of its own.
        self.deferred_after_made = set()
        self.tills = {}
        self.log = open(os.path.join(folder, "till.log"), "ab")
        self.sim = None
        self.config = os.path.join(folder, "till.ini")
        self.receipt = os.path.join(folder, "receipt.json")

    # -- set-up ------------------------------------------------------------------------------

    def __enter__(self):
        self.sim = Simulator(self.tools.build_dir, self.folder)
        with open(self.config, "w") as config:
            config.write(f"[zorvikcpqr]\nurl={self.sim.url}\nstatusRequestInterval=0\n"
                         f"statusRequestDelay=0\ntimeout={TILL_TIMEOUT_SECONDS}\n")
            if self.tools.takes_journal:
                config.write(f"journalFile={self.files.journal}\n")
        with open(self.receipt, "w") as receipt:
            json.dump(RECEIPT, receipt, ensure_ascii=False)
        return self

    def __exit__(self, *exc):
        self.files.release()
        for till in self.tills.values():
            if till.alive():
                till.process.kill()
                till.process.wait()
        if self.sim:
            self.sim.stop()
        self.log.close()

    def till_command(self):
        command = [self.tools.till, "--config", self.config, "--receipt", self.receipt,
                   "--queue", self.files.queue, "--json"]
        if self.tools.takes_journal:
            command += ["--journal", self.files.journal]
        return command

    def start_till(self, name, disk_full=False):
        self.log.write(f"=== till {name} starts{' (disk full)' if disk_full else ''}\n".encode())
        till = TillProcess(self.till_command(), self.log, disk_full)
        self.tills[name] = till
        till.send("params")  # answered once init is done
        if till.answer(ANSWER_LIMIT_SECONDS) is None:
            if disk_full:
                return None
            raise SetupError(f"zorvik-till {name} ended at its start (see {self.folder}/till.log)")
        return till

    def till(self, name):
        till = self.tills.get(name)
        return till if till and till.alive() else self.start_till(name)

    def stop_till(self, name):
        till = self.tills.pop(name, None)
        if till:
            till.close()

    # -- playing -----------------------------------------------------------------------------

    def play(self):
        for number, step in enumerate(self.schedule.steps):
            self.log.write(f"=== step {number + 1}: {step.text()}\n".encode())
            self.play_step(number, step)
        self.settle()

    def play_step(self, number, step):
        if step.disk_full:
            self.stop_till(step.till)
            if self.start_till(step.till, disk_full=True) is None:
                self.faults["disk full (till could not start)"] += 1
                self.stop_till(step.till)
                return
            self.faults["disk full"] += 1
        try:
            handler = getattr(self, "play_" + step.kind)
            handler(number, step)
        finally:
            self.files.release()
            for stage in ("order", "status", "return"):
                self.sim.arm(stage, "")
        if step.disk_full:
            self.stop_till(step.till)

    def take_hold(self, step, moment):
        if step.hold and step.hold[1] == moment and self.files.hold(step.hold[0]):
            self.faults[f"{step.hold[0]} held busy"] += 1

    def run(self, commands, watch):
        """Sends each till its command and watches the service until every till answered."""
        answers = {}
        # A till killed meanwhile is replaced at once; its answer is the one of the old process.
        asked = {name: self.till(name) for name in commands}
        for name, command in commands.items():
            asked[name].send(command)
        deadline = time.monotonic() + ANSWER_LIMIT_SECONDS
        while len(answers) < len(commands):
            if time.monotonic() > deadline:
                raise SetupError(f"zorvik-till gave no answer to {commands}")
            for name, till in asked.items():
                if name not in answers and not till.answers.empty():
                    answers[name] = till.answers.get()
            if len(answers) < len(commands):
                watch(self.sim.state(), answers)
                time.sleep(POLL_SECONDS)
        return answers

    def kill(self, name):
        if self.tills[name].kill():
            self.faults["till killed (SIGKILL)"] += 1
        self.tills[name].answers.put(None)
        self.start_till(name)  # and started again at once: its init finds what the dead one left

    # -- payments ----------------------------------------------------------------------------

    def play_pay(self, number, step):
        self.play_payments(number, step, [step.till])

    def play_pay2(self, number, step):
        self.faults["two tills paying at once"] += 1
        self.play_payments(number, step, ["A", "B"])

    def play_payments(self, number, step, names):
        payments = {}
        for name, pay in zip(names, step.pays):
            code = f"ZVQRs{number + 1}{name}-" + "-".join(pay.code_words())
            order = record.Order(code, pay.amount)
            self.orders.append(order)
            payments[name] = (pay, order, {"decided": False, "acted": False})
        for name in names:
            self.till(name)
        self.take_hold(step, "start")

        def watch(state, answers):
            for name, (pay, order, done) in payments.items():
                if name not in answers:
                    self.watch_payment(state, name, pay, order, done, step)

        commands = {name: f"pay {pay.amount} {order.code}" for name, (pay, order, _) in payments.items()}
        answers = self.run(commands, watch)
        self.files.release()
        state = self.sim.state()
        for name, (pay, order, done) in payments.items():
            order.payment = record.payment_outcome(answers[name])
            if order.payment == record.INTERRUPTED:
                self.faults["cashier interruption"] += 1
            if order.payment != SUCCESS:
                # The plug-in cancels an order it did not report paid on its own: the host may
                # ask that cancellation again, but no other return.
                order.returns.append(record.Return(order.amount, record.BY_PLUGIN))
            self.after_payment(state, pay, order, done)

    def service_order(self, state, order):
        for candidate in state["orders"]:
            if candidate["cpqr_payload"] == order.code:
                order.client_transaction = candidate["client_transaction"]
                return candidate
        return None

    def watch_payment(self, state, name, pay, order, done, step):
        found = self.service_order(state, order)
        if not found or done["acted"] or found["statusRequests"] < pay.at:
            return
        if found["state"] != "registered":
            return
        done["acted"] = True
        if pay.outcome in ("paid", "declined"):
            self.take_hold(step, "decision")
            self.decide(order, pay.outcome)
            done["decided"] = True
        elif pay.outcome == "interrupt":
            self.tills[name].interrupt()
        elif pay.outcome == "kill":
            self.kill(name)

    def decide(self, order, decision):
        answer = self.sim.phone(order.client_transaction, decision)
        if answer.get("state") == decision:
            self.operations[f"phone: {decision}"] += 1

    def after_payment(self, state, pay, order, done):
        """The customer decides after the till gave up, when the schedule says so."""
        found = self.service_order(state, order)
        if not found or found["state"] != "registered":
            return
        if pay.pays_late:
            self.decide(order, "paid")
        elif pay.outcome in ("paid", "declined") and not done["decided"]:
            self.decide(order, pay.outcome)

    # -- returns -----------------------------------------------------------------------------

    def target(self, step):
        known = [order for order in self.orders if order.client_transaction]
        return known[step.order % len(known)] if known else None

    def wanted_return(self, order, step):
        """The return the step asks for: the same one again, or a new one; None: nothing left.
        While a return of an amount is unsettled, the plug-in takes another of that amount for
        it (the host cannot ask two at once); once settled, one asked again is a new one. Beside
        an older plug-in's message of the same amount nothing is asked: whether a return is
        that message's or one of its own depends on which the queue hands over first."""
        self.note_settled(order)
        if step.again and order.unsettled_return():
            return order.unsettled_return(), False
        if step.again and order.returns:
            amount = order.returns[-1].amount
            if order.older_message_waits(amount):
                return None, False
            return record.Return(amount, UNKNOWN, after_settled=True), True
        left = order.left_to_ask()
        amount = left if step.amount == "full" else min(int(step.amount), left)
        if amount <= 0 or order.older_message_waits(amount):
            return None, False
        for earlier in order.returns:
            if earlier.amount == amount and earlier.outcome != SUCCESS and not earlier.legacy:
                return earlier, False
        return record.Return(amount, UNKNOWN), True

    def note_settled(self, order):
        """A return left to the queue is settled once the queue no longer holds it and the
        service made it (or the order ended unpaid), or nothing notes it any more."""
        state = self.sim.state()
        made = {(r["client_transaction"], round(r["cost"] * 100)) for r in state["returns"]}
        ended = {o["client_transaction"] for o in state["orders"]
                 if o["state"] in ("declined", "expired", "cancelled")}
        noted = {row[0] for row in self.files.rows("journal").get("payments", [])}
        ct = order.client_transaction
        for ret in order.returns:
            if ret.outcome not in (QUEUED, record.BY_PLUGIN) or self.queued(order, ret.amount):
                continue
            if ct not in noted or (ct, ret.amount) in made or ct in ended:
                ret.outcome = SUCCESS

    def arm(self, step):
        if step.kill_in_return:
            self.sim.arm("return", "SLOW")
        elif step.fault:
            self.sim.arm(*step.fault)

    def play_refund(self, number, step):
        self.play_return(step, "refund")

    def play_cancel(self, number, step):
        self.play_return(step, "cancel")

    def asked_return(self, step):
        """The order and the return the step asks for, the return booked on the order when it is
        a new one; None when there is nothing to ask."""
        order = self.target(step)
        wanted, new = self.wanted_return(order, step) if order else (None, False)
        if not wanted:
            self.operations["skipped: no order to act on"] += 1
            return None
        if new:
            order.returns.append(wanted)
        return order, wanted, new

    def play_return(self, step, command):
        asked = self.asked_return(step)
        if not asked:
            return
        order, wanted, new = asked
        answer = self.returning(step, f"{command} {order.client_transaction} {wanted.amount}")
        outcome = record.return_outcome(answer)
        if new:
            wanted.outcome = outcome
        else:
            wanted.retried(outcome)
        if answer is not None and outcome != SUCCESS:
            # As a till does with a return that failed: its cancellation goes to the queue.
            self.defer(step.till, order, wanted)

    def defer(self, till, order, wanted):
        before = self.queued(order, wanted.amount)
        key = (order.client_transaction, wanted.amount)
        made = key in {(r["client_transaction"], round(r["cost"] * 100))
                       for r in self.sim.state()["returns"]}
        self.run({till: f"defer {order.client_transaction} {wanted.amount}"}, lambda *_: None)
        self.files.release()
        # The host cannot learn whether the plug-in stored it; the queue can.
        stored = self.queued(order, wanted.amount) > before
        if stored and made:
            self.deferred_after_made.add(key)
        wanted.retried(QUEUED if stored else record.FAILURE)
        self.operations["deferred cancellation"] += 1

    def returning(self, step, command):
        """Runs a command that may return money; a kill comes during its first return exchange."""
        self.till(step.till)
        self.take_hold(step, "start")
        self.arm(step)
        before = returns_received(self.sim.state())

        def watch(state, answers):
            if step.kill_in_return and returns_received(state) > before and step.till not in answers:
                self.kill(step.till)

        return self.run({step.till: command}, watch)[step.till]

    def play_defer(self, number, step):
        asked = self.asked_return(step)
        if not asked:
            return
        order, wanted, _ = asked
        self.till(step.till)
        self.take_hold(step, "start")
        self.defer(step.till, order, wanted)

    def queued(self, order, amount):
        """How many stored messages cancel that amount of the order."""
        count = 0
        for row in self.files.rows("queue").get("messages", []):
            request = json.loads(row[2]).get("request", {})
            count += request.get("operationId") == order.client_transaction and request.get("amount") == amount
        return count

    def play_legacy(self, number, step):
        """An older plug-in's message is a return of its own: one of the same order and amount
        still unsettled would make it ambiguous, so the step is skipped then."""
        order = self.target(step)
        wanted, new = self.wanted_return(order, step) if order else (None, False)
        if not new or not os.path.exists(self.files.queue):
            self.operations["skipped: no order to act on"] += 1
            return
        self.files.store_old_message({"amount": wanted.amount, "operationId": order.client_transaction,
                                      "paymentCode": order.code, "type": 1, "valutCode": 643})
        wanted.outcome = QUEUED
        wanted.legacy = True
        order.returns.append(wanted)
        self.faults["message without a refund id"] += 1

    def play_queue(self, number, step):
        self.returning(step, "queue run")
        self.operations["queue run"] += 1

    def play_restart(self, number, step):
        self.stop_till(step.till)
        self.start_till(step.till)
        self.operations["till restarted"] += 1

    # -- the end -----------------------------------------------------------------------------

    def settle(self):
        """Every till ends; a new one runs the queue until nothing is left or the bound."""
        for name in list(self.tills):
            self.stop_till(name)
        for _ in range(SETTLE_ROUNDS):
            self.till("A")
            self.run({"A": "queue run"}, lambda *_: None)
            self.stop_till("A")
            if self.settled():
                return
            time.sleep(0.3)  # orders nobody decides expire meanwhile

    def settled(self):
        registered = any(order["state"] == "registered" for order in self.sim.state()["orders"])
        left = any(self.files.rows(which).get(table) for which, table in
                   (("queue", "messages"), ("journal", "payments")))
        return not registered and not left

    def count_service_faults(self, state):
        for request in state["requests"]:
            path = request["target"].split("?")[0]
            stage = STAGE_OF_PATH.get(path, path)
            for fault in filter(None, request["fault"].split(", ")):
                self.faults[f"service {stage} {fault}"] += 1
        for order in state["orders"]:
            if order["state"] == "expired":
                self.operations["order expired"] += 1


def returns_received(state):
    return sum(order["returnRequests"] for order in state["orders"])
