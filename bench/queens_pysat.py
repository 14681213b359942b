"""N queens built on the clause-assembly road against python-sat by hand.

Both sides state the same model: exactly one queen per row, at most one per
column and per diagonal. The package builds it as examples/queens.py writes
it (`build_queens`, to the registered CNF); python-sat by hand numbers the
cells itself and adds each constraint with `CardEnc` (its default encoding)
into one `CNF`. Each is timed from its first modelling statement in a warm
process (a small board is built first on both sides), best of the repeats,
wall and processor time (the processor time is steadier on a shared
machine), with the clause counts beside them.

Target: the package well ahead at N = 100 and 300 (ratio = python-sat time /
package time).

Run by hand: PYTHONPATH=src:. python bench/queens_pysat.py [N ...] [--repeat R]
"""

import argparse
import gc
import sys
import time
from pathlib import Path

from pysat.card import CardEnc
from pysat.formula import CNF, IDPool

import halvex.kelvo_engine as ke

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from examples.queens import build_queens, diagonals  # noqa: E402


def queens_by_hand(n: int) -> CNF:
    # As a python-sat user writes it: cells named through the pool.
    pool = IDPool()

    def cell(row: int, column: int) -> int:
        return pool.id(f"x_{row}_{column}")

    cnf = CNF()
    for row in range(n):
        cnf.extend(CardEnc.equals(lits=[cell(row, column) for column in range(n)], bound=1, vpool=pool).clauses)
    for column in range(n):
        cnf.extend(CardEnc.atmost(lits=[cell(row, column) for row in range(n)], bound=1, vpool=pool).clauses)
    for line in diagonals(n):
        cnf.extend(CardEnc.atmost(lits=[cell(row, column) for row, column in line], bound=1, vpool=pool).clauses)
    return cnf


def package_build(n: int) -> int:
    return len(build_queens(ke.manager(), n).get_cnf_storage())


def by_hand_build(n: int) -> int:
    return len(queens_by_hand(n).clauses)


def best_of(repeat: int, build, n: int) -> tuple[float, float, int]:
    """Best wall and processor times of the repeats, and the clause count."""
    walls, processors = [], []
    for _ in range(repeat):
        gc.collect()
        wall, processor = time.perf_counter(), time.process_time()
        clauses = build(n)
        walls.append(time.perf_counter() - wall)
        processors.append(time.process_time() - processor)
    return min(walls), min(processors), clauses


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("sizes", type=int, nargs="*", default=[100, 300])
    parser.add_argument("--repeat", type=int, default=3)
    arguments = parser.parse_args()
    package_build(8)
    by_hand_build(8)
    for n in arguments.sizes:
        wall, processor, clauses = best_of(arguments.repeat, package_build, n)
        hand_wall, hand_processor, hand_clauses = best_of(arguments.repeat, by_hand_build, n)
        print(f"queens {n:>5}: package {wall:8.3f} s wall {processor:8.3f} s cpu ({clauses:>11,} clauses)  "
              f"python-sat by hand {hand_wall:8.3f} s wall {hand_processor:8.3f} s cpu ({hand_clauses:>11,} clauses)  "
              f"ratio {hand_wall / wall:5.2f} wall {hand_processor / processor:5.2f} cpu", flush=True)

if __name__ == "__main__":
    main()
