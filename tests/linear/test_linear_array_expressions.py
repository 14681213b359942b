"""One-row expressions of the array interface: arithmetic, products, bounds."""

import numpy as np
import pytest
from scipy.sparse import csc_array, csr_array

from vx_encoder._exceptions import FormulaError
from vx_encoder.linear_parser2._expression import LinearExpression, LinearExpressionsArr
from test_linear_array_support import logged  # noqa: F401 (fixture)

BOUNDED_OPERATION = "Operations with expressions with defined boundaries are not allowed."


def row(width, entries):
    """A 1-D CSR row of `width` columns from {column: value}."""
    columns = np.array(sorted(entries), dtype=np.int32)
    values = np.array([entries[c] for c in sorted(entries)], dtype=np.float64)
    return csr_array((values, columns, np.array([0, len(columns)])), shape=(width,))


def expr(entries, constant=0.0, width=4, **kwargs):
    return LinearExpression(linear_coefficients=row(width, entries), constant=constant, **kwargs)


def dense(expression):
    return expression.linear_coefficients.toarray()


def value(expression, x):
    """constant + row·x + xᵀQx."""
    total = expression.constant + dense(expression) @ x[: expression.linear_coefficients.shape[0]]
    if expression.quadratic_coefficients is not None:
        q = expression.quadratic_coefficients.toarray()
        total += x[: q.shape[0]] @ q @ x[: q.shape[0]]
    return total


@pytest.fixture
def e():
    return expr({0: 1.0, 2: 3.0}, constant=2.0)


@pytest.fixture
def f():
    return expr({1: 2.0, 2: -1.0}, constant=3.0)


class TestArithmeticWithNumbers:
    @pytest.mark.parametrize("operation, constant", [
        (lambda e: e + 0, 2.0), (lambda e: e - 0, 2.0), (lambda e: 0 + e, 2.0),
        (lambda e: e + 1.5, 3.5), (lambda e: e - 5, -3.0), (lambda e: e + True, 3.0),
        (lambda e: np.float64(1) + e, 3.0),
    ])
    def test_shifting_the_constant_shares_the_row(self, e, operation, constant):
        result = operation(e)
        assert result.linear_coefficients is e.linear_coefficients
        assert result.constant == constant
        assert result.lower_bound is None and result.upper_bound is None

    def test_number_minus_expression_negates_row_and_quadratic_part(self, e, f):
        squared = e * f
        result = 5 - squared
        assert result.constant == 5 - squared.constant
        np.testing.assert_array_equal(dense(result), -dense(squared))
        np.testing.assert_array_equal(result.quadratic_coefficients.toarray(),
                                      -squared.quadratic_coefficients.toarray())
        assert squared.constant == 6.0  # the operand is unchanged

    @pytest.mark.parametrize("factor", [2, 2.5, np.int64(3), np.float32(0.5), True])
    def test_scaling_from_either_side(self, e, factor):
        for result in (e * factor, factor * e):
            assert result.constant == 2.0 * factor
            np.testing.assert_array_equal(dense(result), dense(e) * factor)

    def test_scaling_a_quadratic_expression_scales_its_quadratic_part(self, e):
        result = (e * e) * 3
        np.testing.assert_allclose(result.quadratic_coefficients.toarray(),
                                   3 * np.outer(dense(e), dense(e)))
        assert isinstance(result.quadratic_coefficients, csc_array)

    def test_host_sum_of_expressions_is_their_left_to_right_sum(self, e, f):
        g = expr({3: 4.0}, constant=-1.0)
        total = sum([e, f, g])
        expected = (e + f) + g
        assert total.constant == expected.constant == 4.0
        np.testing.assert_array_equal(dense(total), dense(expected))

    def test_coefficients_are_64_bit_floats_and_scaling_does_not_overflow(self):
        narrow = csr_array((np.array([7], dtype=np.int32), np.array([1]), np.array([0, 1])), shape=(3,))
        scaled = LinearExpression(linear_coefficients=narrow) * 2**40
        assert scaled.linear_coefficients.dtype == np.float64
        assert scaled.linear_coefficients.toarray()[1] == 7 * 2**40


