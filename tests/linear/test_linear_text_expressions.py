"""Text of linear expressions, bounds, sums, and the names of vx_encoder.linear_parser."""

import gc
import math
import sys
from fractions import Fraction

import numpy as np
import pytest

import vx_encoder.linear_parser as linear_parser
from vx_encoder._exceptions import FormulaError
from vx_encoder.linear_parser import LinearModel, Sum, SumIt, VariableType
from vx_encoder.linear_parser.linear_expression import LinearExpression, LinearVariableProxy

from fresh_interpreter import run_fresh_interpreter
from hang_guard import fails_instead_of_hanging

BOUNDS_ARE_FINAL = "It is forbidden to change the formula after setting the boundaries"
OPERAND_TYPE = "Type 'LinearExpression' is expected for left side of expression"


@pytest.fixture(scope="module")
def names():
    model = LinearModel(output_flag=False)
    x = model.get_variables("x", VariableType.REAL, i=3, j=3)
    y = model.get_variables("y", VariableType.REAL, i=3)
    z = model.get_variables("z", VariableType.REAL, i=3)
    i, j = model.get_indexes(["i", "j"])
    return {"x": x, "y": y, "z": z, "i": i, "j": j}


@pytest.mark.parametrize(
    "build, text",
    [
        (lambda x, y, z, i, j: x[i] + 2, "x(i) + 2"),
        (lambda x, y, z, i, j: 2 + x[i], "x(i) + 2"),
        (lambda x, y, z, i, j: x[i] - 2, "x(i) - 2"),
        (lambda x, y, z, i, j: 2 - x[i], "-(x(i)) + 2"),
        (lambda x, y, z, i, j: x[i] * 2, "2 * (x(i))"),
        (lambda x, y, z, i, j: 2 * x[i], "2 * (x(i))"),
        (lambda x, y, z, i, j: x[i] * x[j], "(x(i)) * (x(j))"),
        (lambda x, y, z, i, j: (x[i] + 1) * 3, "3 * (x(i) + 1)"),
        (lambda x, y, z, i, j: x[i] - y[i], "x(i) - (y(i))"),
        (lambda x, y, z, i, j: x[i] - (y[i] + z[i]), "x(i) - (y(i) + z(i))"),
        (lambda x, y, z, i, j: x[i] - (2 - y[i]), "x(i) - (-(y(i)) + 2)"),
        (lambda x, y, z, i, j: +x[i], "+(x(i))"),
        (lambda x, y, z, i, j: -(x[i] - y[i]), "-(x(i) - (y(i)))"),
        (lambda x, y, z, i, j: x[i] + True, "x(i) + True"),
        (lambda x, y, z, i, j: x[i] * 0.5, "0.5 * (x(i))"),
        (lambda x, y, z, i, j: x[i] + (-3), "x(i) + -3"),
        (lambda x, y, z, i, j: x[i] + 0, "x(i) + 0"),
        (lambda x, y, z, i, j: x[i] + Fraction(1, 2), "x(i) + 1/2"),
        (lambda x, y, z, i, j: x[i, j] + x[0, 1], "x(i,j) + x(0,1)"),
        # a text of a subclass of str is its characters
        (lambda x, y, z, i, j: LinearExpression(np.str_("t")) + x[i], "t + x(i)"),
        (lambda x, y, z, i, j: LinearExpression(np.str_("t")), "t"),
    ],
)
def test_operators_write_the_text_of_the_expression(names, build, text):
    expression = build(**names)
    assert str(expression) == text
    assert type(expression) is LinearExpression
    assert expression.lo is None and expression.hi is None


@pytest.mark.parametrize("operand", ["1", None, 1j, [1], np.array([1, 2])])
def test_an_operand_that_is_no_number_and_no_expression_is_refused(names, capfd, operand):
    x, i = names["x"], names["i"]
    for operation in (lambda: x[i] + operand, lambda: x[i] - operand, lambda: x[i] * operand):
        capfd.readouterr()
        with pytest.raises(TypeError, match=f"^{OPERAND_TYPE}$"):
            operation()
        assert capfd.readouterr().err.splitlines() == [f"[error] {OPERAND_TYPE}"]


