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


def assembled_then_straight_to_highs(indices: np.ndarray, values: np.ndarray) -> float:
    """What a caller holding one pair of arrays per row pays without the layer."""
    rows = list(zip(indices, values))
    highs = highspy.Highs()
    highs.setOptionValue("output_flag", False)
    highs.addVars(COLUMNS, np.zeros(COLUMNS), np.ones(COLUMNS))
    begin = clock()
    flat_indices = np.concatenate([row_indices for row_indices, _ in rows])
    flat_values = np.concatenate([row_values for _, row_values in rows])
    starts = np.cumsum([0] + [len(row_indices) for row_indices, _ in rows[:-1]], dtype=np.int64)
    count = len(rows)
    highs.addRows(count, np.full(count, -highspy.kHighsInf), np.ones(count), len(flat_indices),
                  starts.astype(np.int32), flat_indices, flat_values)
    return clock() - begin


def loop_alone(indices: np.ndarray, values: np.ndarray) -> float:
    rows = list(zip(indices, values))
    begin = clock()
    for _row_indices, _row_values in rows:
        pass
    return clock() - begin


def main() -> None:
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else ROWS
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    indices, values = make_rows(rows)
    collects, sends, directs, assembled, loops = [], [], [], [], []
    for _ in range(repeats):  # interleaved, so that load on the machine hits both sides
        collect, send = through_layer(indices, values)
        collects.append(collect)
        sends.append(send)
        directs.append(straight_to_highs(indices, values))
        assembled.append(assembled_then_straight_to_highs(indices, values))
        loops.append(loop_alone(indices, values))
    collect, send, direct = min(collects), min(sends), min(directs)
    layer = collect + send
    print(f"{rows} rows x {ENTRIES_PER_ROW} entries, CPU time, best of {repeats}")
    print(f"  layer, one addRow per row : {layer * 1e3:8.1f} ms "
          f"(calls {collect * 1e3:.1f} ms, of which the bare loop {min(loops) * 1e3:.1f} ms; "
          f"block to HiGHS {send * 1e3:.1f} ms)")
    print(f"  highspy, one addRows call : {direct * 1e3:8.1f} ms")
    print(f"  highspy, rows assembled by np.concatenate first : {min(assembled) * 1e3:8.1f} ms")
    print(f"  ratio {layer / direct:.2f} (target <= 1.5); "
          f"against assembling first {layer / min(assembled):.2f}")


if __name__ == "__main__":
    main()
