"""Building and sending the rows of a text linear model: native accumulation
versus SciPy ``coo_array`` arithmetic per operation.

Each row sums ten weighted elements of a 1,000 x 100 variable:
``Sum(3 * x[i, k], k=<ten columns after j>) <= 10`` for every (i, j).

Run by hand: ``PYTHONPATH=. python bench/linear_text.py [rows] [baseline_rows]``
(about two minutes with the defaults).
The per-operation SciPy implementation needs minutes for 100,000 rows, so it
is timed on ``baseline_rows`` rows (default 2,000) and scaled linearly, which
its own two measurements confirm. Targets: at least 20 times faster than the
SciPy implementation, and linear growth with the number of rows.
"""

from __future__ import annotations

import sys
import time

import numpy as np
from scipy.sparse import coo_array

from halvex.kelvo_engine import linsolver
from vx_encoder.linear_parser import LinearModel, Sum, VariableType

ROWS = 100_000
BASELINE_ROWS = 2_000
FIRST, SECOND = 1_000, 100
TERMS = 10


def constraint_of(model: LinearModel):
    x = model.get_variables("x", VariableType.REAL, 0.0, 1.0, i=FIRST, j=SECOND)
    i, j, k = model.get_indexes("ijk")
    return Sum(3 * x[i, k], k=f"[(j + t) % {SECOND} for t in range({TERMS})]") <= 10


def foralls(rows: int) -> dict:
    return {"i": range(rows // SECOND), "j": range(SECOND)}


def time_native(rows: int) -> float:
    model = LinearModel(output_flag=False)
    constraint = constraint_of(model)
    begin = time.perf_counter()
    model.add_constraint(constraint, **foralls(rows))
    model._linsolver_model._synchronise()  # the rows reach HiGHS itself
    elapsed = time.perf_counter() - begin
    assert model._linsolver_model.num_rows == rows
    return elapsed


# The per-operation implementation: every operator aligns, copies and adds
# coo_arrays, and every row goes to the solver on its own.


class ScipyExpression:
    def __init__(self, linear: coo_array, constant=0):
        self.linear = linear
        self.constant = constant

    def __aligned(self, other: "ScipyExpression"):
        shape = tuple(np.maximum(self.linear.shape, other.linear.shape))
        left, right = self.linear.copy(), other.linear.copy()
        left.resize(shape)
        right.resize(shape)
        return left, right

    def __add__(self, other):
        if isinstance(other, ScipyExpression):
            left, right = self.__aligned(other)
            return ScipyExpression((left + right).tocoo(), self.constant + other.constant)
        return ScipyExpression(self.linear.copy(), self.constant + other)

    __radd__ = __add__

    def __mul__(self, other):
        return ScipyExpression(other * self.linear, other * self.constant)

    __rmul__ = __mul__


class ScipySum(ScipyExpression):
    def __init__(self, expressions):
        total = sum(expressions)
        super().__init__(total.linear, total.constant)


class ScipyVariable:
    def __init__(self, first: int, second: int):
        self.strides = (1, first)

    def __call__(self, *items):
        column = sum(value * stride for value, stride in zip(items, self.strides))
        return ScipyExpression(coo_array(([1], ([column], [0]))))


def time_scipy(rows: int, constraint) -> float:
    solver = linsolver.LinearSolver()
    solver.setOptionValue("output_flag", False)
    solver.addVars(FIRST * SECOND, np.zeros(FIRST * SECOND), np.ones(FIRST * SECOND))
    namespace = {"CompiledSum": ScipySum, "x": ScipyVariable(FIRST, SECOND)}
    fors = " ".join(f"for {name} in {values}" for name, values in foralls(rows).items())
    begin = time.perf_counter()
    for row in eval(f"[{constraint} {fors}]", namespace):
        indexes, coefficients = row.linear.row.copy(), row.linear.data.copy()
        solver.addRow(-linsolver.kLinsolverInf, 10 - row.constant, len(indexes), indexes, coefficients)
    solver._synchronise()
    return time.perf_counter() - begin


def main() -> None:
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else ROWS
    baseline_rows = int(sys.argv[2]) if len(sys.argv) > 2 else BASELINE_ROWS
    constraint = constraint_of(LinearModel(output_flag=False))

    print(f"native accumulation, {TERMS} terms a row:")
    timings = {}
    for count in (rows // 4, rows // 2, rows):
        # The best of two runs: the machine's other load only ever adds time.
        timings[count] = min(time_native(count) for _ in range(2))
        print(f"  {count:>9,} rows: {timings[count]:8.3f} s  ({timings[count] / count * 1e6:6.2f} us a row)")
    growth = (timings[rows] / rows) / (timings[rows // 4] / (rows // 4))
    print(f"  time a row at {rows:,} rows / at {rows // 4:,} rows: {growth:.2f} (1.00 is linear)")

    print("SciPy coo_array arithmetic per operation:")
    half = time_scipy(baseline_rows // 2, constraint)
    full = time_scipy(baseline_rows, constraint)
    print(f"  {baseline_rows // 2:>9,} rows: {half:8.3f} s  ({half / (baseline_rows // 2) * 1e6:8.1f} us a row)")
    print(f"  {baseline_rows:>9,} rows: {full:8.3f} s  ({full / baseline_rows * 1e6:8.1f} us a row)")
    scaled = full / baseline_rows * rows
    print(f"  scaled to {rows:,} rows: {scaled:8.1f} s")

    print(f"ratio at {rows:,} rows: {scaled / timings[rows]:.1f} times faster (target: at least 20)")


if __name__ == "__main__":
    main()
