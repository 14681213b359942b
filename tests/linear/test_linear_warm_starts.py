"""Warm-started mixed-integer models on both linear interfaces, checked against
scipy.optimize.milp: whatever the start, the reported objective is optimal and
is the objective of the reported point, which satisfies the rows.

The drawn models have columns in no row (presolve removes them) and starts
that are feasible, so the start is often optimal on the columns that remain:
the case in which the solver must not hand back the start itself."""

from __future__ import annotations

import dataclasses

import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, milp

from linear_interfaces import BOTH, BOTH_IDS

INF = np.inf


@dataclasses.dataclass
class WarmStartedModel:
    kinds: list[str]
    lower: list
    upper: list
    matrix: np.ndarray  # rows × columns; the columns past `used` are in no row
    row_lower: np.ndarray
    row_upper: np.ndarray
    costs: list
    minimization: bool
    start: np.ndarray  # a feasible point


def warm_started_model(seed: int) -> WarmStartedModel:
    generator = np.random.default_rng(seed)
    used, unused = int(generator.integers(2, 5)), int(generator.integers(1, 4))
    columns, rows = used + unused, int(generator.integers(1, 4))
    kinds = [str(kind) for kind in generator.choice(["INTEGER", "INTEGER", "BINARY", "REAL"], size=columns)]
    lower, upper, start = [], [], []
    for kind in kinds:
        if kind == "BINARY":
            low, high = 0, 1
        elif kind == "INTEGER":
            low, high = int(generator.integers(-20, 1)), int(generator.integers(1, 21))
        else:
            low, high = float(generator.integers(-8, 1)) / 4, float(generator.integers(1, 9)) / 4
        lower.append(low)
        upper.append(high)
        start.append(generator.integers(low, high + 1) if kind != "REAL" else generator.uniform(low, high))
    matrix = generator.integers(-4, 5, size=(rows, columns))
    matrix[:, used:] = 0
    activity = matrix @ np.array(start, dtype=float)
    row_lower = np.where(generator.random(rows) < 0.8, activity - generator.integers(0, 3, size=rows), -INF)
    row_upper = np.where(generator.random(rows) < 0.8, activity + generator.integers(0, 3, size=rows), INF)
    # Costs mostly on the columns in no row: the start is then optimal on the others.
    costs = [int(generator.integers(-3, 4)) if k >= used or generator.random() < 0.3 else 0 for k in range(columns)]
    return WarmStartedModel(kinds, lower, upper, matrix, row_lower, row_upper, costs,
                            bool(generator.random() < 0.5), np.array(start, dtype=float))


def reference_optimum(drawn: WarmStartedModel) -> float:
    sign = 1 if drawn.minimization else -1
    found = milp(
        sign * np.array(drawn.costs, dtype=float),
        integrality=[kind != "REAL" for kind in drawn.kinds],
        bounds=Bounds(np.array(drawn.lower, dtype=float), np.array(drawn.upper, dtype=float)),
        constraints=LinearConstraint(drawn.matrix, drawn.row_lower, drawn.row_upper),
        options={"mip_rel_gap": 0},
    )
    assert found.status == 0, found.message
    return sign * found.fun


def solved_from_the_start(interface, drawn: WarmStartedModel) -> tuple:
    model = interface.model(mip_rel_gap=0)
    cells = [interface.variable(model, f"c{k}", kind, low, high, i=1)[0]
             for k, (kind, low, high) in enumerate(zip(drawn.kinds, drawn.lower, drawn.upper))]
    for row, low, high in zip(drawn.matrix, drawn.row_lower, drawn.row_upper):
        terms = [int(weight) * cell for weight, cell in zip(row, cells) if weight]
        if terms:
            interface.add_row(model, interface.total(terms),
                              None if low == -INF else float(low), None if high == INF else float(high))
    model.add_target(interface.total([cost * cell for cost, cell in zip(drawn.costs, cells)]), drawn.minimization)
    for k, value in enumerate(drawn.start):
        model.set_solution(f"c{k}", [value])
    interface.solve(model)
    return model, np.array([float(model.get_result(f"c{k}")[0]) for k in range(len(cells))])


@pytest.mark.parametrize("interface", BOTH, ids=BOTH_IDS)
def test_a_warm_started_solve_reports_an_optimal_point_and_its_own_objective(interface):
    for seed in range(40):
        drawn = warm_started_model(seed)
        model, values = solved_from_the_start(interface, drawn)
        optimum = reference_optimum(drawn)
        assert model.objective_value == pytest.approx(optimum, abs=1e-6), f"seed {seed}"
        assert float(np.dot(drawn.costs, values)) == pytest.approx(optimum, abs=1e-6), f"seed {seed}"
        activity = drawn.matrix @ values
        assert (activity >= drawn.row_lower - 1e-6).all() and (activity <= drawn.row_upper + 1e-6).all()


@pytest.mark.parametrize("interface", BOTH, ids=BOTH_IDS)
def test_a_start_outside_the_removed_columns_optimum_is_not_returned(interface):
    """min 0.5·b, b binary in no row, 221 ≤ 2·a0 + 3·a1 ≤ 222: the start b = 1 is not optimal."""
    model = interface.model()
    a = interface.variable(model, "a", "INTEGER", -200, 200, i=2)
    b = interface.variable(model, "b", "BINARY", 0, 1, i=1)
    interface.add_row(model, interface.total([2 * a[0], 3 * a[1]]), 221, 222)
    model.add_target(0.5 * b[0], True)
    model.set_solution("a", np.array([21, 60]))
    model.set_solution("b", [1])
    interface.solve(model)
    assert model.objective_value == 0 and model.get_result("b").tolist() == [0]
    assert 221 <= 2 * model.get_result("a")[0] + 3 * model.get_result("a")[1] <= 222


@pytest.mark.parametrize("interface", BOTH, ids=BOTH_IDS)
def test_a_warm_started_quadratic_objective_over_some_columns_is_solved(interface):
    """min (x0 - 1)² + (x1 - 2)² written as x0² + x1² - 2·x0 - 4·x1 + 5, with a third column
    added after the target: the Hessian covers fewer columns than the model has."""
    model = interface.model()
    x = interface.variable(model, "x", "REAL", -10, 10, i=2)
    model.add_target(interface.total([x[0] * x[0], x[1] * x[1], -2 * x[0], -4 * x[1]]) + 5, True)
    interface.variable(model, "later", "REAL", 0, 1, i=1)
    model.set_solution("x", [3.0, -3.0])
    interface.solve(model)
    assert model.objective_value == pytest.approx(0, abs=1e-6)
    assert model.get_result("x").tolist() == pytest.approx([1, 2], abs=1e-4)
