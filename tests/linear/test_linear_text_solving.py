"""Solving text linear models: known optima, results, statuses, warm starts and model files."""

import itertools

import numpy as np
import pytest

from vx_encoder._exceptions import SolverError
from vx_encoder.linear_parser import LinearModel, SolutionStatus, Sum, SumIt, VariableType, inf
from vx_encoder.linear_parser.linear_model import linsolver

NO_SOLUTION = "There is no solution to the problem. Run 'solve' to find it"
NOT_SOLVED = "The model was not solved correctly"


def quiet_model(**options) -> LinearModel:
    return LinearModel(output_flag=False, **options)


def test_an_lp_reaches_its_known_optimum():
    model = quiet_model()
    v = model.get_variables("v", VariableType.REAL, 0, inf, k=2)
    model.add_constraint(v[0] <= 4)
    model.add_constraint(2 * v[1] <= 12)
    model.add_constraint(3 * v[0] + 2 * v[1] <= 18)
    model.add_target(3 * v[0] + 5 * v[1], False)
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(36)
    assert model.get_result("v") == pytest.approx([2, 6])


def test_a_knapsack_mip_matches_enumeration():
    values, weights, capacity = [10, 13, 7, 8, 4], [5, 6, 4, 3, 2], 10
    best = max(
        sum(v for v, take in zip(values, choice) if take)
        for choice in itertools.product([0, 1], repeat=5)
        if sum(w for w, take in zip(weights, choice) if take) <= capacity
    )
    model = quiet_model()
    take = model.get_variables("take", VariableType.BINARY, i=5)
    model.add_constraint(SumIt([w * take[k] for k, w in enumerate(weights)]) <= capacity)
    model.add_target(SumIt([v * take[k] for k, v in enumerate(values)]), False)
    assert model.solve() is SolutionStatus.OPTIMAL
    chosen = model.get_result("take")
    assert chosen.dtype == np.int32 and set(chosen.tolist()) <= {0, 1}
    assert model.objective_value == pytest.approx(best)
    assert sum(np.array(values) * chosen) == best and sum(np.array(weights) * chosen) <= capacity


def test_an_integer_model_with_foralls_and_a_target_constant():
    # Row i: x[i, 0] + x[i, 1] + x[i, 2] <= i + 1; the target counts x and adds 100.
    model = quiet_model()
    x = model.get_variables("x", VariableType.INTEGER, 0, 5, i=3, j=3)
    i, j = model.get_indexes(["i", "j"])
    for row in range(3):
        model.add_constraint(Sum(x[i, j], j=range(3)) <= row + 1, i=[row])
    model.add_target(Sum(x[i, j], i=range(3), j=range(3)) + 100, False)
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(100 + 1 + 2 + 3)
    assert model.get_result("x").sum(axis=1).tolist() == [1, 2, 3]


def test_a_convex_qp_reports_the_objective_with_its_constant():
    # (a - 1)^2 + (b - 2)^2 with a + b <= 1: nearest point (0, 1), value 2.
    model = quiet_model()
    p = model.get_variables("p", VariableType.REAL, k=2)
    a, b = p[0], p[1]
    model.add_target((a - 1) * (a - 1) + (b - 2) * (b - 2), True)
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(0, abs=1e-6)
    assert model.get_result("p") == pytest.approx([1, 2], abs=1e-5)
    model.add_constraint(a + b <= 1)
    model.solve()
    assert model.objective_value == pytest.approx(2, abs=1e-6)
    assert model.get_result("p") == pytest.approx([0, 1], abs=1e-5)


def test_a_concave_maximisation_is_solved():
    model = quiet_model()
    q = model.get_variables("q", VariableType.REAL, 0, 10)
    model.add_target(6 * q[()] - q[()] * q[()], False)  # maximum 9 at q = 3
    model.solve()
    assert (model.objective_value, float(model.get_result("q"))) == pytest.approx((9, 3), abs=1e-5)


