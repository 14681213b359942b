"""Compiled linear expressions: the numeric form of evaluated linear text."""

import random

import numpy as np
import pytest
from scipy.sparse import coo_array, csc_array, csr_array

from vx_encoder._vx_native import SparseRowAccumulator
from vx_encoder.linear_parser import LinearModel, VariableType
from vx_encoder.linear_parser.compiled_linear_expressions import CompiledLinearExpression, CompiledSum
from vx_encoder.linear_parser.native_text import read_expression

SUM_OPERAND = "Type 'LinearExpression' is expected for left side of expression"
PRODUCT_OPERAND = "Type 'LinearExpression' or 'int' is expected for expression"


@pytest.fixture(scope="module")
def x():
    """A variable whose cells x(0), x(1), x(2) are the solver columns 0, 1, 2."""
    return LinearModel(output_flag=False).get_variables("x", VariableType.REAL, i=3)


def evaluated(text: str, x):
    return eval(text, {"x": x, "CompiledSum": CompiledSum})


def linear_part(expression) -> dict:
    return dict(zip(expression.linear_coefficients_indexes.tolist(), expression.linear_coefficients.tolist()))


def matrix_entries(matrix) -> dict:
    matrix = coo_array(matrix)
    matrix.sum_duplicates()
    return {(r, c): v for r, c, v in zip(matrix.row.tolist(), matrix.col.tolist(), matrix.data.tolist()) if v != 0}


@pytest.mark.parametrize(
    "text, constant, linear, length, quadratic, size",
    [
        ("x(0) + x(2)", 0, {0: 1, 2: 1}, 3, None, None),
        ("x(0) + 2", 2, {0: 1}, 1, None, None),
        ("x(2) - 1", -1, {2: 1}, 3, None, None),
        ("(x(0) + 2) * (x(2) - 1)", -2, {0: -1, 2: 2}, 3, {(0, 2): 0.5, (2, 0): 0.5}, 3),
        ("x(1) * x(1)", 0, {}, 2, {(1, 1): 1.0}, 2),
        ("x(0) - x(1) * x(1)", 0, {0: 1}, 2, {(1, 1): -1.0}, 2),
        ("-(x(1) * x(1))", 0, {}, 2, {(1, 1): -1.0}, 2),
        ("x(0) + x(0)", 0, {0: 2}, 1, None, None),
        ("x(0) - x(0)", 0, {}, 1, None, None),
        ("3 + x(2)", 3, {2: 1}, 3, None, None),
        ("x(2) * 2", 0, {2: 2}, 3, None, None),
        ("2.5 * (x(1) * x(1))", 0, {}, 2, {(1, 1): 2.5}, 2),
        ("(x(1) * x(1)) - x(0)", 0, {0: -1}, 2, {(1, 1): 1.0}, 2),
        ("3 * (x(0) * x(1))", 0, {}, 2, {(0, 1): 1.5, (1, 0): 1.5}, 2),
    ],
)
def test_compiled_parts(x, text, constant, linear, length, quadratic, size):
    expression = evaluated(text, x)
    assert type(expression) is CompiledLinearExpression
    assert expression.constant == constant
    assert linear_part(expression) == linear
    assert type(expression._linear_coefficients) is coo_array
    assert expression._linear_coefficients.shape == (length, 1)
    if quadratic is None:
        assert expression._quadratic_coefficients is None and expression.quadratic_coefficients is None
        return
    assert expression._quadratic_coefficients.shape == (size, size)
    assert matrix_entries(expression._quadratic_coefficients) == quadratic
    hessian = expression.quadratic_coefficients
    assert type(hessian) is csc_array and hessian.shape == (size, size)
    assert matrix_entries(hessian) == {key: 2 * value for key, value in quadratic.items()}


def test_an_element_is_the_coefficient_1_in_its_column(x):
    element = x(2)
    assert element.constant == 0 and element.quadratic_coefficients is None
    assert element._linear_coefficients.shape == (3, 1)
    assert element.linear_coefficients_indexes.tolist() == [2]
    assert element.linear_coefficients.tolist() == [1]
    assert element.linear_coefficients.dtype.kind == "i"


def test_coefficients_keep_integers_until_a_real_number_enters(x):
    assert (x(0) * 3 + x(1)).linear_coefficients.dtype.kind == "i"
    assert (x(0) * 0.5 + x(1)).linear_coefficients.tolist() == [0.5, 1.0]
    assert (x(0) * 0.5).linear_coefficients.dtype.kind == "f"
    assert (x(0) + 0.5).constant == 0.5 and (x(0) + 0.5).linear_coefficients.dtype.kind == "i"


def test_operators_leave_their_operands_unchanged(x):
    left = x(0)
    total = left + x(2)
    assert left._linear_coefficients.shape == (1, 1) and total._linear_coefficients.shape == (3, 1)
    product = left * x(1)
    assert left.quadratic_coefficients is None and product.quadratic_coefficients is not None


