"""N queens built on the clause-assembly road against python-sat by hand.

Both sides state the same model: exactly one queen per row, at most one per
column and per diagonal. The package builds it as examples/queens.py writes
it (`build_queens`, to the registered CNF). python-sat by hand is written in
its fastest form: cells numbered directly, `CardEnc.atmost(...,
encoding=seqcounter)` per line (and the row's clause for at least one), the
clauses gathered in one list and `CNF(from_clauses=..., by_ref=True)`.

Each side runs in a fresh process, its imports done first, and is timed in
processor time from its first modelling statement; the process's peak
resident memory is reported beside it. Ratio = package time / python-sat time
(goal: at most 1.0 at N = 100, at most 0.12 at N = 1000).

Run by hand: PYTHONPATH=src:. python bench/queens_pysat.py [N ...]
"""

import argparse
import json
import os
import resource
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def package_side(n: int) -> tuple[int, float]:
    import halvex.kelvo_engine as ke
    sys.path.insert(0, str(ROOT))
    from examples.queens import build_queens

    kmanager = ke.manager()
    start = time.process_time()
    clauses = len(build_queens(kmanager, n).get_cnf_storage())
    return clauses, time.process_time() - start


def by_hand_side(n: int) -> tuple[int, float]:
    from pysat.card import CardEnc, EncType
    from pysat.formula import CNF
    sys.path.insert(0, str(ROOT))
    from examples.queens import diagonals

    start = time.process_time()
    clauses = []
    top = n * n

    def at_most_one(cells):
        nonlocal top
        encoded = CardEnc.atmost(lits=cells, bound=1, top_id=top, encoding=EncType.seqcounter)
        top = max(top, encoded.nv)
        clauses.extend(encoded.clauses)

    for row in range(n):
        cells = [row * n + column + 1 for column in range(n)]
        clauses.append(cells)
        at_most_one(cells)
    for column in range(n):
        at_most_one([row * n + column + 1 for row in range(n)])
    for line in diagonals(n):
        at_most_one([row * n + column + 1 for row, column in line])
    cnf = CNF(from_clauses=clauses, by_ref=True)
    return len(cnf.clauses), time.process_time() - start


SIDES = {"package": package_side, "python-sat": by_hand_side}


def run_one(side: str, n: int) -> None:
    clauses, seconds = SIDES[side](n)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss  # KiB
    print(json.dumps({"clauses": clauses, "seconds": seconds, "peak_mib": peak / 1024}))


def in_fresh_process(side: str, n: int) -> dict:
    environment = {**os.environ, "PYTHONPATH": os.pathsep.join([str(ROOT / "src"), str(ROOT),
                                                                os.environ.get("PYTHONPATH", "")])}
    output = subprocess.run([sys.executable, __file__, "--one", side, str(n)], env=environment, check=True,
                            capture_output=True, text=True).stdout
    return json.loads(output.splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("sizes", type=int, nargs="*", default=[100, 1000])
    parser.add_argument("--one", nargs=2, metavar=("SIDE", "N"))
    arguments = parser.parse_args()
    if arguments.one:
        run_one(arguments.one[0], int(arguments.one[1]))
        return
    for n in arguments.sizes:
        package = in_fresh_process("package", n)
        by_hand = in_fresh_process("python-sat", n)
        print(f"queens {n:>5}: package {package['seconds']:8.3f} s cpu {package['peak_mib']:8.1f} MiB "
              f"({package['clauses']:>11,} clauses)  python-sat by hand {by_hand['seconds']:8.3f} s cpu "
              f"{by_hand['peak_mib']:8.1f} MiB ({by_hand['clauses']:>11,} clauses)  "
              f"ratio {package['seconds'] / by_hand['seconds']:5.2f}", flush=True)


if __name__ == "__main__":
    main()
