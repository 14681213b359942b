"""N queens built on the clause-assembly road against python-sat by hand.

Both sides state the same model: exactly one queen per row, at most one per
column and per diagonal. The package builds it as examples/queens.py writes
it (`build_queens`, to the registered CNF); python-sat by hand numbers the
cells itself and adds each constraint with `CardEnc` (its default encoding)
into one `CNF`. Each is timed from its first modelling statement in a warm
process (a small board is built first on both sides), best of the repeats,
and the clause counts are printed beside the times.

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
    pool = IDPool()
    cells = [[pool.id(("x", row, column)) for column in range(n)] for row in range(n)]
    cnf = CNF()
    for row in range(n):
        cnf.extend(CardEnc.equals(lits=cells[row], bound=1, vpool=pool).clauses)
    for column in range(n):
        cnf.extend(CardEnc.atmost(lits=[cells[row][column] for row in range(n)], bound=1, vpool=pool).clauses)
    for line in diagonals(n):
        cnf.extend(CardEnc.atmost(lits=[cells[row][column] for row, column in line], bound=1, vpool=pool).clauses)
    return cnf


def package_clause_count(n: int) -> tuple[float, int]:
    start = time.perf_counter()
    model = build_queens(ke.manager(), n)
    elapsed = time.perf_counter() - start
    return elapsed, len(model.get_cnf_storage())


def by_hand_clause_count(n: int) -> tuple[float, int]:
    start = time.perf_counter()
    cnf = queens_by_hand(n)
    elapsed = time.perf_counter() - start
    return elapsed, len(cnf.clauses)


def best_of(repeat: int, build, n: int) -> tuple[float, int]:
    runs = []
    for _ in range(repeat):
        gc.collect()
        runs.append(build(n))
    return min(run[0] for run in runs), runs[0][1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("sizes", type=int, nargs="*", default=[100, 300])
    parser.add_argument("--repeat", type=int, default=3)
    arguments = parser.parse_args()
    package_clause_count(8)
    by_hand_clause_count(8)
    for n in arguments.sizes:
        ours, our_clauses = best_of(arguments.repeat, package_clause_count, n)
        theirs, their_clauses = best_of(arguments.repeat, by_hand_clause_count, n)
        print(f"queens {n:>5}: package {ours:8.3f} s ({our_clauses:>11,} clauses)  "
              f"python-sat by hand {theirs:8.3f} s ({their_clauses:>11,} clauses)  "
              f"ratio {theirs / ours:5.2f}", flush=True)


if __name__ == "__main__":
    main()