@pytest.mark.parametrize("nan", [float("nan"), np.float64("nan")])
def test_a_nan_operand_is_refused_where_it_is_written(names, capfd, nan):
    x, i = names["x"], names["i"]
    message = "A NaN cannot be a coefficient or constant of a linear expression"
    for operation in (lambda: x[i] + nan, lambda: nan - x[i], lambda: x[i] * nan, lambda: nan * x[i]):
        capfd.readouterr()
        with pytest.raises(ValueError, match=f"^{message}$"):
            operation()
        assert capfd.readouterr().err.splitlines() == [f"[error] {message}"]


@pytest.mark.parametrize("infinite", [math.inf, -math.inf, np.float64("inf"), 1e309])
@pytest.mark.parametrize("cell", ["x[i]", "x[0]"])  # a cell written as text, and a numbered one
def test_an_infinite_operand_is_refused_where_it_is_written(names, capfd, infinite, cell):
    x = eval(cell, {}, names)
    message = "An infinite number cannot be a coefficient or constant of a linear expression"
    for operation in (lambda: x + infinite, lambda: infinite - x, lambda: x * infinite, lambda: infinite * x,
                      lambda: infinite * (x + 1)):
        capfd.readouterr()
        with pytest.raises(ValueError, match=f"^{message}$"):
            operation()
        assert capfd.readouterr().err.splitlines() == [f"[error] {message}"]
    assert str(10**400 * x).startswith(f"{10**400} * (")  # an integer past every float is finite


def test_a_string_on_the_left_is_refused_by_the_reflected_operator(names, capfd):
    with pytest.raises(TypeError, match=f"^{OPERAND_TYPE}$"):
        "1" + names["x"][names["i"]]
    assert capfd.readouterr().err.splitlines() == [f"[error] {OPERAND_TYPE}"]


def test_a_comparison_returns_a_bounded_copy_and_leaves_the_operand_unbounded(names):
    x, i = names["x"], names["i"]
    proxy = x[i]
    upper = proxy <= 5
    assert (upper.lo, upper.hi, str(upper), type(upper)) == (None, 5, "x(i)", LinearExpression)
    assert proxy.lo is None and proxy.hi is None
    lower = proxy >= 0
    assert (lower.lo, lower.hi) == (0, None)
    both = proxy == 3
    assert (both.lo, both.hi) == (3, 3)
    assert ((3 <= proxy).lo, (3 >= proxy).hi, (3 == proxy).lo) == (3, 3, 3)
    unbounded = proxy <= None
    assert (unbounded.lo, unbounded.hi) == (None, None)


@pytest.mark.parametrize(
    "operation",
    [
        lambda c, x, j: c + 1,
        lambda c, x, j: 1 + c,
        lambda c, x, j: c * 2,
        lambda c, x, j: 2 * c,
        lambda c, x, j: c - x[j],
        lambda c, x, j: x[j] + c,
        lambda c, x, j: c >= 0,
        lambda c, x, j: c == 1,
        lambda c, x, j: c + "text",  # the bound test comes before the type test
        lambda c, x, j: Sum(c, j=range(3)),
        lambda c, x, j: SumIt([x[j], c]),
    ],
)
def test_a_bounded_expression_cannot_be_changed(names, capfd, operation):
    x, i, j = names["x"], names["i"], names["j"]
    with pytest.raises(FormulaError, match=f"^{BOUNDS_ARE_FINAL}$"):
        operation(x[i] <= 5, x, j)
    assert capfd.readouterr().err.splitlines() == [f"[error] {BOUNDS_ARE_FINAL}"]


def test_negation_and_subtraction_from_a_number_drop_the_bounds(names):
    bounded = names["x"][names["i"]] <= 5
    assert [str(-bounded), str(+bounded), str(3 - bounded)] == ["-(x(i))", "+(x(i))", "-(x(i)) + 3"]
    assert (3 - bounded).hi is None


def test_a_chained_comparison_is_refused_instead_of_dropping_a_bound(names, capfd):
    x, i = names["x"], names["i"]
    with pytest.raises(TypeError, match="no truth value"):
        1 <= x[i] <= 5
    assert capfd.readouterr().err.startswith("[error] A LinearExpression has no truth value")
    with pytest.raises(TypeError, match="no truth value"):
        x[i] != 3
    with pytest.raises(TypeError, match="no truth value"):
        if x[i] + 1:
            pass


def test_strict_comparisons_are_not_defined_and_expressions_are_not_hashable(names, capfd):
    x, i = names["x"], names["i"]
    with pytest.raises(TypeError):
        x[i] < 3
    with pytest.raises(TypeError):
        x[i] > 3
    assert capfd.readouterr().err.splitlines() == []
    with pytest.raises(TypeError):
        {x[i]}