class TestArithmeticOfExpressions:
    def test_sum_and_difference(self, e, f):
        np.testing.assert_array_equal(dense(e + f), [1, 2, 2, 0])
        np.testing.assert_array_equal(dense(e - f), [1, -2, 4, 0])
        assert (e + f).constant == 5.0 and (e - f).constant == -1.0
        assert (e - f).quadratic_coefficients is None

    def test_quadratic_part_of_one_operand_passes_to_sum_and_difference(self, e, f):
        g = f * f
        assert (e + g).quadratic_coefficients is g.quadratic_coefficients
        np.testing.assert_array_equal((e - g).quadratic_coefficients.toarray(),
                                      -g.quadratic_coefficients.toarray())
        assert (g - e).quadratic_coefficients is g.quadratic_coefficients
        both = g + e * e
        np.testing.assert_allclose(both.quadratic_coefficients.toarray(),
                                   g.quadratic_coefficients.toarray() + np.outer(dense(e), dense(e)))

    def test_product_has_the_value_of_the_product_of_values(self, e, f):
        product = e * f
        assert product.constant == 6.0
        np.testing.assert_array_equal(dense(product), 3 * dense(e) + 2 * dense(f))
        q = product.quadratic_coefficients
        assert isinstance(q, csc_array)
        np.testing.assert_array_equal(q.toarray(), q.toarray().T)
        for x in np.random.default_rng(3).normal(size=(5, 4)):
            assert value(product, x) == pytest.approx(value(e, x) * value(f, x))

    def test_square_of_an_expression(self, e):
        square = e * e
        assert square.constant == 4.0
        np.testing.assert_array_equal(dense(square), 4 * dense(e))
        np.testing.assert_array_equal(square.quadratic_coefficients.toarray(), np.outer(dense(e), dense(e)))

    def test_product_with_a_quadratic_expression_is_refused(self, e, f, logged):
        message = "Creating a quadratic expression is only available for linear expressions"
        for left, right in ((e * f, e), (e, e * f)):
            with pytest.raises(ValueError, match=f"^{message}$"):
                left * right
        assert logged == [message, message]

    def test_bounded_operand_is_reported_before_the_quadratic_part(self, e, f):
        with pytest.raises(FormulaError, match=f"^{BOUNDED_OPERATION}$"):
            (e * f) * (f >= 1)

    def test_rows_of_different_widths_are_padded(self):
        narrow = expr({1: 2.0}, width=3)
        wide = expr({5: 1.0}, width=8)
        for result in (narrow + wide, wide + narrow, narrow - wide):
            assert result.linear_coefficients.shape == (8,)
        np.testing.assert_array_equal(dense(narrow - wide), [0, 2, 0, 0, 0, -1, 0, 0])
        product = narrow * wide
        assert product.quadratic_coefficients.shape == (8, 8)
        assert product.quadratic_coefficients.toarray()[1, 5] == 1.0
        mixed = narrow * narrow + wide * wide
        assert mixed.quadratic_coefficients.shape == (8, 8)
        assert mixed.quadratic_coefficients.toarray()[1, 1] == 4.0


