"""What the host was told: each payment's result and each return it asked for."""

from dataclasses import dataclass, field

# How a payment or a return ended as the host saw it.
SUCCESS, FAILURE, INTERRUPTED, UNKNOWN, QUEUED = "success", "failure", "interrupted", "unknown", "queued"
# The plug-in's own cancellation of an order it did not report paid.
BY_PLUGIN = "by the plug-in"


@dataclass
class Return:
    """One return the host wants; asking again (directly or through the queue) is the same one."""

    amount: int
    # SUCCESS, FAILURE, UNKNOWN (no answer: the till was killed), QUEUED (stored in the queue),
    # BY_PLUGIN
    outcome: str
    # Asked again after the first was settled: by the plug-in's rules a return of its own.
    after_settled: bool = False
    # Stored by an older plug-in without a refund id: the plug-in learns of it only when the
    # queue hands it over, so a return asked meanwhile is a return of its own.
    legacy: bool = False
    attempts: int = 1

    def retried(self, outcome):
        """Asked again: a return known done, or known stored in the queue, stays so."""
        self.attempts += 1
        rank = {SUCCESS: 2, QUEUED: 1}
        if rank.get(outcome, 0) >= rank.get(self.outcome, 0):
            self.outcome = outcome


@dataclass
class Order:
    code: str
    amount: int
    payment: str = UNKNOWN
    client_transaction: str = ""
    returns: list = field(default_factory=list)

    def asked(self):
        return sum(r.amount for r in self.returns)

    def reported_returned(self, still_queued):
        """What the host books as returned: the returns reported done, and those it left to
        the queue that the queue carried out (a message leaves the queue only when the plug-in
        says so). still_queued: the amounts of this order's messages left in the queue."""
        return sum(r.amount for r in self.returns
                   if r.outcome == SUCCESS or (r.outcome == QUEUED and r.amount not in still_queued))

    def older_message_waits(self, amount):
        return any(r.legacy and r.amount == amount and r.outcome != SUCCESS for r in self.returns)

    def left_to_ask(self):
        return self.amount - self.asked()

    def lost_answer(self, amount):
        """A return of this amount that failed or got no answer, and is not in the queue: the
        host gave up on it."""
        return any(r.amount == amount and r.outcome in (UNKNOWN, FAILURE) for r in self.returns)

    def unsettled_return(self):
        """The latest return whose outcome the host does not know as a success."""
        for ret in reversed(self.returns):
            if ret.outcome != SUCCESS and not ret.legacy:
                return ret
        return None


def payment_outcome(answer):
    if answer is None:
        return UNKNOWN
    return {0: SUCCESS, 2: INTERRUPTED}.get(answer.get("status"), FAILURE)


def return_outcome(answer):
    if answer is None:
        return UNKNOWN
    return SUCCESS if answer.get("status") == 0 else FAILURE
