"""Solving the array model: outcomes, results, start values and model files."""

import numpy as np
import pytest

import halvex.kelvo_engine.linsolver as linsolver
from vx_encoder._exceptions import SolverError
from vx_encoder.linear_parser2 import LinearModel, SolutionStatus, VariableType, sumexp
from test_linear_array_support import RecordingSolver, logged_with_levels  # noqa: F401 (fixture)

NO_SOLUTION = "There is no solution to the problem. Run 'solve' to find it"
NOT_SOLVED = "The model was not solved correctly"


class Recording(RecordingSolver):
    """The real solver, with its calls written down and its status overridable."""

    status = None
    values = None

    def getSolution(self):
        solution = self._solver.getSolution()
        if self.values is not None:
            solution.col_value = np.array(self.values, dtype=np.float64)
        return solution

    def getModelStatus(self):
        return self.status if self.status is not None else self._solver.getModelStatus()

    @property
    def starts(self):
        return [solution.col_value.tolist() for (solution,) in self.named("setSolution")]


@pytest.fixture
def model():
    model = LinearModel()
    model._linsolver_model = Recording(model._linsolver_model)
    return model


@pytest.fixture
def feasible(model):
    """max x + y with x + 2y ≤ 4, 3x + y ≤ 6: x = 1.6, y = 1.2, objective 2.8."""
    x = model.get_variable("x", VariableType.REAL, 0, i=1)
    y = model.get_variable("y", VariableType.REAL, 0, i=1)
    model.add_constraint(x[0] + 2 * y[0] <= 4)
    model.add_constraint(3 * x[0] + y[0] <= 6)
    model.add_target(x[0] + y[0], False)
    return model


def make_infeasible(model):
    x = model._variables["x"]
    model.add_constraint(x[0] >= 10)
    model.add_constraint(x[0] <= 5)


class TestOutcomes:
    def test_an_optimal_solve(self, feasible):
        assert feasible.solve() == SolutionStatus.OPTIMAL
        assert feasible.objective_value == pytest.approx(2.8)
        assert feasible.get_result("x") == pytest.approx(1.6)
        assert feasible.get_result("y") == pytest.approx(1.2)
        assert feasible.get_linsolver_solution().value_valid

    def test_an_infeasible_model_is_a_status_unless_feasibility_is_required(self, feasible, logged_with_levels):
        make_infeasible(feasible)
        assert feasible.solve() == SolutionStatus.INFEASIBLE
        assert logged_with_levels == [("warning", NOT_SOLVED)]
        assert isinstance(feasible.get_linsolver_solution(), linsolver.LinsolverSolution)
        for read in (lambda: feasible.objective_value, lambda: feasible.get_result("x")):
            with pytest.raises(SolverError, match=f"^{NO_SOLUTION}$"):
                read()
        logged_with_levels.clear()
        with pytest.raises(SolverError, match=f"^{NOT_SOLVED}$"):
            feasible.solve(is_feasible=True)
        assert logged_with_levels == [("error", NOT_SOLVED)]

    def test_a_failed_solve_keeps_the_last_results(self, feasible):
        feasible.solve()
        first_solution = feasible.get_linsolver_solution()
        make_infeasible(feasible)
        assert feasible.solve() == SolutionStatus.INFEASIBLE
        assert feasible.get_linsolver_solution() is not first_solution
        assert feasible.objective_value == pytest.approx(2.8)
        assert feasible.get_result("x") == pytest.approx(1.6)

    @pytest.mark.parametrize("is_feasible", [False, True])
    def test_a_model_the_solver_refuses_is_a_solver_error_with_its_reason(self, model, is_feasible, logged_with_levels):
        x = model.get_variable("x", VariableType.INTEGER, -5, 5, i=1)
        model.add_target(x[0] * x[0] - 3 * x[0], True)
        with pytest.raises(SolverError, match="quadratic objective with integer columns") as raised:
            model.solve(is_feasible)
        assert logged_with_levels == [("error", str(raised.value))]

    def test_a_non_convex_objective_is_a_solver_error(self, model):
        x = model.get_variable("x", VariableType.REAL, -5, 5, i=1)
        model.add_target(x[0] * x[0], False)
        with pytest.raises(SolverError, match="non-convex"):
            model.solve()

    def test_a_time_limit_with_a_usable_solution_is_suboptimal(self, feasible, logged_with_levels):
        feasible._linsolver_model.status = linsolver.LinsolverModelStatus.kTimeLimit
        assert feasible.solve() == SolutionStatus.SUBOPTIMAL
        assert logged_with_levels == [("warning", "Solution is suboptimal due to a time limit, but a primal solution is available")]
        assert feasible.get_result("x") == pytest.approx(1.6)

    def test_a_time_limit_without_a_usable_solution_is_not_solved(self, feasible):
        make_infeasible(feasible)
        feasible._linsolver_model.status = linsolver.LinsolverModelStatus.kTimeLimit
        assert feasible.solve() == SolutionStatus.INFEASIBLE
        with pytest.raises(SolverError, match=f"^{NOT_SOLVED}$"):
            feasible.solve(is_feasible=True)

    def test_nothing_is_readable_before_a_solve(self, model, logged_with_levels):
        model.get_variable("x", VariableType.REAL)
        for read in (lambda: model.objective_value, lambda: model.get_result("no such variable"),
                     model.get_linsolver_solution):
            with pytest.raises(SolverError, match=f"^{NO_SOLUTION}$"):
                read()
        assert logged_with_levels == [("error", NO_SOLUTION)] * 3


