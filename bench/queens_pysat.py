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

Run by hand: python bench/queens_pysat.py [N ...]
"""

import argparse
from pathlib import Path

from fresh_process_sides import peers_directory, run_side

PACKAGE = Path(__file__).resolve().with_name("constraint_road_package.py")


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("sizes", type=int, nargs="*", default=[100, 1000])
    arguments = parser.parse_args()
    peer = peers_directory() / "pysat_by_hand.py"
    for n in arguments.sizes:
        package = run_side(PACKAGE, "queens", [n])
        by_hand = run_side(peer, "queens", [n])
        print(f"queens {n:>5}: package {package['seconds']:8.3f} s cpu {package['peak_mib']:8.1f} MiB "
              f"({package['result']:>11,} clauses)  python-sat by hand {by_hand['seconds']:8.3f} s cpu "
              f"{by_hand['peak_mib']:8.1f} MiB ({by_hand['result']:>11,} clauses)  "
              f"ratio {package['seconds'] / by_hand['seconds']:5.2f}", flush=True)


if __name__ == "__main__":
    main()