def test_a_proxy_shows_its_reference_text(names):
    proxy = names["x"][names["i"], 2]
    assert type(proxy) is LinearVariableProxy
    assert str(proxy) == repr(proxy) == "x(i,2)"
    assert repr(LinearExpression("x(0)")).startswith("<")


@pytest.mark.parametrize(
    "build, text",
    [
        (lambda x, y, i, j: Sum(x[i, j], j=range(4)), "CompiledSum([x(i,j) for j in range(0, 4)])"),
        (
            lambda x, y, i, j: Sum(x[i, j], i=range(2), j=range(3)),
            "CompiledSum([x(i,j) for i in range(0, 2) for j in range(0, 3)])",
        ),
        (
            lambda x, y, i, j: Sum(x[i, j], j=range(3), i=range(2)),
            "CompiledSum([x(i,j) for j in range(0, 3) for i in range(0, 2)])",
        ),
        (lambda x, y, i, j: Sum(2 * y[i], i=[0, 2]), "CompiledSum([2 * (y(i)) for i in [0, 2]])"),
        (lambda x, y, i, j: Sum(x[i, j], j="range(i)"), "CompiledSum([x(i,j) for j in range(i)])"),
        (lambda x, y, i, j: Sum(y[i]), "CompiledSum([y(i) ])"),
        (
            lambda x, y, i, j: Sum(Sum(x[i, j], j=range(3)), i=range(2)),
            "CompiledSum([CompiledSum([x(i,j) for j in range(0, 3)]) for i in range(0, 2)])",
        ),
        (
            lambda x, y, i, j: Sum(x[i, j], j=range(3)) + y[i],
            "CompiledSum([x(i,j) for j in range(0, 3)]) + y(i)",
        ),
        (lambda x, y, i, j: SumIt([x[0, 1], y[2]]), "CompiledSum([x(0,1), y(2)])"),
        (lambda x, y, i, j: SumIt((y[2] - 1, 3 * y[i])), "CompiledSum([y(2) - 1, 3 * (y(i))])"),
        (lambda x, y, i, j: SumIt([y[2], y[2]]), "CompiledSum([y(2), y(2)])"),
    ],
)
def test_sums_write_compiled_sum_text(names, build, text):
    expression = build(names["x"], names["y"], names["i"], names["j"])
    assert str(expression) == text


def test_a_compared_sum_is_a_plain_bounded_expression(names):
    bounded = Sum(names["x"][names["i"], names["j"]], j=range(3)) <= 10
    assert (type(bounded), bounded.hi, str(bounded)) == (
        LinearExpression,
        10,
        "CompiledSum([x(i,j) for j in range(0, 3)])",
    )


@pytest.mark.parametrize("operand", [1, "x(0)", None])
def test_sum_refuses_an_operand_that_is_no_expression(capfd, operand):
    message = "Type 'LinearExpression' is expected for variable 'expression'"
    with pytest.raises(TypeError, match=f"^{message}$"):
        Sum(operand, i=range(3))
    assert capfd.readouterr().err.splitlines() == [f"[error] {message}"]


@pytest.mark.parametrize(
    "make",
    [
        lambda y: (element for element in [y[0]]),
        lambda y: (element for element in []),  # never the zero-length warning
        lambda y: {y[0].__class__},
        lambda y: np.array([]),
        lambda y: y[0],
    ],
)
def test_sumit_refuses_what_is_no_sequence(names, capfd, make):
    operand = make(names["y"])
    message = "Use an iterable sequence as SumIt input argument"
    with pytest.raises(TypeError, match=f"^{message}$"):
        SumIt(operand)
    assert capfd.readouterr().err.splitlines() == [f"[error] {message}"]


@pytest.mark.parametrize("empty", [(), range(0), "", []])
def test_sumit_of_an_empty_sequence_warns_and_writes_an_empty_sum(capfd, empty):
    assert str(SumIt(empty)) == "CompiledSum([])"
    assert capfd.readouterr().err.splitlines() == ["[warning] The input sequence has zero length"]


@pytest.mark.parametrize("elements", ["ab", range(3), "y5"])
def test_sumit_refuses_elements_that_are_no_expressions(names, capfd, elements):
    elements = [names["y"][2], 5] if elements == "y5" else elements
    message = "Variable 'expressions' must contain only objects of type 'LinearExpression'"
    with pytest.raises(TypeError, match=f"^{message}$"):
        SumIt(elements)
    assert capfd.readouterr().err.splitlines() == [f"[error] {message}"]