class TestResults:
    def test_results_are_shaped_and_typed_like_the_variables(self, model):
        grid = model.get_variable("grid", VariableType.INTEGER, -100, 100, i=2, j=3)
        real = model.get_variable("real", VariableType.REAL, -100, 100, i=2, j=3)
        scalar = model.get_variable("scalar", VariableType.REAL, 0, 7.5)
        wanted = np.array([[0, 1, 2], [10, 11, 12]])
        model.add_constraints(grid[:, :], equation_bounds=wanted.ravel())
        model.add_constraints(real[:, :] * 2, equation_bounds=wanted.ravel() + 1.0)
        model.add_target(scalar[()], False)
        assert model.solve() == SolutionStatus.OPTIMAL
        result = model.get_result("grid")
        assert result.dtype == np.int32 and result.tolist() == wanted.tolist()
        real_result = model.get_result("real")
        assert real_result.dtype == np.float64
        np.testing.assert_allclose(real_result, (wanted + 1.0) / 2)
        assert model.get_result("scalar").shape == () and model.get_result("scalar") == pytest.approx(7.5)

    def test_integer_results_are_the_nearest_integers_of_the_solvers_values(self, model):
        model.get_variable("count", VariableType.INTEGER, -10, 10, i=3)
        model.get_variable("flag", VariableType.BINARY)
        model.get_variable("level", VariableType.REAL, -10, 10)
        model._linsolver_model.values = [2.9999999, -1.0000001, 0.4, 0.9999999, 2.9999999]
        assert model.solve() == SolutionStatus.OPTIMAL
        assert model.get_result("count").tolist() == [3, -1, 0]
        assert model.get_result("flag") == 1 and model.get_result("flag").dtype == np.int32
        assert model.get_result("level") == 2.9999999

    def test_an_unknown_variable_after_a_solve_is_a_key_error(self, feasible):
        feasible.solve()
        with pytest.raises(KeyError):
            feasible.get_result("z")


class TestStartValues:
    def test_start_values_go_to_the_variables_columns_in_row_major_order(self, model):
        model.get_variable("first", VariableType.REAL, 0, 100, i=7)
        model.get_variable("grid", VariableType.REAL, 0, 100, i=2, j=3)
        start = np.array([[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]])
        model.set_solution("grid", start)
        model.set_solution("first", 9)
        model.add_target(sumexp(model._variables["grid"][:, :]), True)
        assert model.solve() == SolutionStatus.OPTIMAL
        (sent,) = model._linsolver_model.starts
        assert sent == [9.0] * 7 + [1, 2, 3, 4, 5, 6]

    def test_start_values_for_a_variable_created_after_the_first_ones(self, model):
        model.get_variable("first", VariableType.REAL, 0, 10, i=2)
        model.set_solution("first", [1.0, 2.0])
        model.get_variable("later", VariableType.REAL, 0, 10, i=3)
        model.set_solution("later", 4.0)
        model.add_target(sumexp(model._variables["later"][:]), True)
        assert model.solve() == SolutionStatus.OPTIMAL
        assert model._linsolver_model.starts == [[1.0, 2.0, 4.0, 4.0, 4.0]]

    def test_refused_start_values_leave_no_start_vector(self, feasible):
        with pytest.raises(KeyError):
            feasible.set_solution("z", 1)
        with pytest.raises(ValueError, match="^Linear variable x has 1 cells, but 3 start values were given$"):
            feasible.set_solution("x", [1, 2, 3])
        feasible.solve()
        assert feasible._linsolver_model.starts == []

    def test_without_start_values_none_are_sent(self, feasible):
        feasible.solve()
        assert feasible._linsolver_model.starts == []


class TestModelFiles:
    def test_missing_directories_are_created(self, feasible, tmp_path):
        path = tmp_path / "deep" / "er" / "model.lp"
        feasible.write_model(path)
        assert path.exists() and "obj" in path.read_text().lower()
        feasible.write_model(str(tmp_path / "deep" / "model.mps"))
        assert (tmp_path / "deep" / "model.mps").exists()

    def test_a_bare_file_name_is_written_where_the_caller_is(self, feasible, tmp_path, monkeypatch):
        monkeypatch.chdir(tmp_path)
        feasible.write_model("model.lp")
        assert [p.name for p in tmp_path.iterdir()] == ["model.lp"]
