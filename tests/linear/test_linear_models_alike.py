"""What both linear models do alike: the solver's output, refused NaNs, infinities
and empty bounds, model files a person and another solver can read, and
quadratic solves that stop."""

import math
import os

import highspy
import numpy as np
import pytest

import halvex.kelvo_engine.linsolver as linsolver
from file_names import FORMS, named_with_nul
from hang_guard import fails_instead_of_hanging
from linear_interfaces import BOTH, BOTH_IDS
from vx_encoder._exceptions import SolverError

NAN = math.nan
both = pytest.mark.parametrize("interface", BOTH, ids=BOTH_IDS)


def small_model(interface, **options):
    """max 2·x0 + 3·x1 + 4 with x0 + x1 ≤ 3 over x in [0, 2]²: 12."""
    model = interface.model(**options)
    x = interface.variable(model, "x", "REAL", 0, 2, i=2)
    model.add_constraint(interface.total([x[0], x[1]]) <= 3)
    model.add_target(interface.total([2 * x[0], 3 * x[1]]) + 4, False)
    return model


@both
@pytest.mark.parametrize("options, log_shown", [
    ({}, False),
    ({"output_flag": False}, False),
    ({"log_solver": True}, True),
    ({"output_flag": True}, True),
    ({"log_solver": True, "output_flag": False}, False),
])
def test_standard_output_holds_the_solvers_log_only_when_asked(interface, options, log_shown, capfd):
    model = small_model(interface, **options)
    interface.solve(model)
    assert model.objective_value == pytest.approx(12)
    out = capfd.readouterr().out
    assert ("Objective value" in out) == log_shown
    assert "Running HiGHS" not in out  # the banner of a solver being created


class TestNumbersNoColumnTakes:
    """NaNs, infinities and bounds that leave a column no value: refused before anything changes."""

    @both
    def test_start_values_with_a_nan_are_refused_and_change_nothing(self, interface):
        model = small_model(interface)
        with pytest.raises(ValueError, match="must not be NaN"):
            model.set_solution("x", np.array([1.0, NAN]))
        assert model._prev_solution is None
        model.set_solution("x", np.array([1.0, 2.0]))
        with pytest.raises(ValueError, match="must not be NaN"):
            model.set_solution("x", NAN)
        assert model._prev_solution.tolist() == [1.0, 2.0]

    @both
    @pytest.mark.parametrize("start, shown", [
        (math.inf, "inf"), (-math.inf, "-inf"), (np.array([1.0, math.inf]), "inf"),
    ])
    def test_start_values_that_are_infinite_are_refused_and_change_nothing(self, interface, start, shown, log):
        model = small_model(interface)
        model.set_solution("x", np.array([1.0, 2.0]))
        message = f"Start values of linear variable x must be finite, not {shown}"
        with pytest.raises(ValueError, match=f"^{message}$"):
            model.set_solution("x", start)
        assert ("error", message) in log
        assert model._prev_solution.tolist() == [1.0, 2.0]
        interface.solve(model)  # the solver still takes the start it has
        assert model.objective_value == pytest.approx(12)

    @both
    @pytest.mark.parametrize("kind, lower, upper", [
        ("REAL", NAN, 1.0), ("REAL", 0.0, NAN), ("REAL", math.inf, 5.0), ("REAL", 0.0, -math.inf),
        ("REAL", 5, 1), ("REAL", 1.0, 0.999), ("INTEGER", 5, 1), ("INTEGER", -1, -2),
    ])
    def test_variable_bounds_that_leave_no_value_are_refused_and_take_nothing(self, interface, kind, lower, upper):
        model = interface.model()
        with pytest.raises(ValueError, match="leave it no value"):
            interface.variable(model, "x", kind, lower, upper, i=2)
        assert model._variables == {} and model._linsolver_model.num_columns == 0
        interface.variable(model, "x", "REAL", 0.0, 1.0, i=2)  # the name is still free

    @both
    @pytest.mark.parametrize("kind, lower, upper, values", [
        ("REAL", 2.5, 2.5, [2.5, 2.5]),
        ("INTEGER", -3, -3, [-3, -3]),
        ("BINARY", 1, 0, [1, 1]),  # a binary variable's columns take 0 and 1, whatever was given
    ])
    def test_equal_bounds_fix_the_columns(self, interface, kind, lower, upper, values):
        model = interface.model()
        x = interface.variable(model, "x", kind, lower, upper, i=2)
        model.add_target(interface.total([x[0], x[1]]), False)
        interface.solve(model)
        assert model.get_result("x").tolist() == values

    @both
    @pytest.mark.parametrize("bounded", [
        lambda e: (e <= NAN, {}),
        lambda e: (e, {"lower": NAN}),
    ])
    def test_row_bounds_that_are_nan_are_refused_and_add_no_row(self, interface, bounded):
        model = small_model(interface)
        x = model._variables["x"]
        expression, keywords = bounded(interface.total([x[0], x[1]]))
        keyword = {"lower": "lo" if interface.name == "text" else "lower_bound"}
        with pytest.raises(ValueError, match="NaN"):
            model.add_constraint(expression, **{keyword[key]: value for key, value in keywords.items()})
        assert model._linsolver_model.num_rows == 1