def test_unary_operators_copy_every_part(x):
    expression = (x(0) + 2) * (x(2) - 1) + x(1)
    for copy in (+expression, -(-expression)):
        assert copy is not expression
        assert copy.constant == expression.constant
        assert linear_part(copy) == linear_part(expression)
        assert matrix_entries(copy.quadratic_coefficients) == matrix_entries(expression.quadratic_coefficients)
        assert copy._linear_coefficients is not expression._linear_coefficients


def test_read_views_are_new_arrays_every_time(x):
    expression = x(0) * x(1) + 2 * x(2)
    indexes = expression.linear_coefficients_indexes
    coefficients = expression.linear_coefficients
    indexes[:] = 0
    coefficients[:] = 0
    assert linear_part(expression) == {2: 2}
    assert expression.quadratic_coefficients is not expression.quadratic_coefficients
    hessian = expression.quadratic_coefficients
    hessian.resize((5, 5))
    assert expression.quadratic_coefficients.shape == (2, 2)


@pytest.mark.parametrize("text", ["(x(0) * x(1)) * x(2)", "x(2) * (x(0) * x(1))", "(x(0) * x(1)) * (x(0) * x(1))"])
def test_a_product_with_a_quadratic_factor_is_refused(x, capfd, text):
    with pytest.raises(TypeError, match=f"^{PRODUCT_OPERAND}$"):
        evaluated(text, x)
    assert capfd.readouterr().err.splitlines() == [f"[error] {PRODUCT_OPERAND}"]


@pytest.mark.parametrize("operand", ["a", [1], None, 1j])
def test_operands_that_are_no_numbers_are_refused(x, capfd, operand):
    with pytest.raises(TypeError, match=f"^{PRODUCT_OPERAND}$"):
        x(0) * operand
    with pytest.raises(TypeError, match=f"^{PRODUCT_OPERAND}$"):
        operand * x(0)
    with pytest.raises(TypeError, match=f"^{SUM_OPERAND}$"):
        x(0) + operand
    with pytest.raises(TypeError, match=f"^{SUM_OPERAND}$"):
        x(0) - operand
    assert capfd.readouterr().err.splitlines() == [f"[error] {PRODUCT_OPERAND}"] * 2 + [f"[error] {SUM_OPERAND}"] * 2


def test_a_number_minus_a_compiled_expression_is_left_to_the_host(x, capfd):
    with pytest.raises(TypeError, match="unsupported operand"):
        5 - x(0)
    assert capfd.readouterr().err.splitlines() == []


def test_compiled_sum_adds_its_elements(x):
    total = CompiledSum([x(0), x(1), x(0), 4, 0.5])
    assert type(total) is CompiledSum
    assert (total.constant, linear_part(total)) == (4.5, {0: 2, 1: 1})
    assert type(total + 1) is CompiledLinearExpression and type(-total) is CompiledLinearExpression
    single = x(0)
    alone = CompiledSum([single])
    assert linear_part(alone) == {0: 1} and alone._linear_coefficients is not single._linear_coefficients
    assert matrix_entries(CompiledSum([x(0) * x(1), x(2)]).quadratic_coefficients) == {(0, 1): 1.0, (1, 0): 1.0}


@pytest.mark.parametrize("elements, constant", [([], 0), ([1, 2.5], 3.5)])
def test_a_sum_without_compiled_elements_is_a_constant(elements, constant):
    total = CompiledSum(elements)
    assert total.constant == constant
    assert total.linear_coefficients_indexes.size == 0 and total.quadratic_coefficients is None
    assert total._linear_coefficients.shape == (0, 1)


def test_compiled_sum_refuses_elements_that_are_no_expressions(x, capfd):
    with pytest.raises(TypeError, match=f"^{SUM_OPERAND}$"):
        CompiledSum([x(0), "x(1)"])
    assert capfd.readouterr().err.splitlines() == [f"[error] {SUM_OPERAND}"]


def test_the_constructor_keeps_a_coo_array_and_converts_other_formats():
    vector = coo_array(([2, 3], ([1, 4], [0, 0])), shape=(6, 1))
    kept = CompiledLinearExpression(vector, 7)
    assert kept._linear_coefficients is vector
    assert (kept.constant, linear_part(kept)) == (7, {1: 2, 4: 3})
    converted = CompiledLinearExpression(csr_array(vector))
    assert type(converted._linear_coefficients) is coo_array
    quadratic = coo_array(([1.0, 1.0], ([0, 1], [1, 0])), shape=(2, 2))
    with_quadratic = CompiledLinearExpression(vector, quadratic_coefficients=quadratic)
    assert with_quadratic._quadratic_coefficients is quadratic
    assert matrix_entries(with_quadratic.quadratic_coefficients) == {(0, 1): 2.0, (1, 0): 2.0}
    with pytest.raises(ValueError, match="column vector"):
        CompiledLinearExpression(coo_array(([1], ([0], [2]))))


