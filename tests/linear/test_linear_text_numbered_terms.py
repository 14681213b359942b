"""Cells, a number times a cell and SumIt of those are kept as numbers: they show the text
they always showed, and the model reads from their numbers what it would read from that text."""

import gc
from fractions import Fraction

import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, milp

from vx_encoder.core.expression_evaluator import evaluate_expression_text
from vx_encoder.linear_parser import LinearModel, SumIt, VariableType
from vx_encoder.linear_parser.compiled_linear_expressions import CompiledSum, rows_by_row
from vx_encoder.linear_parser.linear_expression import LinearExpression, LinearVariableProxy
from vx_encoder.linear_parser.native_text import read_numbered_expression, read_rows
from vx_encoder._vx_native import read_numbered_rows


@pytest.fixture(scope="module")
def variables():
    model = LinearModel(output_flag=False)
    model.get_variables("w", VariableType.REAL, k=7)  # the others start past column 0
    return {
        "x": model.get_variables("x", VariableType.REAL, i=3, j=4),
        "y": model.get_variables("y", VariableType.INTEGER, 0, 9, j=5),
        "s": model.get_variables("s", VariableType.BINARY),
    }


NUMBERED = [
    (lambda x, y, s: x[2, 3], "x(2,3)"),
    (lambda x, y, s: y[4], "y(4)"),
    (lambda x, y, s: s[()], "s()"),
    (lambda x, y, s: 3 * x[1, 2], "3 * (x(1,2))"),
    (lambda x, y, s: x[1, 2] * -7, "-7 * (x(1,2))"),
    (lambda x, y, s: 0.1 * y[0], "0.1 * (y(0))"),
    (lambda x, y, s: y[0] * 1e-05, "1e-05 * (y(0))"),
    (lambda x, y, s: 100.0 * y[1], "100.0 * (y(1))"),
    (lambda x, y, s: -2.5 * y[1], "-2.5 * (y(1))"),
    (lambda x, y, s: -0.0 * y[1], "-0.0 * (y(1))"),
    (lambda x, y, s: True * y[2], "True * (y(2))"),
    (lambda x, y, s: y[2] * False, "False * (y(2))"),
    (lambda x, y, s: 2**62 * y[3], "4611686018427387904 * (y(3))"),
    (
        lambda x, y, s: SumIt([x[0, 0], 2 * y[1], 2.5 * x[0, 0], -2 * y[1], s[()]]),
        "CompiledSum([x(0,0), 2 * (y(1)), 2.5 * (x(0,0)), -2 * (y(1)), s()])",
    ),
    (lambda x, y, s: SumIt((y[0], True * y[4])), "CompiledSum([y(0), True * (y(4))])"),
    (lambda x, y, s: SumIt([-1.5 * y[0], 2 * x[2, 1]]), "CompiledSum([-1.5 * (y(0)), 2 * (x(2,1))])"),
]


def host_expression(text: str, variables: dict):
    return evaluate_expression_text(text, {"CompiledSum": CompiledSum, **variables})


@pytest.mark.parametrize("build, text", NUMBERED)
def test_numbered_terms_read_as_the_host_reads_their_text(variables, build, text):
    expression = build(**variables)
    assert str(expression) == text
    numbered = read_numbered_expression(expression, variables)
    assert numbered is not None
    host = host_expression(text, variables)
    assert (numbered.constant, type(numbered.constant)) == (host.constant, type(host.constant))
    assert np.signbit(float(numbered.constant)) == np.signbit(float(host.constant))
    assert numbered.linear_coefficients_indexes.tolist() == host.linear_coefficients_indexes.tolist()
    assert numbered.linear_coefficients.dtype == host.linear_coefficients.dtype
    assert numbered.linear_coefficients.tolist() == host.linear_coefficients.tolist()
    # The row of a constraint: what the native text reader makes of its text.
    rows = read_numbered_rows(expression, variables)
    expected = read_rows(f"[{text} ]", variables, {})
    assert [np.asarray(part).tolist() for part in rows] == [np.asarray(part).tolist() for part in expected]


