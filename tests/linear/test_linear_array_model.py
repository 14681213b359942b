"""The array model: variables, constraints and the objective, checked against known optima."""

import numpy as np
import pytest
from scipy.sparse import csc_array, csr_array

import halvex.kelvo_engine.linsolver as linsolver
from vx_encoder._exceptions import BuildError, FormulaError, VariableError
from vx_encoder.linear_parser2 import LinearModel, SolutionStatus, VariableType, dot, inf, sumexp
from vx_encoder.linear_parser2._expression import LinearExpression
from vx_encoder.linear_parser2.variable import VariableArray
from test_linear_array_support import RecordingSolver as Recording, logged  # noqa: F401 (fixture)


@pytest.fixture
def model():
    return LinearModel()


@pytest.fixture
def recorded(model):
    model._linsolver_model = Recording(model._linsolver_model)
    return model._linsolver_model


def solved(model, target, minimization=True):
    model.add_target(target, minimization)
    assert model.solve(is_feasible=True) == SolutionStatus.OPTIMAL
    return model


class TestConstruction:
    def test_options_reach_the_solver_in_the_order_written(self, monkeypatch):
        made = []
        real = linsolver.LinearSolver
        monkeypatch.setattr(linsolver, "LinearSolver", lambda: made.append(Recording(real())) or made[-1])
        LinearModel(log_solver=True, time_limit=5.0, threads=1)
        assert made[0].calls == [
            ("setOptionValue", ("log_to_console", True)),
            ("setOptionValue", ("time_limit", 5.0)),
            ("setOptionValue", ("threads", 1)),
        ]

    def test_an_unknown_option_is_the_solvers_error(self):
        with pytest.raises(ValueError, match="unknown solver option"):
            LinearModel(no_such_option=1)


