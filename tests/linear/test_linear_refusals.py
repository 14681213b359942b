"""A refused call of either linear model leaves the model exactly as it was: its
names free, its columns, objective and start values unchanged."""

from __future__ import annotations

import numpy as np
import pytest

from linear_interfaces import BOTH, BOTH_IDS, TEXT


def base_model(interface):
    """max x0 + 2·x1 with x0 + x1 ≤ 7, x integer in [0, 5]: x = (2, 5), objective 12."""
    model = interface.model()
    x = interface.variable(model, "x", "INTEGER", 0, 5, i=2)
    interface.add_row(model, interface.total([x[0], x[1]]), upper=7)
    model.add_target(interface.total([x[0], 2 * x[1]]), False)
    return model, x


def refuse_the_variable_type(interface, model, x):
    interface.make_variable(model, "z", 2, 0, 1)


def refuse_integer_bounds(interface, model, x):
    interface.variable(model, "z", "INTEGER", 0, 2.5)


def refuse_a_target_with_an_infinite_coefficient(interface, model, x):
    # Minimising would move the optimum: the refused target must not set its sense either.
    with np.errstate(over="ignore"):
        model.add_target(interface.total([1e308 * (10 * x[0]), x[1]]), True)


def refuse_a_target_with_an_infinite_constant(interface, model, x):
    model.add_target(interface.total([x[0], -1 * x[1]]) + 1e308 + 1e308, True)


def refuse_start_values_of_the_wrong_size(interface, model, x):
    model.set_solution("x", [1, 2, 3])


def refuse_start_values_of_an_unknown_variable(interface, model, x):
    model.set_solution("nothing", [1])


REFUSALS = [
    (refuse_the_variable_type, ValueError, BOTH),
    (refuse_integer_bounds, ValueError, [TEXT]),
    (refuse_a_target_with_an_infinite_coefficient, ValueError, BOTH),
    (refuse_a_target_with_an_infinite_constant, ValueError, BOTH),
    (refuse_start_values_of_the_wrong_size, ValueError, BOTH),
    (refuse_start_values_of_an_unknown_variable, KeyError, BOTH),
]


CASES = [(interface, refusal, error) for refusal, error, interfaces in REFUSALS for interface in interfaces]


@pytest.mark.parametrize("interface, refusal, error", CASES,
                         ids=[f"{refusal.__name__}-{interface.name}" for interface, refusal, _ in CASES])
def test_a_refused_call_leaves_the_model_as_it_was(interface, refusal, error):
    model, x = base_model(interface)
    with pytest.raises(error):
        refusal(interface, model, x)
    assert model._prev_solution is None
    # The name is free and the new variable takes the next column.
    z = interface.variable(model, "z", "INTEGER", 0, 2)
    interface.add_row(model, interface.total([z[()], x[0]]), upper=9)
    interface.solve(model)
    assert model.objective_value == 12
    assert model.get_result("x").tolist() == [2, 5]


def test_a_refused_index_name_stores_no_index():
    model = TEXT.model()
    TEXT.variable(model, "x", "REAL", 0, 1, i=2)
    with pytest.raises(Exception):
        model.get_indexes(["i", "x"])
    assert model._indexes == {}
    i, x_free = model.get_indexes(["i", "j"])
    assert (i.name, x_free.name) == ("i", "j")


@pytest.mark.parametrize("interface", BOTH, ids=BOTH_IDS)
def test_start_values_of_a_refused_call_are_not_sent(interface):
    model, x = base_model(interface)
    with pytest.raises(ValueError):
        model.set_solution("x", np.array([1.0, np.nan]))
    model.set_solution("x", [2, 5])
    interface.solve(model)
    assert model._prev_solution.tolist() == [2, 5]
