"""N queens built on the clause-assembly road against python-sat by hand.

Both sides state the same model: exactly one queen per row, at most one per
column and per diagonal. The package builds it as examples/queens.py writes
it (`build_queens`, to the registered CNF); python-sat by hand is the shared
peer form (`pysat_by_hand.py queens`: cells numbered directly, `CardEnc.atmost(...,
encoding=seqcounter)` per line, the clauses in one list, `CNF(from_clauses=..., by_ref=True)`).

Each side runs in a fresh process that imports only its side, its imports
done first, and is timed in the main thread's processor time from its first
modelling statement; the process's peak resident memory is reported beside
it. Ratio = package time / python-sat time (goal: at most 0.8 at N = 100, at
most 0.12 at N = 1000).

Run by hand: python bench/queens_pysat.py [--repeat R] [N ...]
"""

import argparse
from pathlib import Path

from fresh_process_sides import peers_directory, print_compared_row

PACKAGE = Path(__file__).resolve().with_name("constraint_road_package.py")
GOALS = {100: 0.8, 1000: 0.12}


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("sizes", type=int, nargs="*", default=[100, 1000])
    parser.add_argument("--repeat", type=int, default=1, help="turns of fresh processes per side")
    arguments = parser.parse_args()
    peer = peers_directory() / "pysat_by_hand.py"
    for n in arguments.sizes:
        print_compared_row(f"queens {n}", PACKAGE, peer, "queens", [n], arguments.repeat, GOALS.get(n, "none"))


if __name__ == "__main__":
    main()