class TestVariables:
    def test_dimensions_give_the_shape_in_the_order_written_and_columns_follow_on(self, model):
        total = VariableArray._total_created_variables
        first = model.get_variable("first", VariableType.REAL, i=2, j=3)
        second = model.get_variable("second", VariableType.REAL, j=3, i=2)
        scalar = model.get_variable("scalar", VariableType.REAL)
        assert (first.shape, second.shape, scalar.shape) == ((2, 3), (3, 2), ())
        assert first._map().tolist() == list(range(0, 6))
        assert second._map().tolist() == list(range(6, 12))
        assert scalar._map().tolist() == [12]
        assert model._general_shift_variables == 13
        assert VariableArray._total_created_variables == total + 13
        assert first.lower_bound == -inf and first.upper_bound == inf

    def test_a_dimension_of_zero_takes_the_name_and_no_column(self, model):
        total = VariableArray._total_created_variables
        empty = model.get_variable("empty", VariableType.INTEGER, i=0)
        assert empty.shape == (0,) and empty._map().size == 0
        assert model._general_shift_variables == 0
        assert VariableArray._total_created_variables == total
        with pytest.raises(VariableError):
            model.get_variable("empty", VariableType.REAL)

    @pytest.mark.parametrize("name", ["", "1x", "a-b", "a b", None, 0])
    def test_names_that_are_not_identifiers_are_refused(self, model, name, logged):
        message = "Linear variable must have a non-empty name containing only letters"
        with pytest.raises(ValueError, match=f"^{message}$"):
            model.get_variable(name, VariableType.REAL)
        assert logged == [message]

    @pytest.mark.parametrize("name", ["_x1", "größe", "class"])
    def test_identifiers_are_accepted(self, model, name):
        assert model.get_variable(name, VariableType.REAL).name == name

    def test_a_name_is_taken_by_a_variable_and_not_by_a_refused_call(self, model, logged):
        model.get_variable("x", VariableType.REAL)
        with pytest.raises(VariableError, match="^Linear variable named x is already in use$"):
            model.get_variable("x", VariableType.REAL)
        with pytest.raises(ValueError, match="^Invalid variable format$"):
            model.get_variable("y", 2)
        assert logged == ["Linear variable named x is already in use", "Invalid variable format"]
        assert list(model._variables) == ["x"] and model._general_shift_variables == 1
        assert model.get_variable("y", VariableType.REAL)._map().tolist() == [1]

    def test_binary_variables_ignore_the_given_bounds(self, model):
        flags = model.get_variable("flags", VariableType.BINARY, -5, 5, i=3)
        assert (flags.lower_bound, flags.upper_bound, flags.type) == (0, 1, np.int32)
        solved(model, sumexp(flags[:]), minimization=False)
        assert model.get_result("flags").tolist() == [1, 1, 1]
        assert model.objective_value == pytest.approx(3)

    def test_integer_variables_take_integer_values(self, model):
        x = model.get_variable("x", VariableType.INTEGER, 0, 100, i=1)
        model.add_constraint(2 * x[0] <= 7)
        solved(model, x[0], minimization=False)
        assert model.get_result("x").dtype == np.int32
        assert model.get_result("x") == 3

    @pytest.mark.parametrize("sizes", [{"i": -1, "j": -1}, {"i": -2}, {"i": 2.0}, {"i": True}, {"i": "3"}])
    def test_sizes_that_are_not_non_negative_integers_are_refused_before_anything_is_made(self, model, sizes,
                                                                                         logged):
        total = VariableArray._total_created_variables
        with pytest.raises(ValueError, match="must have a non-negative integer size"):
            model.get_variable("x", VariableType.REAL, **sizes)
        assert len(logged) == 1
        assert model._variables == {} and model._general_shift_variables == 0
        assert VariableArray._total_created_variables == total
        assert model.get_variable("x", VariableType.REAL, i=2).shape == (2,)  # the name was not taken

    @pytest.mark.parametrize("bounds, optimum, element_type", [
        ((0, 10**10), 10**10, np.int64),
        ((-(2**40), 0), -(2**40), np.int64),
        ((-inf, 10**10), 10**10, np.int64),  # an open side: the values decide
        ((-inf, 7), 7, np.int32),
    ])
    def test_integer_results_beyond_32_bits_do_not_wrap(self, model, bounds, optimum, element_type):
        x = model.get_variable("x", VariableType.INTEGER, *bounds, i=1)
        solved(model, x[0], minimization=optimum < 0)
        result = model.get_result("x")
        assert result.dtype == element_type and result.tolist() == [optimum]

    def test_real_variables_take_fractional_values(self, model):
        x = model.get_variable("x", VariableType.REAL, 0, 100, i=1)
        model.add_constraint(2 * x[0] <= 7)
        solved(model, x[0], minimization=False)
        assert model.get_result("x") == pytest.approx(3.5)

    def test_columns_stay_numbered_like_the_solvers_after_a_failed_variable(self, model, recorded):
        def refused(*args):
            raise linsolver.LinsolverError("HiGHS refused changeColsIntegrality")

        real_marking = recorded._solver.changeColsIntegrality
        recorded._solver.changeColsIntegrality = refused
        with pytest.raises(linsolver.LinsolverError):
            model.get_variable("lost", VariableType.INTEGER, 0, 5, i=3)
        recorded._solver.changeColsIntegrality = real_marking
        x = model.get_variable("x", VariableType.INTEGER, 0, 5, i=2)
        assert x._map().tolist() == [3, 4] and model._variables.keys() == {"x"}
        assert model._general_shift_variables == recorded.num_columns == 5
        solved(model, sumexp(x[:]), minimization=False)
        assert model.get_result("x").tolist() == [5, 5]

    def test_each_model_numbers_its_columns_from_zero(self):
        first, second = LinearModel(), LinearModel()
        total = VariableArray._total_created_variables
        a = first.get_variable("a", VariableType.REAL, i=4)
        b = second.get_variable("b", VariableType.REAL, i=3)
        assert a._map().tolist() == [0, 1, 2, 3] and b._map().tolist() == [0, 1, 2]
        assert VariableArray._total_created_variables == total + 7