def test_a_new_target_replaces_the_old_one_and_its_hessian():
    model = quiet_model()
    v = model.get_variables("v", VariableType.REAL, 0, 4, k=2)
    model.add_target((v[0] - 1) * (v[0] - 1) + 10 * v[1] + 3, True)
    model.solve()
    assert model.get_result("v") == pytest.approx([1, 0], abs=1e-5)
    model.add_target(v[0] + 1, False)  # no Hessian and no cost of v[1] any more
    model.solve()
    assert model.objective_value == pytest.approx(5)
    assert model.get_result("v")[0] == pytest.approx(4)


def test_results_are_shaped_like_their_variables():
    model = quiet_model()
    x = model.get_variables("x", VariableType.INTEGER, -100, 100, i=2, j=3)
    s = model.get_variables("s", VariableType.REAL, 0, 1)
    for row in range(2):
        for column in range(3):
            model.add_constraint(x[row, column] == 10 * row + column)
    model.add_constraint(s[()] == 0.25)
    model.solve()
    x_values = model.get_result("x")
    assert (x_values.shape, x_values.dtype) == ((2, 3), np.int32)
    assert x_values.tolist() == [[0, 1, 2], [10, 11, 12]]
    s_value = model.get_result("s")
    assert (s_value.shape, s_value.dtype, float(s_value)) == ((), np.float64, 0.25)


def test_integer_results_are_rounded_not_truncated():
    model = quiet_model()
    model.get_variables("n", VariableType.INTEGER, -5, 5, i=4)
    model.get_variables("r", VariableType.REAL, i=2)
    model.solve()
    model._solution_values = np.array([2.9999999, -1.0000001, 0.4, -0.6, 2.9999999, -1.5])
    assert model.get_result("n").tolist() == [3, -1, 0, -1]
    assert model.get_result("r").tolist() == [2.9999999, -1.5]


def test_reading_results_before_a_solve_fails(capfd):
    model = quiet_model()
    model.get_variables("x", VariableType.REAL)
    for read in (lambda: model.objective_value, lambda: model.get_result("x"), model.get_linsolver_solution):
        with pytest.raises(SolverError, match=f"^{NO_SOLUTION}$"):
            read()
    assert capfd.readouterr().err.splitlines() == [f"[error] {NO_SOLUTION}"] * 3


def infeasible(model: LinearModel) -> None:
    x = model._variables["x"]
    model.add_constraint(x[()] >= 2)
    model.add_constraint(x[()] <= 1)


def test_an_infeasible_model_raises_and_keeps_the_last_good_result(capfd):
    model = quiet_model()
    x = model.get_variables("x", VariableType.REAL, 0, 10)
    model.add_target(x[()], False)
    model.solve()
    infeasible(model)
    with pytest.raises(SolverError, match=f"^{NOT_SOLVED}$"):
        model.solve()
    assert f"[error] {NOT_SOLVED}" in capfd.readouterr().err.splitlines()
    assert float(model.get_result("x")) == 10 and model.objective_value == 10
    assert model.get_linsolver_solution() is model._solution


def test_a_first_failed_solve_leaves_only_the_solver_solution():
    model = quiet_model()
    model.get_variables("x", VariableType.REAL, 0, 10)
    infeasible(model)
    with pytest.raises(SolverError):
        model.solve()
    assert isinstance(model.get_linsolver_solution(), linsolver.LinsolverSolution)
    with pytest.raises(SolverError, match=f"^{NO_SOLUTION}$"):
        model.get_result("x")