def read_back(path):
    """The objective another solver finds in a model file, and its column values by name."""
    highs = highspy.Highs()
    highs.setOptionValue("output_flag", False)
    assert highs.readModel(str(path)) == highspy.HighsStatus.kOk
    highs.run()
    assert highs.getModelStatus() == highspy.HighsModelStatus.kOptimal
    values = highs.getSolution().col_value
    return highs.getInfo().objective_function_value, dict(zip(highs.getLp().col_names_, values))


@both
@pytest.mark.parametrize("suffix", [".lp", ".mps"])
def test_model_files_hold_the_objective_constant_and_name_columns_by_cell(interface, suffix, tmp_path):
    model = small_model(interface)
    grid = interface.variable(model, "end", "INTEGER", 0, 4, i=2, j=3)  # "end" is a keyword of the LP format
    model.add_constraint(interface.total([grid[1, 2], grid[0, 1]]) <= 5)
    model.add_target(interface.total([2 * grid[1, 2], grid[0, 1], 3 * model._variables["x"][1]]) - 7.5, False)
    interface.solve(model)
    model.write_model(tmp_path / f"model{suffix}")
    objective, values = read_back(tmp_path / f"model{suffix}")
    assert objective == pytest.approx(model.objective_value) and objective == pytest.approx(8 + 1 + 6 - 7.5)
    # The LP format lists only the columns it mentions; these are all in the objective or a row.
    cells = {f"end({i},{j})" for i in range(2) for j in range(3)}
    assert {"x(0)", "x(1)", "end(1,2)", "end(0,1)"} <= set(values) <= cells | {"x(0)", "x(1)"}
    result = model.get_result("end")
    assert (values["end(1,2)"], values["end(0,1)"]) == pytest.approx((result[1, 2], result[0, 1]))
    assert values["x(1)"] == pytest.approx(model.get_result("x")[1])
    # A variable created after a file was written is named in the next one.
    late = interface.variable(model, "late", "REAL", 0, 1)
    model.add_target(interface.total([late[()] if interface.name == "text" else late[0]]), True)
    model.write_model(tmp_path / f"again{suffix}")
    assert "late()" in read_back(tmp_path / f"again{suffix}")[1]


@both
@pytest.mark.parametrize("form", FORMS)
def test_model_files_take_the_names_open_takes(interface, tmp_path, form):
    model = small_model(interface)
    path = tmp_path / "deep" / "model.lp"
    model.write_model(FORMS[form](path))
    assert os.listdir(tmp_path / "deep") == ["model.lp"]
    assert read_back(path)[0] == pytest.approx(12)


@both
@pytest.mark.parametrize("as_bytes", [False, True], ids=["str", "bytes"])
def test_model_files_refuse_a_name_with_nul(interface, tmp_path, as_bytes, log):
    with pytest.raises(ValueError, match="^embedded null byte$"):
        small_model(interface).write_model(named_with_nul(tmp_path, as_bytes, ".lp"))
    assert os.listdir(tmp_path) == []
    assert ("error", "embedded null byte") in log


def cycling_qp(interface, **options):
    """Six columns in [-10, 4.25], one equality row over two columns the objective
    leaves out; maximise -48·y0² - y3² - 168·y0 - 6·y3 + 2.5·y5: 166.625.
    The solver's QP method cycles on it unless an iteration limit stops it."""
    model = interface.model(**options)
    y = interface.variable(model, "y", "REAL", -10, 4.25, i=6)
    model.add_constraint(interface.total([y[1], -1 * y[2]]) == 3)
    model.add_target(
        interface.total([-48 * y[0] * y[0], -1 * y[3] * y[3], -168 * y[0], -6 * y[3], 2.5 * y[5]]), False
    )
    return model


@both
@pytest.mark.parametrize("options", [{}, {"qp_iteration_limit": 25}], ids=["default limit", "caller's limit"])
def test_a_cycling_quadratic_solve_stops_with_a_usable_solution(interface, options, request):
    model = cycling_qp(interface, **options)
    with fails_instead_of_hanging(request, 120):
        status = interface.solve(model)
    y = model.get_result("y")
    assert y[1] - y[2] == pytest.approx(3) and ((-10 <= y) & (y <= 4.25)).all()
    if options:
        assert not interface.is_optimal(status)
        assert model.objective_value <= 166.625 + 1e-9
    else:
        assert model.objective_value == pytest.approx(166.625)
        assert y[[0, 3, 5]] == pytest.approx([-1.75, -3, 4.25])


class StoppedWithoutSolution:
    """The real solver, reporting that an iteration limit stopped it before any solution."""

    def __init__(self, solver):
        self._solver = solver

    def __getattr__(self, name):
        return getattr(self._solver, name)

    def getModelStatus(self):
        return linsolver.LinsolverModelStatus.kIterationLimit

    def getSolution(self):
        solution = self._solver.getSolution()
        solution.value_valid = False
        return solution


@both
def test_an_iteration_limit_without_a_solution_is_not_solved(interface):
    model = small_model(interface)
    model._linsolver_model = StoppedWithoutSolution(model._linsolver_model)
    with pytest.raises(SolverError, match="^The model was not solved correctly$"):
        model.solve() if interface.name == "text" else model.solve(is_feasible=True)
    if interface.name == "arrays":
        assert model.solve() is interface.module.SolutionStatus.INFEASIBLE