class TestConstraints:
    @pytest.fixture
    def x(self, model):
        return model.get_variable("x", VariableType.REAL, -100, 100, i=1)

    @pytest.mark.parametrize("constraint, keywords, minimization, optimum", [
        (lambda x: x[0] + 2 <= 10, {}, False, 8),
        (lambda x: x[0] + 2 >= 10, {}, True, 8),
        (lambda x: x[0] <= 10, {"lower_bound": 2}, True, 2),
        (lambda x: x[0] <= 10, {"lower_bound": 2}, False, 10),
        (lambda x: x[0] + 1, {"equation_bound": 5}, False, 4),
        (lambda x: x[0] + 1, {"upper_bound": 0}, False, -1),
        (lambda x: (x[0] <= 5) >= 1, {}, True, 1),
        (lambda x: (x[0] <= 5) >= 1, {}, False, 5),
        (lambda x: 3 * x[0] == x[0] + 4, {}, True, 2),
    ])
    def test_rows_bound_the_expression_less_its_constant(self, model, x, constraint, keywords, minimization,
                                                         optimum):
        model.add_constraint(constraint(x), **keywords)
        solved(model, x[0], minimization)
        assert model.get_result("x") == pytest.approx(optimum)

    @pytest.mark.parametrize("constraint, keywords", [
        (lambda x: x[0] >= 1, {"lower_bound": 0}),
        (lambda x: x[0] <= 1, {"upper_bound": 2}),
        (lambda x: x[0] == 1, {"equation_bound": 5}),
        (lambda x: x[0] <= 1, {"equation_bound": 5}),
    ])
    def test_a_side_bounded_by_the_expression_and_an_argument_is_refused_unlogged(
            self, model, x, recorded, constraint, keywords, logged):
        with pytest.raises(ValueError, match="^The border is set twice$"):
            model.add_constraint(constraint(x), **keywords)
        assert logged == [] and recorded.named("addRow") == []

    @pytest.mark.parametrize("keywords", [{"lower_bound": 1}, {"upper_bound": 1}])
    def test_an_equation_bound_beside_another_bound_is_refused(self, model, x, recorded, keywords, logged):
        with pytest.raises(BuildError, match="^The border is set twice$"):
            model.add_constraint(x[0], equation_bound=5, **keywords)
        with pytest.raises(BuildError, match="^The border is set twice$"):
            model.add_constraints(x[[0]], equation_bounds=np.array([5.0]),
                                  **{key + "s": np.array([value]) for key, value in keywords.items()})
        assert logged == ["The border is set twice"] * 2
        assert recorded.named("addRow") == [] and recorded.named("addRows") == []

    def test_an_unbounded_row_is_sent_with_infinite_bounds(self, model, x, recorded):
        model.add_constraint(x[0] + 2)
        assert recorded.named("addRow")[0][:2] == (-inf, inf)

    def test_a_block_of_rows_is_one_solver_call(self, model, recorded):
        y = model.get_variable("y", VariableType.INTEGER, 0, 10, i=3)
        model.add_constraints(y[:] <= np.array([3, 4, 5]))
        (call,) = recorded.named("addRows")
        count, lower, upper, nnz, starts, indices, values = call
        assert (count, nnz) == (3, 3)
        assert lower.dtype == np.float64 and np.isneginf(lower).all()
        assert upper.tolist() == [3, 4, 5]
        assert starts.tolist() == [0, 1, 2, 3] and indices.tolist() == [0, 1, 2]

    def test_fractional_bounds_of_integer_rows_are_kept(self, model):
        y = model.get_variable("y", VariableType.INTEGER, 0, 10, i=3)
        model.add_constraints(y[:] >= 2.5)
        solved(model, sumexp(y[:]))
        assert model.get_result("y").tolist() == [3, 3, 3]

    def test_bounds_of_a_block_from_argument_and_expression(self, model):
        y = model.get_variable("y", VariableType.REAL, -10, 10, i=3)
        model.add_constraints(y[:] + 1 <= np.array([2.0, 3.0, 4.0]), lower_bounds=np.array([0.0, 0.0, 2.0]))
        solved(model, sumexp(y[:]), minimization=False)
        np.testing.assert_allclose(model.get_result("y"), [1, 2, 3])
        solved(model, sumexp(y[:]), minimization=True)
        np.testing.assert_allclose(model.get_result("y"), [-1, -1, 1])

    def test_equation_bounds_are_copied_not_written(self, model):
        y = model.get_variable("y", VariableType.REAL, -10, 10, i=2, j=2)
        wanted = np.array([1.0, 2.0, 3.0, 4.0])
        model.add_constraints(y[:, :] - 1, equation_bounds=wanted)
        solved(model, sumexp(y[:, :]))
        np.testing.assert_allclose(model.get_result("y"), [[2, 3], [4, 5]])
        assert wanted.tolist() == [1, 2, 3, 4]

    @pytest.mark.parametrize("constraint", [
        lambda x: x[0] * x[1] <= 1,
        lambda x: x[0] * x[0] + x[1] >= 3,
        lambda x: 2 * (x[0] * x[1]) - x[1] == 0,
    ])
    def test_a_quadratic_part_in_a_constraint_is_refused(self, model, recorded, constraint, logged):
        x = model.get_variable("x", VariableType.REAL, 0, 10, i=2)
        with pytest.raises(FormulaError, match="must be linear"):
            model.add_constraint(constraint(x))
        assert len(logged) == 1 and recorded.named("addRow") == []

    @pytest.mark.parametrize("add", [
        lambda model, x, y: model.add_constraint(x[0] + y[1] <= 1),
        lambda model, x, y: model.add_constraint(y[0] <= 1),
        lambda model, x, y: model.add_constraints(x[:] - y[:] <= 1),
        lambda model, x, y: model.add_constraint(dot(np.array([1.0, 2.0]), x[:]) + y[0] >= 0),
        lambda model, x, y: model.add_target(dot(np.ones(2), y[:]), True),
    ])
    def test_rows_of_another_models_variables_are_refused(self, model, recorded, add, logged):
        other = LinearModel()
        y = other.get_variable("y", VariableType.REAL, 0, 10, i=2)
        x = model.get_variable("x", VariableType.REAL, 0, 10, i=2)
        with pytest.raises(ValueError, match=r"another model \(y\); this model's variables are: x"):
            add(model, x, y)
        assert len(logged) == 1
        assert {name for name, _ in recorded.calls} <= {"addVars", "changeObjectiveSense"}

    def test_equation_bounds_must_be_an_array(self, model):
        y = model.get_variable("y", VariableType.REAL, i=2)
        with pytest.raises(AttributeError):
            model.add_constraints(y[:], equation_bounds=5)

    def test_rows_built_before_a_later_variable_combine_with_rows_after_it(self, model):
        x = model.get_variable("x", VariableType.REAL, 0, 10, i=3)
        early_row, early_block = x[0], x[:]
        y = model.get_variable("y", VariableType.REAL, 0, 10, i=3)
        assert early_row.linear_coefficients.shape[0] < y[0].linear_coefficients.shape[0]
        model.add_constraint(early_row + y[0] <= 4)
        model.add_constraints(early_block - y[:] == 1)
        solved(model, sumexp(y[:]), minimization=False)
        assert model.get_result("y") == pytest.approx([1.5, 9, 9])
        assert model.get_result("x") == pytest.approx([2.5, 10, 10])

    def test_hand_built_rows_with_repeated_columns_are_added_up(self, model):
        x = model.get_variable("x", VariableType.REAL, 0, 10, i=1)
        width = VariableArray._total_created_variables
        repeated = csr_array((np.array([1.0, 1.0]), np.array([0, 0]), np.array([0, 2])), shape=(width,))
        model.add_constraint(LinearExpression(linear_coefficients=repeated) <= 3)
        solved(model, x[0], minimization=False)
        assert model.get_result("x") == pytest.approx(1.5)