def hard_knapsack(model: LinearModel, items: int = 60) -> None:
    rng = np.random.default_rng(3)
    take = model.get_variables("take", VariableType.BINARY, i=items)
    weights = rng.integers(20, 60, size=(5, items))
    for row in weights:
        model.add_constraint(SumIt([int(w) * take[k] for k, w in enumerate(row)]) <= int(row.sum() // 2))
    model.add_target(SumIt([int(v) * take[k] for k, v in enumerate(rng.integers(10, 100, size=items))]), False)


def test_a_time_limit_with_an_incumbent_is_suboptimal(capfd):
    model = quiet_model(time_limit=0.0)
    hard_knapsack(model)
    model.set_solution("take", 0)  # feasible: the solver keeps it as its incumbent
    assert model.solve() is SolutionStatus.SUBOPTIMAL
    warning = "[warning] Solution is suboptimal due to a time limit, but a primal solution is available"
    assert warning in capfd.readouterr().err.splitlines()
    assert model.objective_value == 0 and model.get_result("take").tolist() == [0] * 60


def test_a_time_limit_without_a_solution_raises(capfd):
    model = quiet_model(time_limit=0.0)
    hard_knapsack(model)
    with pytest.raises(SolverError, match=f"^{NOT_SOLVED}$"):
        model.solve()
    assert model._linsolver_model.getModelStatus() == linsolver.LinsolverModelStatus.kTimeLimit
    assert capfd.readouterr().err.splitlines() == [f"[error] {NOT_SOLVED}"]


@pytest.mark.parametrize("kind", ["integer quadratic", "non-convex"])
def test_a_model_the_solver_cannot_take_raises_solver_error(capfd, kind):
    model = quiet_model()
    variable_type = VariableType.INTEGER if kind == "integer quadratic" else VariableType.REAL
    v = model.get_variables("v", variable_type, 0, 3)
    model.add_target(v[()] * v[()], kind == "integer quadratic")  # maximising a convex square is non-convex
    with pytest.raises(SolverError, match=f"^{NOT_SOLVED}$") as raised:
        model.solve()
    assert isinstance(raised.value.__cause__, linsolver.LinsolverError)
    assert capfd.readouterr().err.splitlines() == [f"[error] {NOT_SOLVED}"]


def test_a_warm_start_reaches_the_solver_with_every_column(monkeypatch):
    model = quiet_model()
    model.get_variables("a", VariableType.REAL, 0, 10, i=2)
    starts = []

    def record(solution):
        starts.append(solution.col_value.copy())

    monkeypatch.setattr(model._linsolver_model, "setSolution", record)
    model.solve()
    assert starts == []  # no set_solution: no start values
    model.set_solution("a", 7)
    model.get_variables("b", VariableType.REAL, 0, 10, i=2, j=2)  # created after the first set_solution
    model.set_solution("b", np.array([[1, 2], [3, 4]]))
    model.solve()
    assert starts[-1].tolist() == [7, 7, 1, 3, 2, 4]
    model.get_variables("c", VariableType.REAL, 0, 10)
    model.solve()
    assert starts[-1].tolist() == [7, 7, 1, 3, 2, 4, 0]


def test_refused_start_values_leave_no_start_vector():
    model = quiet_model()
    model.get_variables("a", VariableType.REAL, i=3)
    with pytest.raises(KeyError):
        model.set_solution("z", 1)
    with pytest.raises(ValueError, match="^Linear variable a has 3 cells, but 2 start values were given$"):
        model.set_solution("a", [1, 2])
    assert model._prev_solution is None


def test_write_model_creates_the_parent_folders(tmp_path, monkeypatch):
    model = quiet_model()
    x = model.get_variables("x", VariableType.INTEGER, 0, 4, i=2)
    model.add_constraint(x[0] + x[1] <= 3)
    model.add_target(x[0] - x[1], False)
    nested = tmp_path / "a" / "b" / "model.lp"
    model.write_model(nested)
    assert nested.read_text().strip()
    model.write_model(str(tmp_path / "c" / "model.mps"))
    assert (tmp_path / "c" / "model.mps").is_file()
    monkeypatch.chdir(tmp_path)
    model.write_model("bare.lp")
    assert sorted(path.name for path in tmp_path.iterdir()) == ["a", "bare.lp", "c"]


class ColumnsInTheModelsOwnOrder(linsolver.LinearSolver):
    """The engine's solver, holding every column at the model's own number."""

    def addVars(self, n, lower, upper, solver_order=None):
        super().addVars(n, lower, upper)


# A 3 x 4 transport-like LP with a unique optimum and unique duals.
COSTS = np.array([[4.0, 1.5, 3.0, 2.5], [2.0, 3.5, 1.0, 4.5], [3.0, 2.0, 5.0, 1.0]])
SUPPLY = [9.0, 7.0, 8.0]
DEMAND = [5.0, 6.0, 4.0, 7.0]


def transport_model() -> LinearModel:
    """Ship x[i, j] from i to j: each row of x within SUPPLY, each column of x at least
    DEMAND (one constraint with foralls), plus a slack s in the first column; minimise the cost."""
    model = quiet_model()
    x = model.get_variables("x", VariableType.REAL, 0, 6, i=3, j=4)
    s = model.get_variables("s", VariableType.REAL, 0, 1)
    i, j = model.get_indexes(["i", "j"])
    for row in range(3):
        model.add_constraint(SumIt([x[row, column] for column in range(4)]) <= SUPPLY[row])
    for column in range(4):
        model.add_constraint(Sum(x[i, j], i=range(3)) + (s[()] if column == 0 else 0) >= DEMAND[column], j=[column])
    model.add_target(SumIt([COSTS[row, column] * x[row, column] for row in range(3) for column in range(4)])
                     + 10 * s[()], True)
    return model


def transport_by_milp():
    """The same LP through scipy.optimize.milp, x row-major, then s."""
    from scipy.optimize import Bounds, LinearConstraint, milp

    supply = np.zeros((3, 13))
    demand = np.zeros((4, 13))
    for row in range(3):
        supply[row, 4 * row: 4 * row + 4] = 1.0
    for column in range(4):
        demand[column, column: 12: 4] = 1.0
    demand[0, 12] = 1.0
    found = milp(np.append(COSTS.ravel(), 10.0), bounds=Bounds(0, [6.0] * 12 + [1.0]),
                 constraints=[LinearConstraint(supply, -np.inf, SUPPLY), LinearConstraint(demand, DEMAND, np.inf)])
    return found.fun, found.x[:12].reshape(3, 4)


def test_a_model_reads_back_as_if_the_solver_held_its_columns_in_the_models_order(monkeypatch, tmp_path):
    """The solver holds x's cells in row-major order; results, duals, files and names stay the model's."""
    held = transport_model()
    with monkeypatch.context() as patched:
        patched.setattr(linsolver, "LinearSolver", ColumnsInTheModelsOwnOrder)
        own = transport_model()
    optimum, shipped = transport_by_milp()
    texts = {}
    for name, model in (("held", held), ("own", own)):
        assert model.solve() is SolutionStatus.OPTIMAL
        assert model.objective_value == pytest.approx(optimum)
        assert model.get_result("x") == pytest.approx(shipped, abs=1e-9)
        for suffix in (".lp", ".mps"):
            model.write_model(tmp_path / f"{name}{suffix}")
            texts[name, suffix] = (tmp_path / f"{name}{suffix}").read_text()
    assert texts["held", ".lp"] == texts["own", ".lp"] and texts["held", ".mps"] == texts["own", ".mps"]
    assert "x(2,1)" in texts["held", ".lp"]
    solutions = held.get_linsolver_solution(), own.get_linsolver_solution()
    for array in ("col_value", "col_dual", "row_value", "row_dual"):
        np.testing.assert_allclose(*(getattr(solution, array) for solution in solutions), atol=1e-9, err_msg=array)
    # The solver does hold them otherwise: x(0,1), column 3 of the model, is HiGHS's column 1.
    assert held._linsolver_model._highs.getLp().col_cost_[1] == COSTS[0, 1]
    assert own._linsolver_model._highs.getLp().col_cost_[3] == COSTS[0, 1]


def test_a_warm_start_comes_back_in_the_variables_shape():
    """A time limit of 0 keeps the start as the incumbent: what set_solution gave, get_result returns."""
    model = quiet_model(time_limit=0.0)
    y = model.get_variables("y", VariableType.INTEGER, 0, 10, i=2, j=3)
    i, j = model.get_indexes(["i", "j"])
    model.add_constraint(Sum(y[i, j], i=range(2), j=range(3)) <= 40)
    model.add_target(Sum(y[i, j], i=range(2), j=range(3)), False)
    start = np.array([[1, 2, 3], [4, 5, 6]])
    model.set_solution("y", start)
    assert model.solve() is SolutionStatus.SUBOPTIMAL
    assert model.get_result("y").tolist() == start.tolist()
    assert model.get_linsolver_solution().col_value.tolist() == [1, 4, 2, 5, 3, 6]  # the first index fastest
