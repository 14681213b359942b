"""Building and sending a large block of rows with the array model.

100,000 rows with 10 non-zeros each (1,000,000 in all), built from a variable
array by indexing, row-wise weighting and addition, bounded by a vector and sent
with one add_constraints; compared with handing the same matrix straight to
highspy with one addRows. Target: within 2 times. The inputs of both sides (the
cells of each term, the weights, the right-hand sides) are made before timing.

Run by hand: PYTHONPATH=. python bench/linear_array.py
"""

from __future__ import annotations

import time

import highspy
import numpy as np

from vx_encoder.linear_parser2 import LinearModel, VariableType

ROWS = 100_000
TERMS = 10
COLUMNS = 200_000
REPEATS = 15


def term_cells() -> list[np.ndarray]:
    """The cell of each row in each term: distinct in every row, the terms COLUMNS // TERMS apart."""
    rows = np.arange(ROWS)
    return [(rows + term * (COLUMNS // TERMS)) % COLUMNS for term in range(TERMS)]


def build_and_send(model: LinearModel, x, cells: list[np.ndarray], weights: np.ndarray, rhs: np.ndarray):
    block = x[cells[0]] * weights[0]
    for term in range(1, TERMS):
        block = block + x[cells[term]] * weights[term]
    block = block <= rhs
    model.add_constraints(block)
    return block


def array_model_time(cells: list[np.ndarray], weights: np.ndarray, rhs: np.ndarray):
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, 0, 10, i=COLUMNS)
    start = time.perf_counter()
    block = build_and_send(model, x, cells, weights, rhs)
    elapsed = time.perf_counter() - start
    assert block.linear_coefficients.nnz == ROWS * TERMS and model._linsolver_model.num_rows == ROWS
    return elapsed, block


def highspy_time(block) -> float:
    matrix = block.linear_coefficients
    lower = np.full(ROWS, -highspy.kHighsInf)
    upper = block.upper_bounds - block.constants
    starts, indices = matrix.indptr[:-1].astype(np.int32), matrix.indices.astype(np.int32)
    highs = highspy.Highs()
    highs.setOptionValue("output_flag", False)
    highs.addVars(COLUMNS, np.zeros(COLUMNS), np.full(COLUMNS, 10.0))
    start = time.perf_counter()
    highs.addRows(ROWS, lower, upper, matrix.nnz, starts, indices, matrix.data)
    return time.perf_counter() - start


def main() -> None:
    generator = np.random.default_rng(7)
    weights = generator.uniform(-5, 5, size=(TERMS, ROWS))
    rhs = generator.uniform(0, 100, size=ROWS)
    cells = term_cells()
    # Alternate the two so that a busy machine slows both alike; keep the best of each.
    array_times, highspy_times = [], []
    for _ in range(REPEATS):
        elapsed, block = array_model_time(cells, weights, rhs)
        array_times.append(elapsed)
        highspy_times.append(highspy_time(block))
    array_best, highspy_best = min(array_times), min(highspy_times)
    print(f"rows {ROWS:,}, non-zeros {ROWS * TERMS:,}, columns {COLUMNS:,}")
    print(f"array model, build + add_constraints:   {array_best * 1e3:8.1f} ms (best of {REPEATS})")
    print(f"highspy, one addRows of the same matrix: {highspy_best * 1e3:8.1f} ms (best of {REPEATS})")
    print(f"ratio: {array_best / highspy_best:.2f} (target: within 2)")


if __name__ == "__main__":
    main()