class TestObjective:
    def test_a_quadratic_objective_has_the_weight_written(self, model):
        x = model.get_variable("x", VariableType.REAL, -10, 10, i=1)
        solved(model, (x[0] - 1) * (x[0] - 1))
        assert model.get_result("x") == pytest.approx(1, abs=1e-5)
        assert model.objective_value == pytest.approx(0, abs=1e-6)  # (x - 1)², its constant 1 included

    @pytest.mark.parametrize("first", [
        lambda x: x[0] * x[0] + 5 * x[1] + 100,
        lambda x: 10 * x[1] - 3,
        lambda x: sumexp(x[:]) * 2,
    ])
    def test_a_second_target_replaces_the_whole_objective(self, model, first):
        x = model.get_variable("x", VariableType.REAL, -2, 3, i=2)
        model.add_target(first(x), True)
        solved(model, x[0] + 7, minimization=False)  # max x0 + 7: x1 has no part in it any more
        assert model.get_result("x")[0] == pytest.approx(3)
        assert model.objective_value == pytest.approx(10)

    def test_a_quadratic_objective_with_a_cross_term(self, model):
        z = model.get_variable("z", VariableType.REAL, -10, 10, i=2)
        solved(model, z[0] * z[0] + z[1] * z[1] + z[0] * z[1] - 3 * z[0])
        assert model.get_result("z") == pytest.approx([2, -1], abs=1e-5)
        assert model.objective_value == pytest.approx(-3, abs=1e-6)

    def test_maximising_a_concave_objective(self, model):
        x = model.get_variable("x", VariableType.REAL, -10, 10, i=1)
        solved(model, 4 * x[0] - x[0] * x[0], minimization=False)
        assert model.get_result("x") == pytest.approx(2, abs=1e-5)
        assert model.objective_value == pytest.approx(4, abs=1e-6)

    @pytest.mark.parametrize("minimization, optimum", [(True, -3), (1, -3), (None, 3), (0, 3), (False, 3)])
    def test_the_direction_follows_the_truth_of_minimization(self, model, minimization, optimum):
        x = model.get_variable("x", VariableType.REAL, -3, 3, i=1)
        solved(model, x[0] + 5, minimization)
        assert model.get_result("x") == pytest.approx(optimum)

    def test_a_variable_created_after_the_product(self, model, monkeypatch):
        monkeypatch.setattr(VariableArray, "_total_created_variables", 0)  # as in a fresh process
        x = model.get_variable("x", VariableType.REAL, -10, 10, i=1)
        square = x[0] * x[0]
        y = model.get_variable("y", VariableType.REAL, 1, 10, i=2)
        assert square.quadratic_coefficients.shape[0] < model._general_shift_variables
        solved(model, square - 4 * x[0] + sumexp(y[:]))
        assert model.get_result("x") == pytest.approx(2, abs=1e-5)
        assert model.get_result("y") == pytest.approx([1, 1])

    def test_a_quadratic_part_wider_than_the_model(self):
        crowded = LinearModel()
        crowded.get_variable("elsewhere", VariableType.REAL, i=10)
        model = LinearModel()
        x = model.get_variable("x", VariableType.REAL, -10, 10, i=1)
        square = x[0] * x[0]
        assert square.quadratic_coefficients.shape[0] > model._general_shift_variables
        solved(model, square - 2 * x[0])
        assert model.get_result("x") == pytest.approx(1, abs=1e-5)

    def test_quadratic_entries_beyond_the_models_columns_are_refused(self, model, recorded, logged):
        x = model.get_variable("x", VariableType.REAL, -10, 10, i=2)
        width = VariableArray._total_created_variables
        square = csc_array((np.array([1.0]), np.array([2]), np.array([0, 0, 0, 1] + [1] * (width - 3))),
                           shape=(width, width))
        target = LinearExpression(linear_coefficients=x[0].linear_coefficients, quadratic_coefficients=square)
        with pytest.raises(BuildError, match="beyond the model's 2 columns"):
            model.add_target(target, True)
        assert len(logged) == 1
        assert recorded.named("changeColsCost") == [] and recorded.named("passHessian") == []

    def test_the_hessian_is_as_wide_as_the_model(self, model, recorded):
        x = model.get_variable("x", VariableType.REAL, i=3)
        model.add_target(x[0] * x[1], True)
        (call,) = recorded.named("passHessian")
        dim, nnz, kind, starts, rows, values = call
        assert (dim, nnz, kind) == (3, 2, linsolver.HessianFormat.kTriangular)
        assert starts.tolist() == [0, 1, 2, 2] and rows.tolist() == [1, 0] and values.tolist() == [1, 1]

    def test_a_linear_target_sends_no_hessian(self, model, recorded):
        x = model.get_variable("x", VariableType.REAL, i=3)
        model.add_target((sumexp(x[:]) + 4) >= 1, False)
        assert recorded.named("passHessian") == []
        assert [args[0] for args in recorded.named("changeObjectiveSense")] == [linsolver.ObjSense.kMaximize]
        ((nnz, columns, costs),) = recorded.named("changeColsCost")
        assert nnz == 3 and columns.tolist() == [0, 1, 2] and costs.tolist() == [1, 1, 1]


@pytest.mark.parametrize("seed", range(4))
def test_random_programs_reach_the_optimum_of_an_independent_solver(seed):
    from scipy.optimize import linprog

    generator = np.random.default_rng(seed)
    rows, columns = 5, 6
    matrix = generator.integers(-3, 4, size=(rows, columns)).astype(float)
    limits = generator.uniform(1, 10, size=rows)
    costs = generator.normal(size=columns)
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, -5, 5, i=columns)
    # Column j of the block: x[j] in every row, weighted by matrix[:, j].
    block = x[[0] * rows] * matrix[:, 0]
    for j in range(1, columns):
        block = block + x[[j] * rows] * matrix[:, j]
    model.add_constraints((block + 2.5) <= limits)
    model.add_target(dot(costs, x[:]) + 3.0, True)
    assert model.solve(is_feasible=True) == SolutionStatus.OPTIMAL
    expected = linprog(costs, A_ub=matrix, b_ub=limits - 2.5, bounds=[(-5, 5)] * columns)
    assert expected.status == 0
    assert model.objective_value == pytest.approx(expected.fun + 3.0, abs=1e-7)
    assert (matrix @ model.get_result("x") + 2.5 <= limits + 1e-7).all()
