"""Linear indexes and variables: reference texts, columns and element order."""

import numpy as np
import pytest

from vx_encoder.linear_parser import LinearModel, VariableType
from vx_encoder.linear_parser.linear_variables import Index, LinearVariable


@pytest.fixture
def model():
    return LinearModel(output_flag=False)


@pytest.fixture
def x(model):
    """A 2 x 3 variable whose block starts at column 5."""
    model.get_variables("w", VariableType.REAL, k=5)
    return model.get_variables("x", VariableType.REAL, i=2, j=3)


@pytest.mark.parametrize(
    "arithmetic, text",
    [
        (lambda i, j: i + 1, "i + 1"),
        (lambda i, j: i - 2, "i - 2"),
        (lambda i, j: 3 * i, "3 * i"),
        (lambda i, j: (i + 1) + 1, "i + 1 + 1"),
        (lambda i, j: 2 * i + 1, "2 * i + 1"),
        (lambda i, j: 2 * (i + 1), "2 * (i + 1)"),
        (lambda i, j: 2 * (3 * i), "2 * (3 * i)"),
        (lambda i, j: i + j, "i + j"),
        (lambda i, j: i + j + 1, "i + j + 1"),
        (lambda i, j: i - (j + 1), "i - (j + 1)"),
        (lambda i, j: i - j - 1, "i - j - 1"),
        (lambda i, j: -2 * (i - 1), "-2 * (i - 1)"),
        (lambda i, j: i + -1, "i + -1"),
    ],
)
def test_index_arithmetic_writes_what_was_computed(arithmetic, text):
    result = arithmetic(Index("i"), Index("j"))
    assert (str(result), result.expression, result.name) == (text, text, "i")
    assert eval(text, {"i": 3, "j": 5}) == arithmetic(3, 5)


@pytest.mark.parametrize("arithmetic", [lambda i: 1 + i, lambda i: i * 2, lambda i: -i, lambda i: 1 - i])
def test_index_arithmetic_not_defined_is_refused_by_the_host(arithmetic):
    with pytest.raises(TypeError):
        arithmetic(Index("i"))


def test_an_index_keeps_a_given_text():
    index = Index("i", "i + 4")
    assert (index.name, str(index)) == ("i", "i + 4")
    assert str(Index("k")) == "k"


@pytest.mark.parametrize(
    "items, text",
    [
        (lambda i, j: (i, j), "x(i,j)"),
        (lambda i, j: (i + 1, j), "x(i + 1,j)"),
        (lambda i, j: i, "x(i)"),
        (lambda i, j: (i,), "x(i)"),
        (lambda i, j: (3, 2 * j), "x(3,2 * j)"),
        (lambda i, j: "ab", "x(a,b)"),
        (lambda i, j: [0, 1], "x(0,1)"),
        (lambda i, j: 0, "x(0)"),
        (lambda i, j: (), "x()"),
    ],
)
def test_indexing_writes_the_reference_text(x, items, text):
    proxy = x[items(Index("i"), Index("j"))]
    assert str(proxy) == repr(proxy) == text


def test_elements_lie_in_columns_with_the_first_index_fastest(x):
    assert x(1, 2).linear_coefficients_indexes.tolist() == [10]
    assert x(1, 2)._linear_coefficients.shape == (11, 1)
    assert [x(i, j).linear_coefficients_indexes[0] for i in range(2) for j in range(3)] == list(x.map)
    assert x.map == (5, 7, 9, 6, 8, 10)
    assert x.shape == (2, 3)
    assert (x.lo, x.hi, x.type) == (-np.inf, np.inf, "float64")
    assert x(np.int64(1), np.int32(0)).linear_coefficients_indexes.tolist() == [6]


def test_a_variable_without_dimensions_has_one_column(model):
    model.get_variables("w", VariableType.REAL, k=4)
    scalar = model.get_variables("s", VariableType.INTEGER, 0, 9)
    assert (scalar.shape, scalar.map, scalar.type) == ((), (4,), "int32")
    assert scalar().linear_coefficients_indexes.tolist() == [4]
    assert str(scalar[()]) == "s()"


def test_a_dimension_of_size_zero_has_no_elements(model):
    empty = model.get_variables("e", VariableType.REAL, i=3, j=0)
    assert (empty.map, empty.shape) == ((), (3, 0))
    with pytest.raises(IndexError):
        empty(0, 0)


@pytest.mark.parametrize("values", [(2, 0), (0, 3), (-1, 0), (0, -1), (5, 5), (0,), (0, 0, 0), (2**70, 0)])
def test_values_outside_the_dimensions_are_refused(x, capfd, values):
    with pytest.raises(IndexError) as raised:
        x(*values)
    message = str(raised.value)
    assert "linear variable x" in message.lower()
    assert ", ".join(str(value) for value in values) in message
    assert capfd.readouterr().err.splitlines() == [f"[error] {message}"]


@pytest.mark.parametrize("values", [(1.0, 0), ("1", 0), (None, 0)])
def test_values_that_are_no_integers_are_refused(x, capfd, values):
    with pytest.raises(TypeError, match="must be integers") as raised:
        x(*values)
    assert capfd.readouterr().err.splitlines() == [f"[error] {str(raised.value)}"]


def test_a_variable_made_directly_computes_its_strides():
    variable = LinearVariable("v", 0, 1, {"a": 2, "b": 3, "c": 4}, 0, type_var="float64")
    assert variable._shifts == [1, 2, 6]
    assert variable(1, 2, 3).linear_coefficients_indexes.tolist() == [1 + 4 + 18]
    assert variable.map[:4] == (0, 6, 12, 18)