@pytest.mark.parametrize(
    "build, text",
    [
        (lambda x, y, s, i: x[i, 0], "x(i,0)"),
        (lambda x, y, s, i: x[3, 0], "x(3,0)"),  # outside the dimensions: the host reports it
        (lambda x, y, s, i: x[0], "x(0)"),  # fewer index values than dimensions
        (lambda x, y, s, i: y[-1], "y(-1)"),
        (lambda x, y, s, i: y[True], "y(True)"),
        (lambda x, y, s, i: y[[1]], "y(1)"),
        (lambda x, y, s, i: y[2**70], f"y({2**70})"),
        (lambda x, y, s, i: 2**70 * y[0], f"{2**70} * (y(0))"),
        (lambda x, y, s, i: Fraction(1, 2) * y[0], "1/2 * (y(0))"),  # a factor no plain number
        (lambda x, y, s, i: 2 * (3 * y[0]), "2 * (3 * (y(0)))"),
        (lambda x, y, s, i: y[0] * y[1], "(y(0)) * (y(1))"),
        (lambda x, y, s, i: y[0] + 1, "y(0) + 1"),
        (lambda x, y, s, i: SumIt([y[0], y[1] + 1]), "CompiledSum([y(0), y(1) + 1])"),
        (lambda x, y, s, i: SumIt([y[0], x[i, 1]]), "CompiledSum([y(0), x(i,1)])"),
        (lambda x, y, s, i: SumIt([y[0], SumIt([y[1]])]), "CompiledSum([y(0), CompiledSum([y(1)])])"),
    ],
)
def test_other_expressions_are_held_as_text(variables, build, text):
    from vx_encoder.linear_parser.linear_variables import Index

    expression = build(**variables, i=Index("i"))
    assert str(expression) == text
    assert read_numbered_expression(expression, variables) is None


def test_a_cell_keeps_its_type_and_a_bounded_copy_keeps_the_numbers(variables):
    y = variables["y"]
    cell = y[3]
    assert (type(cell), repr(cell), gc.is_tracked(cell)) == (LinearVariableProxy, "y(3)", False)
    scaled = 4 * cell
    assert (type(scaled), gc.is_tracked(scaled)) == (LinearExpression, False)
    total = SumIt([cell, scaled])
    bounded = total <= 6
    assert (type(bounded), bounded.lo, bounded.hi, total.hi) == (LinearExpression, None, 6, None)
    assert str(bounded) == str(total) == "CompiledSum([y(3), 4 * (y(3))])"
    assert read_numbered_rows(bounded, variables)[2].tolist() == [7 + 12 + 3]
    assert read_numbered_rows(bounded, variables)[3].tolist() == [5.0]
    # Text written over a numbered expression replaces its numbers.
    cell._text = "y(0)"
    assert read_numbered_expression(cell, variables) is None and str(cell) == "y(0)"


def knapsack(numbered: bool, weights, values, capacity):
    model = LinearModel(output_flag=False, mip_rel_gap=0)
    x = model.get_variables("x", VariableType.BINARY, i=len(weights))
    row = SumIt([weight * x[k] for k, weight in enumerate(weights)])
    target = SumIt([x[k] * value for k, value in enumerate(values)])
    if not numbered:  # "+ 0" writes text that reads to the same row and target
        row, target = row + 0, target + 0
    model.add_constraint(row <= capacity)
    model.add_target(target, minimization=False)
    return model


