"""Blocks of rows of the array interface: broadcasting, bounds, sum and dot."""

import numpy as np
import pytest
from scipy.sparse import csr_array

from vx_encoder._exceptions import FormulaError
from vx_encoder.linear_parser2 import dot, sumexp
from vx_encoder.linear_parser2._expression import LinearExpression, LinearExpressionsArr
from test_linear_array_support import default_mode_only, logged  # noqa: F401 (fixture)

BOUND_ALREADY_SET = "The expression already has one of the boundaries set."
SAME_NUMBER = "Expression smust have the same number of elements."


def cells(columns, width=6, constants=None):
    """One row per column, each with the coefficient 1 there, as indexing builds them."""
    columns = np.asarray(columns)
    matrix = csr_array((np.ones(columns.size), columns, np.arange(columns.size + 1)), shape=(columns.size, width))
    return LinearExpressionsArr(linear_coefficients=matrix, constants=constants, is_init=True)


def dense(block):
    return block.linear_coefficients.toarray()


@pytest.fixture
def a():
    return cells([0, 2, 2])


@pytest.fixture
def b():
    return LinearExpressionsArr(
        linear_coefficients=csr_array(np.array([[1.0, 0, 0, 0, 0, 2], [0, 0, 3, 0, 0, 0], [0, 1, 0, 0, 0, 0]])),
        constants=np.array([1.0, 2.0, 3.0]),
    )


def test_default_constants_are_one_zero_per_row():
    matrix = csr_array(np.array([[1.0, 0, 2, 0, 0], [0, 3, 0, 4, 0], [5, 0, 6, 0, 7]]))
    block = LinearExpressionsArr(linear_coefficients=matrix)
    assert block.num_constraints == 3
    np.testing.assert_array_equal(block.constants, [0, 0, 0])
    assert block.linear_coefficients is matrix
    assert block.lower_bounds is None and block.upper_bounds is None