def random_text(rng: random.Random, depth: int, allow_quadratic: bool) -> tuple[str, bool]:
    """A random expression text over x(0..2) and numbers; the flag says whether it is quadratic."""
    if depth == 0 or rng.random() < 0.25:
        if rng.random() < 0.7:
            return f"x({rng.randrange(3)})", False
        return repr(rng.choice([0, 1, -2, 3, 0.5, -1.25])), False
    operator = rng.choice(["+", "-", "*", "neg", "sum"])
    if operator == "neg":
        text, quadratic = random_text(rng, depth - 1, allow_quadratic)
        return f"-({text})", quadratic
    if operator == "sum":
        parts = [random_text(rng, depth - 1, allow_quadratic) for _ in range(rng.randrange(4))]
        return "CompiledSum([" + ", ".join(text for text, _ in parts) + "])", any(q for _, q in parts)
    if operator == "*":
        if not allow_quadratic:
            factor = repr(rng.choice([2, -3, 0.5]))
            text, quadratic = random_text(rng, depth - 1, False)
            return f"{factor} * ({text})", quadratic
        left, _ = random_text(rng, depth - 1, False)
        right, _ = random_text(rng, depth - 1, False)
        return f"({left}) * ({right})", True
    left, left_quadratic = random_text(rng, depth - 1, allow_quadratic)
    right, right_quadratic = random_text(rng, depth - 1, allow_quadratic)
    return f"({left}) {operator} ({right})", left_quadratic or right_quadratic


def test_compiled_expressions_have_the_value_of_their_text_at_every_point(x):
    """Oracle: constant + a·v + vᵀQv equals the text evaluated with numbers at random points."""
    rng = random.Random(11)
    points = np.random.default_rng(5).uniform(-2, 2, size=(4, 3))
    for _ in range(300):
        text, _ = random_text(rng, 4, allow_quadratic=True)
        try:
            expression = evaluated(text, x)
        except TypeError:  # a number minus an expression, or a product of quadratic parts
            continue
        if not isinstance(expression, CompiledLinearExpression):
            continue
        for point in points:
            expected = eval(text, {"x": lambda column: point[column], "CompiledSum": sum})
            vector = np.zeros(3)
            for column, coefficient in linear_part(expression).items():
                vector[column] = coefficient
            value = expression.constant + vector @ point
            if expression.quadratic_coefficients is not None:
                hessian = expression.quadratic_coefficients.toarray()
                value += 0.5 * point[: len(hessian)] @ hessian @ point[: len(hessian)]
            assert value == pytest.approx(expected, abs=1e-9), text


def test_the_accumulator_merges_rows_once_and_drops_zero_sums():
    first = SparseRowAccumulator.from_terms(np.array([4, 1, 4]), np.array([1.0, 2.0, 3.0]), 5)
    cancelled = SparseRowAccumulator.single_column(2).plus(SparseRowAccumulator.single_column(2), -1.0)
    empty = SparseRowAccumulator()
    starts, indexes, values = SparseRowAccumulator.rows_by_row([first, cancelled, empty, first])
    assert starts.tolist() == [0, 2, 2, 2, 4]
    assert indexes.tolist() == [1, 4, 1, 4]
    assert values.tolist() == [2.0, 4.0, 2.0, 4.0]


def test_the_accumulator_refuses_malformed_input():
    with pytest.raises(ValueError):
        SparseRowAccumulator.from_terms(np.array([0, 1]), np.array([1.0]), 2)
    with pytest.raises(IndexError):
        SparseRowAccumulator.from_terms(np.array([2]), np.array([1.0]), 2)
    with pytest.raises(IndexError):
        SparseRowAccumulator.single_column(-1)
    product = SparseRowAccumulator.single_column(3).times(SparseRowAccumulator.single_column(0), 0.0, 0.0)
    with pytest.raises(IndexError):
        product.quadratic_part_by_column(2.0, 3)
    with pytest.raises(ValueError):
        product.times(SparseRowAccumulator.single_column(0), 0.0, 0.0)


def test_the_native_reader_gives_what_the_host_evaluates(x):
    """Oracle: the host's evaluation of the same random texts, part by part; where the host refuses, the
    native reader answers None and leaves the refusal to it."""
    rng = random.Random(23)
    variables = {"x": x}
    for _ in range(400):
        text, _ = random_text(rng, 4, allow_quadratic=True)
        try:
            expected = evaluated(text, x)
        except TypeError:
            assert read_expression(text, variables) is None, text
            continue
        read = read_expression(text, variables)
        assert read is not None, text
        if not isinstance(expected, CompiledLinearExpression):
            assert read.constant == pytest.approx(expected) and linear_part(read) == {}, text
            continue
        assert read.constant == pytest.approx(expected.constant, abs=1e-12), text
        assert linear_part(read) == pytest.approx(linear_part(expected), abs=1e-12), text
        if expected.quadratic_coefficients is None:
            assert read.quadratic_coefficients is None, text
        else:
            assert matrix_entries(read.quadratic_coefficients) == pytest.approx(
                matrix_entries(expected.quadratic_coefficients), abs=1e-12
            ), text
