"""The command line of the campaign: scripts/chaos --help."""

import argparse
import os
import random
import sys
import time

from . import campaign
from .player import Tools
from .world import SetupError


def arguments(argv):
    parser = argparse.ArgumentParser(
        prog="scripts/chaos",
        description="Plays random schedules of payments, returns and faults against zorvik-sim "
                    "and zorvik-till and checks that money stays exact.")
    parser.add_argument("--schedules", type=int, default=100, help="how many schedules (100)")
    parser.add_argument("--seed", type=int, help="the first seed (default: a random one, printed)")
    parser.add_argument("--seeds", help="a list of seeds, comma-separated, played before the others")
    parser.add_argument("--replay", type=int, metavar="SEED", help="plays this seed alone, verbosely")
    parser.add_argument("--steps", help="with --replay: only these steps (1-based, comma-separated)")
    parser.add_argument("--workers", type=int, default=2, help="schedules at once (2)")
    parser.add_argument("--minutes", type=float,
                        help="begin no schedule after this many minutes; the summary says how many ran")
    parser.add_argument("--build", default=os.environ.get("BUILD_DIR", "build"),
                        help="the build folder with zorvik-till and zorvik-sim (build)")
    parser.add_argument("--work", default="/tmp/zorvik-chaos", help="folder for the files of each worker")
    parser.add_argument("--shrink", type=int, default=3, metavar="N",
                        help="shrink the first N failing schedules (3)")
    parser.add_argument("--require-faults", action="store_true",
                        help="fail unless every kind of fault was injected at least once")
    return parser.parse_args(argv)


def replay(options):
    keep = {int(n) for n in options.steps.split(",")} if options.steps else None
    tools = Tools(options.build)
    summary = campaign.Summary()
    outcome = campaign.play(tools, os.path.join(options.work, "replay"), options.replay, keep)
    summary.add(outcome)
    if outcome.failed:
        campaign.report_failure(outcome)
    else:
        print(f"seed {outcome.seed}, steps {','.join(map(str, outcome.steps))}: no violation")
        print(outcome.schedule_text)
    summary.print()
    return 1 if outcome.failed or outcome.durability else 0


def seeds_of(options):
    listed = [int(s) for s in options.seeds.split(",")] if options.seeds else []
    first = options.seed if options.seed is not None else random.SystemRandom().randrange(1, 10**9)
    random_count = max(0, options.schedules - len(listed))
    print(f"seeds: {','.join(map(str, listed)) + ' and ' if listed else ''}"
          f"{random_count} from {first}", flush=True)
    return listed + [first + i for i in range(random_count)]


def main(argv=None):
    options = arguments(sys.argv[1:] if argv is None else argv)
    try:
        if options.replay is not None:
            return replay(options)
        Tools(options.build)  # fails here, once, rather than in every worker
        seeds = seeds_of(options)
        summary = campaign.Summary()
        tty = sys.stderr.isatty()
        deadline = time.time() + options.minutes * 60 if options.minutes else None
        for outcome in campaign.run(options.build, options.work, seeds, options.workers, deadline):
            if outcome is None:
                continue
            summary.add(outcome)
            if outcome.failed:
                campaign.report_failure(outcome)
            if tty:
                print("\r" + summary.progress(len(seeds)), end="", file=sys.stderr, flush=True)
            elif summary.schedules % 10 == 0 or summary.schedules == len(seeds):
                print(summary.progress(len(seeds)), file=sys.stderr, flush=True)
        shrink_failures(options, summary)
        summary.print()
    except SetupError as error:
        print(f"scripts/chaos: {error}", file=sys.stderr)
        return 2
    missing = summary.missing_kinds() if options.require_faults else []
    if missing:
        print(f"faults never injected, so not proven: {', '.join(missing)}")
    return 1 if summary.failures or summary.durability or missing else 0


def shrink_failures(options, summary):
    tools = Tools(options.build)
    for failing in [f for f in summary.failures if f.violations][: options.shrink]:
        shorter = campaign.shrink(tools, os.path.join(options.work, "shrink"), failing, budget=12)
        if len(shorter.steps) < len(failing.steps):
            print(f"\nseed {failing.seed} shrunk from {len(failing.steps)} to {len(shorter.steps)} steps:")
            campaign.report_failure(shorter)