@pytest.mark.parametrize("seed", range(3))
def test_a_numbered_knapsack_is_the_model_of_its_text(tmp_path, seed):
    generator = np.random.default_rng(seed)
    size = 12
    # Integer, real and boolean factors alike.
    weights = [int(w) for w in generator.integers(1, 30, size=size)]
    weights[0] = True
    values = [float(v) / 4 for v in generator.integers(1, 80, size=size)]
    values[1] = 7
    capacity = sum(weights) // 2
    files = []
    for numbered in (True, False):
        model = knapsack(numbered, weights, values, capacity)
        model.write_model(tmp_path / f"{numbered}.lp")
        files.append((tmp_path / f"{numbered}.lp").read_text())
        model.solve()
        oracle = milp(-np.array(values, dtype=float), integrality=np.ones(size), bounds=Bounds(0, 1),
                      constraints=LinearConstraint(np.array([weights], dtype=float), -np.inf, capacity))
        assert model.objective_value == pytest.approx(-oracle.fun)
    assert files[0] == files[1]


def test_rows_read_natively_reach_the_solver_without_a_copy():
    model = LinearModel(output_flag=False)
    size = 1200  # blocks this long are borrowed by the solver's row collector
    x = model.get_variables("x", VariableType.REAL, i=size)
    i = model.get_indexes(("i",))
    model.add_constraint(SumIt([2 * x[k] for k in reversed(range(size))]) <= 1)
    model.add_constraint(x[i] <= 1, i=range(size))
    blocks = model._linsolver_model._rows.take_rows()
    assert [len(block[0]) for block in blocks] == [1, size]
    for _, _, starts, indices, values in blocks:
        assert (starts.dtype, indices.dtype, values.dtype) == (np.int32, np.int32, np.float64)
        assert not (starts.flags.writeable or indices.flags.writeable or values.flags.writeable)
    assert blocks[0][3].tolist() == list(range(size)) and set(blocks[0][4].tolist()) == {2.0}


@pytest.mark.parametrize(
    "build",
    [
        lambda y: y[1],
        lambda y: 2.5 * y[1],
        lambda y: SumIt([y[0], 3 * y[2]]),
        lambda y: SumIt([y[0], 3 * y[2]]) <= 4,
        lambda y: (y[0] + 1 == 2),
    ],
)
def test_an_expression_is_copied_and_pickled_as_its_text_and_bounds(variables, build):
    import copy
    import pickle

    expression = build(variables["y"])
    for copied in (copy.copy(expression), copy.deepcopy(expression), pickle.loads(pickle.dumps(expression))):
        assert (type(copied), str(copied), copied.lo, copied.hi) == (
            type(expression), str(expression), expression.lo, expression.hi
        )


@pytest.mark.parametrize("target", [True, False], ids=["target", "constraint"])
@pytest.mark.parametrize("other_has_x", [True, False])
def test_cells_of_another_model_mean_what_their_text_means_there(target, other_has_x):
    first = LinearModel(output_flag=False)
    first.get_variables("w", VariableType.REAL, k=3)
    x = first.get_variables("x", VariableType.REAL, 0, 1, i=2)  # columns 3 and 4

    def outcome(expression):
        other = LinearModel(output_flag=False)
        other.get_variables("x" if other_has_x else "z", VariableType.REAL, 0, 1, i=2)  # columns 0 and 1
        try:
            if target:
                other.add_target(expression, minimization=False)
            else:
                other.add_constraint(expression >= 2.5)
                other.add_target(LinearExpression("x(0)" if other_has_x else "z(0)"), minimization=True)
            other.solve()
        except Exception as failure:  # the text's own failure, whatever it is
            return type(failure), str(failure)
        return other.objective_value, other.get_result("x" if other_has_x else "z").tolist()

    numbered = SumIt([2 * x[0], x[1]])
    assert outcome(numbered) == outcome(LinearExpression(str(numbered)))
    if other_has_x:
        assert outcome(numbered) == ((3.0, [1.0, 1.0]) if target else (0.75, [0.75, 1.0]))


def test_a_bound_that_refers_back_to_its_expression_is_collected():
    collected = []

    class Bound(float):
        def __del__(self):
            collected.append(True)

    model = LinearModel(output_flag=False)
    y = model.get_variables("y", VariableType.REAL, i=2)
    bound = Bound(3.0)
    bound.expression = SumIt([y[0], 2 * y[1]]) <= bound  # a cycle through the native base's fields
    del bound
    gc.collect()
    assert collected == [True]
