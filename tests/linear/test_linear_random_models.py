"""Seeded random mixed-integer models on both linear interfaces, checked against
scipy.optimize.milp: mixed column kinds, row and target constants, a target
that replaces an earlier quadratic one, integer bounds past 32 bits and huge
coefficients."""

from __future__ import annotations

import dataclasses

import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, milp

from linear_interfaces import ARRAYS, BOTH, BOTH_IDS

INF = np.inf


@dataclasses.dataclass
class RandomModel:
    kinds: list[str]
    lower: list
    upper: list
    matrix: np.ndarray  # rows × columns, integers
    row_constants: np.ndarray
    row_lower: np.ndarray  # of the row with its constant; -inf when open
    row_upper: np.ndarray
    costs: list
    constant: float
    minimization: bool


def random_model(seed: int) -> RandomModel:
    generator = np.random.default_rng(seed)
    columns, rows = int(generator.integers(3, 7)), int(generator.integers(2, 5))
    kinds = [str(kind) for kind in generator.choice(["INTEGER", "REAL", "BINARY"], size=columns)]
    lower, upper, point = [], [], []
    for kind in kinds:
        if kind == "BINARY":
            low, high = 0, 1
        elif kind == "INTEGER":
            low, high = int(generator.integers(-5, 1)), int(generator.integers(1, 8))
        else:
            low, high = float(generator.integers(-12, 1)) / 2, float(generator.integers(1, 15)) / 2
        lower.append(low)
        upper.append(high)
        point.append(generator.uniform(low, high))
    matrix = generator.integers(-4, 5, size=(rows, columns))
    large = [k for k, kind in enumerate(kinds) if kind == "INTEGER" and generator.random() < 0.3]
    for k in large:  # past 32 bits, kept out of the rows so that the target can reach them
        lower[k], upper[k] = [(0, 10**10), (-(2**33), 3), (-(10**11), 10**11)][int(generator.integers(3))]
        matrix[:, k] = 0
        point[k] = 0.0
    activity = matrix @ np.array(point)
    row_constants = generator.integers(-3, 4, size=rows).astype(float)
    slack = generator.uniform(0.5, 4, size=(2, rows))
    row_lower = np.where(generator.random(rows) < 0.7, activity - slack[0], -INF) + row_constants
    row_upper = np.where(generator.random(rows) < 0.7, activity + slack[1], INF) + row_constants
    costs = [int(cost) for cost in generator.integers(-5, 6, size=columns)]
    for k in large:
        costs[k] = int(generator.choice([-3, 2]))
    return RandomModel(kinds, lower, upper, matrix, row_constants, row_lower, row_upper, costs,
                       float(generator.integers(-40, 41)) / 4, bool(generator.random() < 0.5))


def reference_optimum(drawn: RandomModel) -> float:
    sign = 1 if drawn.minimization else -1
    integral = [kind != "REAL" for kind in drawn.kinds]
    found = milp(
        sign * np.array(drawn.costs, dtype=float),
        integrality=integral,
        bounds=Bounds(np.array(drawn.lower, dtype=float), np.array(drawn.upper, dtype=float)),
        constraints=LinearConstraint(drawn.matrix, drawn.row_lower - drawn.row_constants,
                                     drawn.row_upper - drawn.row_constants),
        options={"mip_rel_gap": 0},
    )
    assert found.status == 0, found.message
    return sign * found.fun + drawn.constant


def solved(interface, drawn: RandomModel, earlier_target: bool):
    model = interface.model(mip_rel_gap=0)
    cells = [interface.variable(model, f"c{k}", kind, low, high, i=1)[0]
             for k, (kind, low, high) in enumerate(zip(drawn.kinds, drawn.lower, drawn.upper))]
    for row, constant, low, high in zip(drawn.matrix, drawn.row_constants, drawn.row_lower, drawn.row_upper):
        terms = [int(weight) * cell for weight, cell in zip(row, cells) if weight]
        if terms:
            interface.add_row(model, interface.total(terms) + float(constant),
                              None if low == -INF else float(low), None if high == INF else float(high))
    if earlier_target:  # quadratic: were it kept, the integer columns would make the model unsolvable
        model.add_target(interface.total([cells[0] * cells[1], 9 * cells[-1]]) + 1000, not drawn.minimization)
    model.add_target(interface.total([cost * cell for cost, cell in zip(drawn.costs, cells)]) + drawn.constant,
                     drawn.minimization)
    interface.solve(model)
    return model, np.array([model.get_result(f"c{k}")[0] for k in range(len(cells))])


def assert_feasible(drawn: RandomModel, values) -> None:
    activity = drawn.matrix @ values.astype(float) + drawn.row_constants
    assert (activity >= drawn.row_lower - 1e-6).all() and (activity <= drawn.row_upper + 1e-6).all()
    assert all(drawn.lower[k] - 1e-6 <= value <= drawn.upper[k] + 1e-6 for k, value in enumerate(values))


@pytest.mark.parametrize("interface", BOTH, ids=BOTH_IDS)
@pytest.mark.parametrize("seed", range(16))
@pytest.mark.parametrize("earlier_target", [False, True], ids=["one target", "second target"])
def test_random_models_reach_the_reference_optimum(interface, seed, earlier_target):
    drawn = random_model(seed)
    model, values = solved(interface, drawn, earlier_target)
    optimum = reference_optimum(drawn)
    assert model.objective_value == pytest.approx(optimum, rel=1e-9, abs=1e-6)
    assert_feasible(drawn, values)
    # The reported value is the target at the reported point, its constant counted once.
    exact = sum(int(cost) * int(value) if kind != "REAL" else cost * value
                for cost, value, kind in zip(drawn.costs, values, drawn.kinds))
    assert float(exact) + drawn.constant == pytest.approx(model.objective_value, rel=1e-9, abs=1e-6)
    for k, kind in enumerate(drawn.kinds):
        result = model.get_result(f"c{k}")
        if kind != "REAL":
            assert np.issubdtype(result.dtype, np.integer) and int(result[0]) == values[k]


@pytest.mark.parametrize("target, costs", [
    (lambda x, y: 10**19 * x[0] + x[1] - 2 * y[0], [1e19, 1, -2]),  # one coefficient past 2**63
    (lambda x, y: 2**62 * x[0] + 2**62 * x[0] + 3 * y[0], [2.0**63, 0, 3]),  # two that pass it together
    (lambda x, y: -(2**63) * x[0] + 5 * x[1] + 5 * y[0], [-(2.0**63), 5, 5]),
])
def test_huge_coefficients_of_the_array_model_are_kept(target, costs):
    model = ARRAYS.model()
    x = ARRAYS.variable(model, "x", "BINARY", 0, 1, i=2)
    y = ARRAYS.variable(model, "y", "INTEGER", 0, 4, i=1)
    model.add_constraint(x[0] + x[1] + y[0] <= 3)
    model.add_target(target(x, y), False)
    ARRAYS.solve(model)
    found = milp(-np.array(costs), integrality=[1, 1, 1], bounds=Bounds([0, 0, 0], [1, 1, 4]),
                 constraints=LinearConstraint(np.ones((1, 3)), -INF, 3))
    assert found.status == 0
    assert model.objective_value == pytest.approx(-found.fun, rel=1e-12)
    assert model.get_result("x")[0] == (costs[0] > 0)
