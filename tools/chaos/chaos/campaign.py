"""Runs schedules in parallel workers, shrinks a failing one, and sums up."""

import collections
import multiprocessing
import os
import shutil
import sys
import time
import traceback
from dataclasses import dataclass, field

from . import invariants
from .player import Player, Tools
from .schedule import generate
from .world import SetupError

# Fault kinds a campaign of some dozens of schedules must have injected, or it proved nothing.
REQUIRED_KINDS = ("till killed (SIGKILL)", "cashier interruption", "queue held busy",
                  "journal held busy", "two tills paying at once", "message without a refund id",
                  "disk full")
# And what the customer and the tills did, so that every path was walked.
REQUIRED_OPERATIONS = ("phone: paid", "phone: declined", "order expired", "deferred cancellation",
                       "queue run", "till restarted")
# The fault words as the simulator's request log names the answers they spoilt.
SERVICE_KINDS = ("DROP", "SLOW", "HTML", "GATEWAY", "NOTJSON", "ARRAY", "TRUNCATED", "HUGE")


@dataclass
class Outcome:
    seed: int
    steps: list
    schedule_text: str
    violations: list = field(default_factory=list)
    faults: collections.Counter = field(default_factory=collections.Counter)
    operations: collections.Counter = field(default_factory=collections.Counter)
    error: str = ""
    durability: str = ""  # why a commit of the journal may not survive a power cut
    seconds: float = 0.0
    folder: str = ""

    @property
    def failed(self):
        return bool(self.violations or self.error)


def play(tools, folder, seed, keep=None):
    """Plays the seed's schedule (only the steps numbered in keep, when given)."""
    schedule = generate(seed)
    if keep is not None:
        schedule.steps = [step for number, step in enumerate(schedule.steps, 1) if number in keep]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    outcome = Outcome(seed, sorted(keep) if keep else list(range(1, len(schedule.steps) + 1)),
                      schedule.text(), folder=folder)
    started = time.monotonic()
    try:
        with Player(tools, folder, schedule) as player:
            player.play()
            state = player.sim.state()
            player.count_service_faults(state)
            outcome.faults = player.faults
            outcome.operations = player.operations
            outcome.violations = invariants.check(
                player.orders, state, player.files.rows("queue").get("messages", []),
                player.files.rows("journal"), player.deferred_after_made)
            if os.path.exists(player.files.journal):
                outcome.durability = invariants.journal_durability(player.files.journal)
    except SetupError as error:
        outcome.error = f"set-up failed: {error}"
    except Exception:  # a fault of the runner itself fails the campaign loudly
        outcome.error = traceback.format_exc()
    outcome.seconds = time.monotonic() - started
    return outcome


def shrink(tools, folder, failing, budget):
    """A shorter schedule of the same seed that still breaks an invariant (steps left out one
    at a time, from the end), within a budget of plays."""
    keep = list(failing.steps)
    best = failing
    for number in reversed(list(keep)):
        if budget <= 0 or len(keep) == 1:
            break
        trial = [n for n in keep if n != number]
        budget -= 1
        outcome = play(tools, folder, failing.seed, set(trial))
        if outcome.violations:
            keep, best = trial, outcome
    return best


_tools = None


def _init_worker(build_dir):
    global _tools
    _tools = Tools(build_dir)


def _play_in_worker(job):
    root, seed, deadline = job
    if deadline is not None and time.time() > deadline:
        return None  # out of time: the schedule is not played
    folder = os.path.join(root, f"worker-{os.getpid()}")
    return play(_tools, folder, seed)


def run(build_dir, root, seeds, workers, deadline=None):
    """Plays every seed, or those begun before the deadline (time.time()); yields the outcomes
    as they come."""
    jobs = [(root, seed, deadline) for seed in seeds]
    if workers <= 1:
        _init_worker(build_dir)
        for job in jobs:
            yield _play_in_worker(job)
        return
    with multiprocessing.get_context("fork").Pool(workers, _init_worker, (build_dir,)) as pool:
        yield from pool.imap_unordered(_play_in_worker, jobs)


def report_failure(outcome, out=sys.stdout):
    print(f"\nVIOLATION seed {outcome.seed}" + (f" steps {','.join(map(str, outcome.steps))}"
                                              if outcome.steps else ""), file=out)
    print(outcome.schedule_text, file=out)
    for line in outcome.violations:
        print(f"  broken: {line}", file=out)
    if outcome.error:
        print(f"  {outcome.error}", file=out)
    print(f"  files: {outcome.folder}", file=out)
    replay = f"scripts/chaos --replay {outcome.seed}"
    if outcome.steps:
        replay += f" --steps {','.join(map(str, outcome.steps))}"
    print(f"  replay: {replay}", file=out)


class Summary:
    def __init__(self):
        self.schedules = 0
        self.steps = 0
        self.faults = collections.Counter()
        self.operations = collections.Counter()
        self.failures = []
        self.durability = set()
        self.started = time.monotonic()

    def add(self, outcome):
        self.schedules += 1
        self.steps += len(outcome.steps)
        self.faults.update(outcome.faults)
        self.operations.update(outcome.operations)
        if outcome.durability:
            self.durability.add(outcome.durability)
        if outcome.failed:
            self.failures.append(outcome)

    def progress(self, total):
        elapsed = time.monotonic() - self.started
        return (f"[{self.schedules}/{total}] {self.steps} steps, {len(self.failures)} failing, "
                f"{elapsed:.0f} s")

    def missing_kinds(self):
        missing = [kind for kind in REQUIRED_KINDS if not self.faults[kind]]
        missing += [kind for kind in REQUIRED_OPERATIONS if not self.operations[kind]]
        for word in SERVICE_KINDS:
            if not any(self.faults[f"service {stage} {word}"] for stage in ("order", "status", "return")):
                missing.append(f"service fault {word}")
        return missing

    def print(self, out=sys.stdout):
        elapsed = time.monotonic() - self.started
        print(f"\nschedules run: {self.schedules}, steps: {self.steps}, time: {elapsed:.0f} s, "
              f"violations: {sum(1 for f in self.failures if f.violations)}, "
              f"set-up errors: {sum(1 for f in self.failures if f.error)}", file=out)
        for text in sorted(self.durability):
            print(f"VIOLATION {text}", file=out)
        print("faults injected by kind:", file=out)
        for kind, count in sorted(self.faults.items()):
            print(f"  {count:6}  {kind}", file=out)
        print("other operations:", file=out)
        for kind, count in sorted(self.operations.items()):
            print(f"  {count:6}  {kind}", file=out)