def test_sumit_tests_each_element_before_the_next(names):
    with pytest.raises(FormulaError):
        SumIt([names["y"][2] >= 0, 5])


def test_the_sub_package_exports_its_six_names():
    assert linear_parser.__all__ == ["LinearModel", "SolutionStatus", "VariableType", "inf", "Sum", "SumIt"]
    assert linear_parser.Sum.__module__ == "vx_encoder.linear_parser.linear_expression"
    assert linear_parser.LinearModel.__module__ == "vx_encoder.linear_parser.linear_model"


def test_the_sub_package_loads_its_modules_in_order(tmp_path):
    # A finder that only watches records each module as its import starts.
    script = (
        "import sys\n"
        "class Watch:\n"
        "    def find_spec(self, name, path=None, target=None):\n"
        "        if name.startswith('vx_encoder.linear_parser.'):\n"
        "            print(name.rsplit('.', 1)[1])\n"
        "sys.meta_path.insert(0, Watch())\n"
        "import vx_encoder.linear_parser\n"
    )
    loaded = run_fresh_interpreter(script, tmp_path)
    expected = ["linear_model", "linear_variables", "linear_expression", "compiled_linear_expressions"]
    assert loaded.split() == expected



@pytest.mark.parametrize("step, continuation", [
    (lambda total, term: total + term, lambda k: f" + x({k})"),
    (lambda total, term: total - 2 * term, lambda k: f" - (2 * (x({k})))"),
    (lambda total, term: term + total, None),
], ids=["sum", "difference", "sum from the left"])
def test_a_long_sum_built_in_a_loop_keeps_its_text(request, step, continuation):
    """Each operator writes its operands' text once, when the whole text is read: a
    hundred thousand terms take well under the guard's time instead of an hour."""
    model = LinearModel(output_flag=False)
    x = model.get_variables("x", VariableType.REAL, i=100_000)
    with fails_instead_of_hanging(request, 60):
        total = x[0]
        for k in range(1, 100_000):
            total = step(total, x[k])
        text = str(total)
    if continuation is None:  # x(99999) + x(99998) + ... + x(0)
        expected = " + ".join(f"x({k})" for k in reversed(range(100_000)))
    else:
        expected = "x(0)" + "".join(continuation(k) for k in range(1, 100_000))
    assert text == expected
    assert str(total) is text  # joined once


@pytest.mark.parametrize("values, written", [
    (np.arange(3), "[0, 1, 2]"),
    (list(np.arange(3)), "[0, 1, 2]"),
    ([np.int64(0), np.int64(2)], "[0, 2]"),
    ((np.int32(1), 2), "(1, 2)"),
])
def test_a_sum_over_numpy_integers_writes_plain_integers(values, written):
    model = LinearModel(output_flag=False)
    y = model.get_variables("y", VariableType.REAL, 0, 1, k=3)
    k = model.get_indexes(["k"])
    total = Sum(y[k], k=values)
    assert str(total) == f"CompiledSum([y(k) for k in {written}])"
    model.add_target(total, False)
    model.solve()
    chosen = {int(value) for value in values}
    assert model.objective_value == len(chosen)
    assert model.get_result("y").tolist() == [1.0 if cell in chosen else 0.0 for cell in range(3)]



def long_sum(x):
    total = x[0, 0]
    for _ in range(60):
        total = total + 2.5 * x[1, 1]
    return total


@pytest.mark.parametrize(
    "build, tracked, text",
    [
        (lambda x: x[1, 2], False, "x(1,2)"),
        (lambda x: 3 * x[1, 2], False, "3 * (x(1,2))"),
        (lambda x: x[0, 0] + x[1, 1] - 4, False, "x(0,0) + x(1,1) - 4"),
        # Kept as pieces that refer to earlier terms, all of them untracked.
        (long_sum, False, "x(0,0)" + " + 2.5 * (x(1,1))" * 60),
        # Bounds are the caller's objects, which may refer back to the expression.
        (lambda x: 3 * x[1, 2] <= 4, True, "3 * (x(1,2))"),
    ],
)
def test_only_a_bounded_expression_is_left_to_the_cyclic_collector(names, build, tracked, text):
    expression = build(names["x"])
    assert gc.is_tracked(expression) is tracked
    gc.collect()
    assert str(expression) == text
