"""Indexing variable arrays: integers, slices, lists, arrays, masks and tuples."""

import numpy as np
import pytest

from vx_encoder.linear_parser2._expression import LinearExpression, LinearExpressionsArr
from vx_encoder.linear_parser2.variable import VariableArray
from test_linear_array_support import default_mode_only, logged  # noqa: F401 (fixture)


@pytest.fixture
def width(monkeypatch):
    """The process-wide column count, fixed at 20 for the test."""
    monkeypatch.setattr(VariableArray, "_total_created_variables", 20)
    return 20


@pytest.fixture
def v(width):
    """Five cells in the columns 10 to 14."""
    return VariableArray("v", (5,), 0.0, 1.0, np.float64, 10)


@pytest.fixture
def grid(width):
    """Shape (2, 3) in the columns 7 to 12, row-major."""
    return VariableArray("grid", [2, 3], 0, 9, np.int32, 7)


def columns_of(rows):
    """The column of each row's single coefficient 1."""
    matrix = rows.linear_coefficients
    assert matrix.shape[1] == 20
    np.testing.assert_array_equal(np.diff(matrix.indptr), 1)
    np.testing.assert_array_equal(matrix.data, 1.0)
    assert matrix.data.dtype == np.float64
    return matrix.indices.tolist()


def column_of(row):
    assert isinstance(row, LinearExpression)
    coefficients = row.linear_coefficients
    assert coefficients.shape == (20,) and coefficients.data.tolist() == [1.0]
    assert coefficients.dtype == np.float64
    return int(coefficients.indices[0])


def test_properties_and_columns(grid):
    assert grid.shape == (2, 3) and isinstance(grid.shape, tuple)
    assert grid.shape is not grid.shape
    assert (grid.name, grid.lower_bound, grid.upper_bound, grid.type) == ("grid", 0, 9, np.int32)
    assert grid._map().tolist() == [7, 8, 9, 10, 11, 12] and grid._map().dtype == np.int32


@pytest.mark.parametrize("item, column", [(3, 13), (0, 10), (True, 11), (np.int64(4), 14), (np.uint8(2), 12)])
def test_an_integer_selects_one_row(v, item, column):
    assert column_of(v[item]) == column


@pytest.mark.parametrize("item, columns", [
    (slice(1, 5, 2), [11, 13]),
    (slice(0, 5, 2), [10, 12, 14]),
    (slice(None, None, -1), [14, 13, 12, 11, 10]),
    (slice(3, 1), []),
    (slice(-2, None), [13, 14]),
    pytest.param(slice(0, 99), [10, 11, 12, 13, 14], marks=default_mode_only),  # clipped as NumPy does
])
def test_a_slice_selects_rows_in_range_order(v, item, columns):
    rows = v[item]
    assert isinstance(rows, LinearExpressionsArr)
    assert columns_of(rows) == columns
    assert rows.num_constraints == len(columns)
    np.testing.assert_array_equal(rows.constants, np.zeros(len(columns)))


@pytest.mark.parametrize("item, columns", [
    ([4, 4, 0], [14, 14, 10]),
    ([True, False], [11, 10]),
    ([], []),
    (np.array([2, 0]), [12, 10]),
    (np.array([3], dtype=np.uint16), [13]),
    (np.array([True, False, False, True, False]), [10, 13]),
])
def test_lists_and_arrays_select_flat_positions(v, item, columns):
    assert columns_of(v[item]) == columns


def test_a_boolean_array_shaped_like_the_variable_is_a_mask(grid):
    mask = np.zeros((2, 3), dtype=bool)
    mask[0, 2] = mask[1, 0] = True
    assert columns_of(grid[mask]) == [9, 10]
    assert columns_of(grid[np.array([1, 5])]) == [8, 12]


@pytest.mark.parametrize("item, columns", [
    ((0, slice(None)), [7, 8, 9]),
    ((slice(None), 1), [8, 11]),
    ((1, slice(None, None, -1)), [12, 11, 10]),
    ((slice(None), slice(None)), [7, 8, 9, 10, 11, 12]),
    ((slice(None), slice(1, 3)), [8, 9, 11, 12]),
    ((np.int32(1), slice(0, 2)), [10, 11]),
    pytest.param((slice(2, 5), slice(None)), [], marks=default_mode_only),
])
def test_a_tuple_with_slices_selects_a_block_in_row_major_order(grid, item, columns):
    assert columns_of(grid[item]) == columns


@pytest.mark.parametrize("item, column", [((1, 2), 12), ((0, 0), 7), ((np.int64(1), 0), 10)])
def test_a_tuple_of_integers_selects_one_row(grid, item, column):
    assert column_of(grid[item]) == column


@default_mode_only
def test_without_debug_an_integer_is_a_flat_position(grid):
    assert column_of(grid[1]) == 8
    assert column_of(grid[5]) == 12
    # A slice is still normalised against the first dimension.
    assert columns_of(grid[0:3]) == [7, 8]
    assert column_of(VariableArray("s", (), 0, 1, np.float64, 19)[0]) == 19


def test_a_variable_without_dimensions_has_one_cell(width):
    scalar = VariableArray("s", (), 0, 1, np.float64, 19)
    assert scalar.shape == () and scalar._map().tolist() == [19]
    assert column_of(scalar[()]) == 19


# Out-of-range positions would name another variable's column: refused with and without DEBUG.
@pytest.mark.parametrize("variable, item, text", [
    ("v", -1, "-1"),
    ("v", 5, "5"),
    ("v", [0, 5], "[0, 5]"),
    ("v", [-1], "[-1]"),
    ("v", np.array([1, 7]), "[1 7]"),
    ("v", [2**32 + 1], "[4294967297]"),
    ("v", [1.5], "[1.5]"),
    ("v", ["a"], "['a']"),
    ("v", [[1, 2]], "[[1, 2]]"),
    pytest.param("grid", 6, "6", marks=default_mode_only),
    ("grid", (2, 0), "2"),
    ("grid", (0, -1), "-1"),
    ("grid", (slice(None), 3), "3"),
])
def test_positions_outside_the_variable_are_refused(request, variable, item, text, logged):
    message = f"{text} is not a valid index"
    with pytest.raises(IndexError) as raised:
        request.getfixturevalue(variable)[item]
    assert str(raised.value) == message
    assert logged == [message]


@default_mode_only
def test_a_slice_cannot_reach_past_the_cells_of_an_empty_variable(width):
    empty = VariableArray("e", (3, 0), 0, 1, np.float64, 0)
    with pytest.raises(IndexError, match="is not a valid index"):
        empty[0:2]
    assert empty[0:0].num_constraints == 0


@pytest.mark.parametrize("item", [1.5, None, {}, "a", np.float64(1.0)])
def test_other_index_kinds_are_refused(v, item, logged):
    message = f"Undefined type {type(item)} for indexing"
    with pytest.raises(IndexError) as raised:
        v[item]
    assert str(raised.value) == message
    assert logged == [message]


def test_a_tuple_item_of_another_kind_is_refused_without_logging(grid, logged):
    with pytest.raises(ValueError) as raised:
        grid[0, [1, 2]]
    assert str(raised.value) == "Unsupported index type for multiindex: <class 'list'>"
    assert logged == []


def test_rows_are_as_wide_as_the_columns_created_when_indexing(v, monkeypatch):
    before = v[3]
    monkeypatch.setattr(VariableArray, "_total_created_variables", 24)
    after = v[3]
    assert after.linear_coefficients.shape[0] - before.linear_coefficients.shape[0] == 4
    assert (before + after).linear_coefficients.shape == (24,)
