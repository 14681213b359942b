"""Rows sent one at a time through the linear solver layer versus one block
sent straight to HiGHS.

Run by hand: ``PYTHONPATH=. python bench/linsolver.py [rows] [repeats]``.
Target: the layer within 1.5 times the direct block. Times are CPU times of
this process (best of the repeats), so other load on the machine weighs less.
"""

from __future__ import annotations

import sys
import time
from time import process_time as clock

import highspy
import numpy as np

from halvex.kelvo_engine import linsolver

ROWS = 100_000
ENTRIES_PER_ROW = 10
COLUMNS = 1_000


def make_rows(rows: int) -> tuple[np.ndarray, np.ndarray]:
    generator = np.random.default_rng(7)
    # Distinct columns in each row: a random offset plus a fixed spread.
    offsets = generator.integers(0, COLUMNS, size=(rows, 1))
    indices = (offsets + np.arange(ENTRIES_PER_ROW) * 97) % COLUMNS
    values = generator.uniform(-1.0, 1.0, size=(rows, ENTRIES_PER_ROW))
    return indices.astype(np.int32), values


def through_layer(indices: np.ndarray, values: np.ndarray) -> tuple[float, float]:
    """CPU time of the addRow calls and of sending their block to HiGHS."""
    solver = linsolver.LinearSolver()
    solver.setOptionValue("output_flag", False)
    solver.addVars(COLUMNS, np.zeros(COLUMNS), np.ones(COLUMNS))
    rows = list(zip(indices, values))  # the caller's own arrays, made beforehand
    upper = 1.0
    lower = -linsolver.kLinsolverInf
    begin = clock()
    add_row = solver.addRow
    for row_indices, row_values in rows:
        add_row(lower, upper, ENTRIES_PER_ROW, row_indices, row_values)
    collected = clock()
    solver._synchronise()  # what run() and writeModel() do first
    sent = clock()
    assert solver._highs.getNumRow() == len(rows)
    return collected - begin, sent - collected


def straight_to_highs(indices: np.ndarray, values: np.ndarray) -> float:
    highs = highspy.Highs()
    highs.setOptionValue("output_flag", False)
    highs.addVars(COLUMNS, np.zeros(COLUMNS), np.ones(COLUMNS))
    rows = len(indices)
    starts = np.arange(0, rows * ENTRIES_PER_ROW, ENTRIES_PER_ROW, dtype=np.int32)
    flat_indices = indices.ravel()
    flat_values = values.ravel()
    lower = np.full(rows, -highspy.kHighsInf)
    upper = np.ones(rows)
    begin = clock()
    highs.addRows(rows, lower, upper, len(flat_indices), starts, flat_indices, flat_values)
    elapsed = clock() - begin
    assert highs.getNumRow() == rows
    return elapsed


def main() -> None:
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else ROWS
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    indices, values = make_rows(rows)
    collect, send = min((through_layer(indices, values) for _ in range(repeats)), key=sum)
    direct = min(straight_to_highs(indices, values) for _ in range(repeats))
    layer = collect + send
    print(f"{rows} rows x {ENTRIES_PER_ROW} entries, CPU time, best of {repeats}")
    print(f"  layer, one addRow per row : {layer * 1e3:8.1f} ms "
          f"(calls {collect * 1e3:.1f} ms, block to HiGHS {send * 1e3:.1f} ms)")
    print(f"  highspy, one addRows call : {direct * 1e3:8.1f} ms")
    print(f"  ratio {layer / direct:.2f} (target <= 1.5)")


if __name__ == "__main__":
    main()