class TestBroadcasting:
    def test_number_plus_block_then_sum(self, a):
        total = (a + 2).sum()
        assert total.constant == 6.0
        np.testing.assert_array_equal(total.linear_coefficients.toarray(), [1, 0, 2, 0, 0, 0])
        assert (2 + a).constants.tolist() == (a + 2).constants.tolist() == [2, 2, 2]
        assert (a + 2).linear_coefficients is a.linear_coefficients

    def test_subtraction_with_a_number_on_either_side(self, b):
        np.testing.assert_array_equal((3 - b).constants, [2, 1, 0])
        np.testing.assert_array_equal(dense(3 - b), -dense(b))
        np.testing.assert_array_equal((b - 3).constants, [-2, -1, 0])
        assert (b - 3).linear_coefficients is b.linear_coefficients

    def test_scaling_by_a_number(self, b):
        for result in (b * 2.5, 2.5 * b, np.float64(2.5) * b):
            np.testing.assert_array_equal(result.constants, [2.5, 5, 7.5])
            np.testing.assert_array_equal(dense(result), 2.5 * dense(b))

    def test_sum_and_difference_of_blocks(self, a, b):
        np.testing.assert_array_equal(dense(a + b), dense(a) + dense(b))
        np.testing.assert_array_equal(dense(a - b), dense(a) - dense(b))
        np.testing.assert_array_equal((a - b).constants, [-1, -2, -3])

    def test_row_wise_scaling_by_a_vector_from_either_side(self, b):
        weights = np.array([2.0, -1.0, 0.5])
        for result in (b * weights, weights * b):
            np.testing.assert_array_equal(result.constants, [2, -2, 1.5])
            np.testing.assert_array_equal(dense(result), weights[:, None] * dense(b))

    @default_mode_only
    def test_without_debug_a_one_entry_vector_scales_every_row(self, b):
        np.testing.assert_array_equal(dense(b * np.array([3.0])), 3 * dense(b))

    def test_blocks_of_different_widths_are_padded(self, b):
        narrow = cells([0, 1, 3], width=4)
        for result in (narrow + b, b + narrow, b - narrow):
            assert result.linear_coefficients.shape == (3, 6)
        np.testing.assert_array_equal(dense(b - narrow)[:, :4], dense(b)[:, :4] - dense(narrow))

    def test_chains_of_sums_and_differences_add_up_exactly(self):
        generator = np.random.default_rng(11)
        blocks = [LinearExpressionsArr(linear_coefficients=csr_array(generator.integers(-3, 4, size=(4, width)) * 1.0),
                                       constants=generator.normal(size=4))
                  for width in (3, 6, 5, 6, 2, 6, 4)]
        dense_of = [np.pad(dense(block), ((0, 0), (0, 6 - block.linear_coefficients.shape[1]))) for block in blocks]
        first, second, third, *rest = blocks
        inner = second - third  # subtracted below as a whole: its terms change sign
        chain = first - inner
        for block in rest:
            chain = chain + block
        shared = chain >= 0
        expected = dense_of[0] - (dense_of[1] - dense_of[2]) + sum(dense_of[3:])
        np.testing.assert_array_equal(dense(shared), expected)
        np.testing.assert_array_equal(dense(chain), expected)
        assert chain.linear_coefficients is shared.linear_coefficients  # added up once
        np.testing.assert_allclose(chain.constants, blocks[0].constants - inner.constants
                                   + sum(block.constants for block in rest))
        np.testing.assert_array_equal(dense(inner), dense_of[1] - dense_of[2])

    def test_chains_of_single_cell_blocks_add_up_exactly(self):
        terms = [cells([0, 1, 2]), cells([2, 1, 5]) * 2.0, cells([0, 3, 4], width=5),
                 cells([2, 2, 2]) * np.array([1.0, -1.0, 3.0])]
        chain = terms[0] + terms[1] - terms[2] - terms[3]
        expected = dense(terms[0]) + dense(terms[1]) - np.pad(dense(terms[2]), ((0, 0), (0, 1))) - dense(terms[3])
        np.testing.assert_array_equal(dense(chain), expected)
        assert chain.linear_coefficients.has_canonical_format  # no column twice in a row

    def test_coefficients_are_64_bit_floats(self):
        matrix = csr_array(np.array([[2, 0], [0, 3]], dtype=np.int32))
        block = LinearExpressionsArr(linear_coefficients=matrix) * 2**40
        assert block.linear_coefficients.dtype == np.float64
        assert dense(block)[1, 1] == 3 * 2**40

    @pytest.mark.parametrize("operation, message", [
        (lambda a: a + "x", "Type 'float', 'int' or 'LinearExpressionsArr' is expected for left side of expression"),
        (lambda a: "x" - a, "Type 'float', 'int' or 'LinearExpressionsArr' is expected for left side of expression"),
        (lambda a: a - [1, 2, 3], "Type 'float', 'int' or 'LinearExpressionsArr' is expected for left side of expression"),
        (lambda a: a * "x", "Type 'float' or 'int' is expected for left side of expression"),
        (lambda a: a + cells([1, 2]), SAME_NUMBER),
    ])
    def test_refused_operands(self, a, operation, message, logged):
        with pytest.raises((TypeError, FormulaError), match=f"^{message}$"):
            operation(a)
        assert logged == [message]

    def test_a_single_row_is_no_operand_of_a_block(self, a):
        with pytest.raises(TypeError):
            a + LinearExpression(linear_coefficients=csr_array(np.ones(6)))


