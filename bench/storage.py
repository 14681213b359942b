"""Bulk-add 1,000,000 random 3-literal clauses and write them as DIMACS;
compare with python-sat's CNF doing the same (append, then to_file).

Run by hand: python bench/storage.py
"""

import os
import tempfile
import time

import numpy as np
from pysat.formula import CNF

import halvex.kelvo_engine as ke

CLAUSES = 1_000_000
VARIABLES = 100_000


def random_clauses(seed: int = 1) -> np.ndarray:
    rng = np.random.default_rng(seed)
    numbers = rng.integers(1, VARIABLES + 1, size=(CLAUSES, 3), dtype=np.int32)
    signs = rng.choice(np.array([-1, 1], dtype=np.int32), size=(CLAUSES, 3))
    return numbers * signs


def time_engine(clauses: np.ndarray, path: str) -> float:
    start = time.perf_counter()
    storage = ke.wcnf_storage()
    storage.add_hard_clauses(clauses.ravel(), np.arange(0, clauses.size + 1, 3, dtype=np.int64))
    storage.write_dimacs(path)
    return time.perf_counter() - start


def time_python_sat(clause_lists: list[list[int]], path: str) -> float:
    start = time.perf_counter()
    formula = CNF()
    for clause in clause_lists:
        formula.append(clause)
    formula.to_file(path)
    return time.perf_counter() - start


def main() -> None:
    clauses = random_clauses()
    clause_lists = clauses.tolist()
    with tempfile.TemporaryDirectory() as folder:
        ours_path = os.path.join(folder, "ours.cnf")
        theirs_path = os.path.join(folder, "theirs.cnf")
        ours = min(time_engine(clauses, ours_path) for _ in range(3))
        theirs = min(time_python_sat(clause_lists, theirs_path) for _ in range(3))
        same = CNF(from_file=ours_path).clauses == CNF(from_file=theirs_path).clauses
    print(f"engine bulk add + write_dimacs: {ours:.3f} s")
    print(f"python-sat CNF append + to_file: {theirs:.3f} s")
    print(f"ratio (python-sat / engine): {theirs / ours:.1f}x (target >= 10x); same clauses: {same}")


if __name__ == "__main__":
    main()