class TestRefusedOperands:
    @pytest.mark.parametrize("operand", ["a", np.array(1.0), np.array([1.0, 2.0]), None, 1j])
    @pytest.mark.parametrize("operation", [
        lambda e, o: e + o, lambda e, o: o + e, lambda e, o: e - o, lambda e, o: o - e,
        lambda e, o: e * o, lambda e, o: o * e,
    ])
    def test_other_types_are_refused_with_one_logged_message(self, e, operand, operation, logged):
        message = "Type 'float', 'int' or 'LinearExpression' is expected for left side of expression"
        with pytest.raises(TypeError, match=f"^{message}$"):
            operation(e, operand)
        assert logged == [message]

    def test_an_expression_array_is_not_an_operand(self, e):
        block = LinearExpressionsArr(linear_coefficients=csr_array(np.eye(2, 4)))
        with pytest.raises(TypeError):
            e + block

    @pytest.mark.parametrize("operation", [
        lambda b, e: b + e, lambda b, e: e + b, lambda b, e: b - 1, lambda b, e: 1 - b,
        lambda b, e: e - b, lambda b, e: b * 2, lambda b, e: e * b, lambda b, e: b + "text",
    ])
    def test_bounded_expressions_take_part_in_no_arithmetic(self, e, operation):
        with pytest.raises(FormulaError, match=f"^{BOUNDED_OPERATION}$"):
            operation(e >= 1, e)


class TestBounds:
    @pytest.mark.parametrize("build, lower, upper", [
        (lambda e: e == 3, 3, 3),
        (lambda e: e >= 1, 1, None),
        (lambda e: e <= 5, None, 5),
        (lambda e: 1 <= e, 1, None),
        (lambda e: 5 >= e, None, 5),
        (lambda e: 4 == e, 4, 4),
        (lambda e: e >= 0, 0, None),
        # Both bounds are kept, whichever comes first.
        (lambda e: (e <= 5) >= 1, 1, 5),
        (lambda e: (e >= 1) <= 5, 1, 5),
        (lambda e: e <= 2.5, None, 2.5),
    ])
    def test_comparisons_set_bounds_and_share_the_parts(self, e, build, lower, upper):
        bounded = build(e)
        assert (bounded.lower_bound, bounded.upper_bound) == (lower, upper)
        assert bounded.linear_coefficients is e.linear_coefficients
        assert bounded.constant == e.constant
        assert e.lower_bound is None and e.upper_bound is None

    @pytest.mark.parametrize("build, message", [
        (lambda e: (e >= 1) >= 2, "The expression already has a lower bound set."),
        (lambda e: (e >= 0) >= 1, "The expression already has a lower bound set."),
        (lambda e: (e == 3) <= 4, "The expression already has a upper bound set."),
        (lambda e: (e <= 3) <= 4, "The expression already has a upper bound set."),
        (lambda e: (e >= 1) == 2, "The expression already has one of the boundaries set."),
        (lambda e: ((e >= 1) <= 5) >= 0, "The expression already has a lower bound set."),
    ])
    def test_a_bound_is_set_once(self, e, build, message, logged):
        with pytest.raises(FormulaError, match=f"^{message}$"):
            build(e)
        assert logged == [message]

    @pytest.mark.parametrize("compare, lower, upper", [
        (lambda e, f: e == f, 0, 0), (lambda e, f: e <= f, None, 0), (lambda e, f: e >= f, 0, None),
    ])
    def test_comparison_with_an_expression_bounds_the_difference(self, e, f, compare, lower, upper):
        bounded = compare(e, f)
        difference = e - f
        assert (bounded.lower_bound, bounded.upper_bound) == (lower, upper)
        assert bounded.constant == difference.constant
        np.testing.assert_array_equal(dense(bounded), dense(difference))

    @pytest.mark.parametrize("bound", ["5", None, np.array([1.0]), [1]])
    def test_a_bound_that_is_no_number_is_refused(self, e, bound):
        with pytest.raises(TypeError, match="is expected for a bound"):
            e <= bound

    def test_a_chained_comparison_is_refused_instead_of_keeping_one_side(self, e, logged):
        with pytest.raises(TypeError, match=r"write \(expression <= upper\) >= lower"):
            1 <= e <= 5
        assert len(logged) == 1
        with pytest.raises(TypeError):
            e != 3
        assert bool(e)

    def test_expressions_are_not_hashable(self, e):
        with pytest.raises(TypeError):
            {e}