class TestBounds:
    @pytest.mark.parametrize("build, lower, upper", [
        (lambda a: a >= 1, [1, 1, 1], None),
        (lambda a: a <= np.array([1, 2, 3]), None, [1, 2, 3]),
        (lambda a: 5 <= a, [5, 5, 5], None),
        (lambda a: (a <= 5) >= 1, [1, 1, 1], [5, 5, 5]),
        (lambda a: (a >= 1) <= 5, [1, 1, 1], [5, 5, 5]),
        (lambda a: a == [1, 2, 3], [1, 2, 3], [1, 2, 3]),
    ])
    def test_comparisons_set_bound_vectors(self, a, build, lower, upper):
        bounded = build(a)
        for got, expected in ((bounded.lower_bounds, lower), (bounded.upper_bounds, upper)):
            if expected is None:
                assert got is None
            else:
                np.testing.assert_array_equal(got, expected)
        assert bounded.linear_coefficients is a.linear_coefficients
        assert bounded.constants is a.constants

    def test_equality_shares_one_bound_vector(self, a):
        bounded = a == 4
        assert bounded.lower_bounds is bounded.upper_bounds
        np.testing.assert_array_equal(bounded.lower_bounds, [4, 4, 4])

    def test_fractional_bounds_over_integer_constants_are_not_cut(self):
        block = cells([0, 1], constants=np.zeros(2, dtype=np.int32))
        assert (block >= 2.5).lower_bounds.tolist() == [2.5, 2.5]
        assert (block <= np.array([1.5, 2.5])).upper_bounds.tolist() == [1.5, 2.5]

    def test_comparison_with_a_block_bounds_the_difference(self, a, b):
        bounded = a <= b
        np.testing.assert_array_equal(dense(bounded), dense(a - b))
        np.testing.assert_array_equal(bounded.constants, (a - b).constants)
        np.testing.assert_array_equal(bounded.upper_bounds, [0, 0, 0])

    @pytest.mark.parametrize("build, error, message", [
        (lambda a: (a >= 1) >= 2, FormulaError, "The expression already has a lower bounds set."),
        (lambda a: (a == 1) <= 2, FormulaError, "The expression already has a upper bounds set."),
        (lambda a: (a <= 1) == 2, FormulaError, BOUND_ALREADY_SET),
        (lambda a: a == np.array([1.0, 2.0]), FormulaError, "The size of the border must match the number of constraints."),
        (lambda a: a >= "low", TypeError, "Type 'float', 'int', 'np.ndarray' or 'LinearExpressionsArr' is expected for a bound"),
    ])
    def test_refused_bounds(self, a, build, error, message, logged):
        with pytest.raises(error, match=f"^{message}$"):
            build(a)
        assert logged == [message]

    @pytest.mark.parametrize("operation", [
        lambda bounded, a: bounded + 1, lambda bounded, a: 1 - bounded, lambda bounded, a: bounded * 2,
        lambda bounded, a: bounded + a, lambda bounded, a: a + bounded, lambda bounded, a: a - bounded,
        lambda bounded, a: bounded.sum(), lambda bounded, a: bounded.dot(np.ones(3)),
        lambda bounded, a: dot(np.ones(3), bounded),
    ])
    def test_bounded_blocks_are_refused_rather_than_losing_their_bounds(self, a, operation):
        with pytest.raises(FormulaError, match=f"^{BOUND_ALREADY_SET}$"):
            operation(a >= 1, a)

    def test_a_chained_comparison_is_refused(self, a):
        with pytest.raises(TypeError, match="chained comparison"):
            1 <= a <= 5


class TestReductions:
    def test_sum_adds_the_rows(self, b):
        total = sumexp(b)
        assert isinstance(total, LinearExpression)
        assert total.constant == 6.0
        np.testing.assert_array_equal(total.linear_coefficients.toarray(), dense(b).sum(axis=0))
        assert total.linear_coefficients.shape == (6,)

    def test_sum_of_derived_and_indexed_blocks_agree(self, a, b):
        derived = (a + b) - b
        np.testing.assert_array_equal(derived.sum().linear_coefficients.toarray(),
                                      a.sum().linear_coefficients.toarray())

    def test_dot_weights_rows_and_constants_in_either_order(self, b):
        weights = np.array([2.0, 0.0, -1.0])
        for result in (b.dot(weights), dot(b, weights), dot(weights, b)):
            assert result.constant == pytest.approx(2 * 1 - 3)
            np.testing.assert_array_equal(result.linear_coefficients.toarray(), weights @ dense(b))
            assert result.lower_bound is None and result.upper_bound is None

    def test_a_weight_vector_of_another_length_is_refused(self, b):
        with pytest.raises(ValueError):
            b.dot(np.ones(2))
