"""The engine's linear solver layer over HiGHS, checked against known optima."""

from __future__ import annotations

import itertools
import re

import highspy
import numpy as np
import pytest
import scipy.sparse as sparse

from halvex.kelvo_engine import linsolver as ls
from hang_guard import fails_instead_of_hanging

INF = ls.kLinsolverInf
Status = ls.LinsolverModelStatus


def new_solver(columns: int = 0, lower=0.0, upper=INF) -> ls.LinearSolver:
    solver = ls.LinearSolver()
    solver.setOptionValue("log_to_console", False)
    if columns:
        solver.addVars(columns, np.full(columns, lower, dtype=float), np.full(columns, upper, dtype=float))
    return solver


def make_integer(solver: ls.LinearSolver, columns) -> None:
    columns = np.asarray(columns)
    solver.changeColsIntegrality(len(columns), columns, np.full(len(columns), ls.LinsolverVarType.kInteger))


def solve(solver: ls.LinearSolver) -> tuple[Status, ls.LinsolverSolution, float]:
    solver.run()
    return solver.getModelStatus(), solver.getSolution(), solver.getInfo().objective_function_value


# ------------------------------------------------------------------ models


def small_lp() -> ls.LinearSolver:
    """max 3x + 2y  s.t.  x + y <= 4,  x + 3y <= 6,  0 <= x <= 3,  y >= 0:  x = 3, y = 1, 11."""
    solver = new_solver()
    solver.addVars(2, np.array([0, 0], dtype=np.int32), np.array([3.0, INF]))
    solver.addRow(-INF, 4, 2, np.array([0, 1]), np.array([1, 1]))
    solver.addRow(-INF, 6, 2, np.array([0, 1]), np.array([1.0, 3.0]))
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(2, np.array([0, 1]), np.array([3.0, 2.0]))
    return solver


def knapsack(values, weights, capacity) -> ls.LinearSolver:
    n = len(values)
    solver = new_solver(n, 0.0, 1.0)
    make_integer(solver, np.arange(n))
    solver.addRow(-INF, capacity, n, np.arange(n), np.asarray(weights))
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(n, np.arange(n), np.asarray(values, dtype=float))
    return solver


def best_knapsack_value(values, weights, capacity) -> float:
    return max(
        float(np.dot(choice, values))
        for choice in itertools.product((0, 1), repeat=len(values))
        if np.dot(choice, weights) <= capacity
    )


# Q of the term xᵀQx, a cost vector, and the minimiser of c·x + xᵀQx.
Q = np.array([[1.0, 0.5], [0.5, 2.0]])
COST = np.array([-3.0, -5.0])
QP_MINIMISER = np.linalg.solve(2 * Q, -COST)
QP_MINIMUM = COST @ QP_MINIMISER + QP_MINIMISER @ Q @ QP_MINIMISER


def compressed_columns(matrix: np.ndarray) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    starts, rows, values = [0], [], []
    for column in range(matrix.shape[1]):
        for row in np.flatnonzero(matrix[:, column]):
            rows.append(row)
            values.append(matrix[row, column])
        starts.append(len(rows))
    return np.array(starts), np.array(rows), np.array(values)


def pass_matrix(solver: ls.LinearSolver, matrix: np.ndarray, format=ls.HessianFormat.kTriangular) -> None:
    starts, rows, values = compressed_columns(matrix)
    solver.passHessian(matrix.shape[0], len(values), format, starts, rows, values)


def convex_qp(matrix: np.ndarray = 2 * Q, format=ls.HessianFormat.kTriangular) -> ls.LinearSolver:
    solver = new_solver(2, -10.0, 10.0)
    solver.changeColsCost(2, np.array([0, 1]), COST)
    pass_matrix(solver, matrix, format)
    return solver


# ------------------------------------------------------------ known optima


def test_small_lp_reaches_its_optimum():
    status, solution, objective = solve(small_lp())
    assert status == ls.LinsolverModelStatus.kOptimal
    assert solution.value_valid
    np.testing.assert_allclose(solution.col_value, [3.0, 1.0], atol=1e-9)
    assert objective == pytest.approx(11.0)


@pytest.mark.parametrize("seed", range(4))
def test_knapsack_matches_enumeration(seed):
    generator = np.random.default_rng(seed)
    values = generator.integers(1, 30, size=10)
    weights = generator.integers(1, 20, size=10)
    capacity = int(weights.sum() // 2)
    status, solution, objective = solve(knapsack(values, weights, capacity))
    assert status == Status.kOptimal
    assert objective == pytest.approx(best_knapsack_value(values, weights, capacity))
    chosen = np.round(solution.col_value)
    assert np.dot(chosen, weights) <= capacity
    assert np.dot(chosen, values) == pytest.approx(objective)


# H = 2Q given as both triangles, as one triangle either way, or as a square matrix.
@pytest.mark.parametrize(
    "matrix, format",
    [
        (2 * Q, ls.HessianFormat.kTriangular),
        (np.tril(2 * Q), ls.HessianFormat.kTriangular),
        (np.triu(2 * Q), ls.HessianFormat.kTriangular),
        (2 * Q, ls.HessianFormat.kSquare),
    ],
    ids=["both-triangles", "lower", "upper", "square"],
)
def test_quadratic_objective_is_half_x_h_x(matrix, format):
    status, solution, objective = solve(convex_qp(matrix, format))
    assert status == Status.kOptimal
    np.testing.assert_allclose(solution.col_value, QP_MINIMISER, atol=1e-5)
    assert objective == pytest.approx(QP_MINIMUM, abs=1e-7)


def test_square_hessian_that_is_not_symmetric_is_symmetrised():
    # [[2, 2], [0, 4]] and 2Q have the same quadratic form.
    status, solution, _ = solve(convex_qp(np.array([[2.0, 2.0], [0.0, 4.0]]), ls.HessianFormat.kSquare))
    assert status == Status.kOptimal
    np.testing.assert_allclose(solution.col_value, QP_MINIMISER, atol=1e-5)


def test_hessian_duplicates_are_summed():
    solver = new_solver(1, -10.0, 10.0)
    solver.changeColCost(0, -4.0)
    # Two entries 1 at (0, 0): H = 2, so the objective is x² - 4x, least at x = 2.
    solver.passHessian(1, 2, ls.HessianFormat.kTriangular, [0, 2], [0, 0], [1.0, 1.0])
    status, solution, objective = solve(solver)
    assert status == Status.kOptimal
    assert solution.col_value[0] == pytest.approx(2.0, abs=1e-6)
    assert objective == pytest.approx(-4.0)


def test_hessian_is_widened_to_columns_added_later():
    solver = convex_qp()
    solver.addVars(1, [1.0], [3.0])
    solver.changeColCost(2, 1.0)
    status, solution, objective = solve(solver)
    assert status == Status.kOptimal
    np.testing.assert_allclose(solution.col_value, [*QP_MINIMISER, 1.0], atol=1e-5)
    assert objective == pytest.approx(QP_MINIMUM + 1.0, abs=1e-6)


def test_a_new_hessian_replaces_the_old_and_an_empty_one_removes_it():
    solver = convex_qp()
    pass_matrix(solver, 4 * Q)
    status, solution, _ = solve(solver)
    np.testing.assert_allclose(solution.col_value, np.linalg.solve(4 * Q, -COST), atol=1e-5)
    solver.passHessian(2, 0, ls.HessianFormat.kTriangular, [0, 0, 0], [], [])
    status, solution, objective = solve(solver)
    assert status == Status.kOptimal
    assert objective == pytest.approx(COST @ [10.0, 10.0])


def test_maximising_a_concave_objective_is_solved():
    solver = new_solver(1, -10.0, 10.0)
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColCost(0, 4.0)
    solver.passHessian(1, 1, ls.HessianFormat.kTriangular, [0, 1], [0], [-2.0])  # 4x - x²
    status, solution, objective = solve(solver)
    assert status == Status.kOptimal
    assert solution.col_value[0] == pytest.approx(2.0, abs=1e-6)
    assert objective == pytest.approx(4.0)


@pytest.mark.parametrize(
    "sense, matrix",
    [
        (ls.ObjSense.kMinimize, np.array([[0.0, 1.0], [1.0, 0.0]])),  # xy
        (ls.ObjSense.kMinimize, np.array([[2.0, 3.0], [3.0, 2.0]])),  # indefinite, dominant diagonal fails
        (ls.ObjSense.kMinimize, np.array([[-2.0, 0.0], [0.0, 2.0]])),
        (ls.ObjSense.kMaximize, 2 * Q),
    ],
)
def test_non_convex_quadratic_objective_is_refused_at_run(sense, matrix):
    solver = new_solver(2, -1.0, 1.0)
    solver.changeObjectiveSense(sense)
    pass_matrix(solver, matrix)
    with pytest.raises(ls.LinsolverError, match="non-convex"):
        solver.run()
    assert solver.getModelStatus() == Status.kNotset


def test_quadratic_objective_with_integer_column_is_refused_at_run():
    solver = convex_qp()
    make_integer(solver, [1])
    with pytest.raises(ls.LinsolverError, match=r"integer columns.*: 1$"):
        solver.run()
    assert solver.getModelStatus() == Status.kNotset


def pass_sparse(solver: ls.LinearSolver, matrix) -> None:
    matrix = sparse.csc_array(matrix)
    solver.passHessian(matrix.shape[0], matrix.nnz, ls.HessianFormat.kTriangular, matrix.indptr, matrix.indices, matrix.data)


SINGULAR_BLOCK = np.array([[1.0, 2.0], [2.0, 4.0]])  # semidefinite, not diagonally dominant
INDEFINITE_BLOCK = np.array([[1.0, 2.0], [2.0, 3.0]])


@pytest.mark.parametrize(
    "last_block, convex",
    [
        (INDEFINITE_BLOCK, False),
        (np.eye(2) * 3 + 1, True),
        (np.random.default_rng(0).normal(size=(30, 30)) @ np.random.default_rng(0).normal(size=(30, 30)).T, True),
    ],
    ids=["indefinite", "dominant", "dense-semidefinite"],
)
def test_convexity_is_judged_block_by_block(last_block, convex):
    matrix = sparse.block_diag([SINGULAR_BLOCK] * 200 + [last_block])
    solver = new_solver(matrix.shape[0], -1.0, 1.0)
    solver.changeColsCost(matrix.shape[0], np.arange(matrix.shape[0]), np.ones(matrix.shape[0]))
    pass_sparse(solver, matrix)
    if convex:
        assert solve(solver)[0] == Status.kOptimal
    else:
        with pytest.raises(ls.LinsolverError, match="non-convex"):
            solver.run()


def test_semidefinite_hessian_is_convex():
    solver = new_solver(2, -1.0, 1.0)
    solver.changeColsCost(2, np.array([0, 1]), np.array([1.0, 0.0]))
    pass_matrix(solver, np.array([[2.0, 2.0], [2.0, 2.0]]))  # (x + y)²
    status, _, objective = solve(solver)
    assert status == Status.kOptimal
    assert objective == pytest.approx(-1.0, abs=1e-6)  # x + (x + y)² at x = -1, y = 1


# ---------------------------------------------------------------- statuses


def test_infeasible_model():
    solver = new_solver(2, 0.0, 1.0)
    solver.addRow(3.0, INF, 2, [0, 1], [1.0, 1.0])
    status, solution, _ = solve(solver)
    assert status == Status.kInfeasible
    assert not solution.value_valid


def test_empty_row_whose_bounds_exclude_zero_makes_the_model_infeasible():
    solver = new_solver(1, 0.0, 1.0)
    solver.addRow(1.0, 2.0, 0, np.array([], dtype=np.int64), np.array([]))
    assert solve(solver)[0] == Status.kInfeasible


def test_unbounded_model():
    solver = new_solver(2)
    solver.addRow(-INF, 1.0, 2, [0, 1], [1.0, -1.0])
    solver.changeColsCost(2, [0, 1], [-1.0, -1.0])
    # Presolve may only tell that the model is unbounded or infeasible.
    assert solve(solver)[0] in (Status.kUnbounded, Status.kUnboundedOrInfeasible)


def hard_knapsack(items: int = 60) -> ls.LinearSolver:
    generator = np.random.default_rng(1)
    solver = new_solver(items, 0.0, 1.0)
    make_integer(solver, np.arange(items))
    for _ in range(5):
        weights = generator.integers(1000, 2000, items)
        solver.addRow(-INF, float(weights.sum() // 2), items, np.arange(items), weights)
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(items, np.arange(items), generator.integers(1000, 2000, items))
    return solver


def test_time_limited_mip_keeps_its_incumbent():
    solver = hard_knapsack()
    solver.setOptionValue("time_limit", 0.0)
    start = ls.LinsolverSolution()
    start.col_value = np.zeros(60)
    solver.setSolution(start)
    status, solution, objective = solve(solver)
    assert status == Status.kTimeLimit
    assert solution.value_valid
    np.testing.assert_array_equal(solution.col_value, np.zeros(60))
    assert objective == 0.0


def test_warm_start_reaches_the_solver_and_is_padded_by_the_bounds():
    solver = new_solver(2, 0.0, 10.0)
    solver.addVars(1, [2.0], [5.0])  # padded with its bound nearest 0
    make_integer(solver, [0, 1, 2])
    solver.addRow(-INF, 20.0, 3, [0, 1, 2], [1.0, 1.0, 1.0])
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(3, [0, 1, 2], [1.0, 1.0, 1.0])
    solver.setOptionValue("time_limit", 0.0)
    start = ls.LinsolverSolution()
    start.col_value = np.array([1.0, 3.0])
    solver.setSolution(start)
    status, solution, objective = solve(solver)
    assert status == Status.kTimeLimit and solution.value_valid
    np.testing.assert_array_equal(solution.col_value, [1.0, 3.0, 2.0])
    assert objective == 6.0
    # The start served one run; the next run starts afresh and finishes.
    solver.setOptionValue("time_limit", INF)
    status, _, objective = solve(solver)
    assert status == Status.kOptimal and objective == pytest.approx(20.0)


def test_rows_and_columns_added_after_a_solve_join_the_model():
    solver = small_lp()
    assert solve(solver)[2] == pytest.approx(11.0)
    solver.addRow(-INF, 2.0, 1, [0], [1.0])  # x <= 2: x = 2, y = 4/3
    status, solution, objective = solve(solver)
    np.testing.assert_allclose(solution.col_value, [2.0, 4.0 / 3.0], atol=1e-9)
    solver.addVars(1, [0.0], [1.0])
    solver.changeColCost(2, 5.0)
    assert solve(solver)[2] == pytest.approx(6.0 + 8.0 / 3.0 + 5.0)


def test_status_before_any_run_is_not_set():
    assert small_lp().getModelStatus() == Status.kNotset


# -------------------------------------------------------------------- rows


@pytest.mark.parametrize(
    "index_type, value_type",
    [(np.int32, np.float64), (np.int64, np.int32), (np.uint16, np.float32), (np.int8, np.int64), (list, list)],
)
def test_rows_of_any_numeric_type_give_the_same_model(index_type, value_type):
    def convert(entries, kind):
        return list(entries) if kind is list else np.asarray(entries, dtype=kind)

    solver = new_solver()
    solver.addVars(2, np.array([0.0, 0.0]), np.array([3.0, INF]))
    solver.addRow(-INF, np.float32(4), 2, convert([0, 1], index_type), convert([1, 1], value_type))
    solver.addRow(np.int64(-10**9), 6, np.int64(2), convert([1, 0], index_type), convert([3, 1], value_type))
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(2, convert([0, 1], index_type), convert([3, 2], value_type))
    status, solution, objective = solve(solver)
    assert status == Status.kOptimal and objective == pytest.approx(11.0)


def test_row_activities_follow_the_order_rows_were_sent():
    solver = new_solver(3, 1.0, 1.0)  # every column fixed at 1
    solver.addRow(-INF, INF, 1, [0], [1.0])
    solver.addRows(2, [-INF, -INF], [INF, INF], 3, [0, 2, 3], [1, 2, 0], [2.0, 3.0, 4.0])
    solver.addRow(-INF, INF, 3, np.array([0, 1, 2]), np.array([5.0, 6.0, 7.0]))
    solver.addRows(1, -INF, INF, 1, [0], [2], [8.0])  # HiGHS's convention: m starts
    _, solution, _ = solve(solver)
    np.testing.assert_allclose(solution.row_value, [1.0, 5.0, 4.0, 18.0, 8.0])
    assert solver.num_rows == 5


def test_rows_are_copied_at_the_call():
    solver = new_solver(2, 0.0, 10.0)
    indices, values = np.array([0, 1]), np.array([1.0, 1.0])
    solver.addRow(-INF, 4.0, 2, indices, values)
    indices[:] = [1, 0]
    values[:] = [100.0, 0.0]
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(2, [0, 1], [1.0, 1.0])
    assert solve(solver)[2] == pytest.approx(4.0)


def test_row_uses_the_first_nnz_entries():
    solver = new_solver(2, 0.0, 10.0)
    solver.addRow(-INF, 4.0, 1, np.array([0, 1]), np.array([1.0, 1.0]))
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(2, [0, 1], [1.0, 1.0])
    np.testing.assert_allclose(solve(solver)[1].col_value, [4.0, 10.0])


def test_strided_row_arrays_are_read_correctly():
    solver = new_solver(3, 1.0, 1.0)
    solver.addRow(-INF, INF, 2, np.arange(6)[::2][:2], np.arange(6.0)[1::2][:2])
    np.testing.assert_allclose(solve(solver)[1].row_value, [1.0 + 3.0])


@pytest.mark.parametrize(
    "row, error, message",
    [
        ((0.0, 1.0, 2, [0, 3], [1.0, 1.0]), IndexError, "names column 3, but the model has 3 columns"),
        ((0.0, 1.0, 1, [-1], [1.0]), IndexError, "names column -1"),
        ((0.0, 1.0, 3, [0, 2, 0], [1.0, 1.0, 1.0]), ValueError, "names column 0 more than once"),
        ((0.0, 1.0, 1, [0], [np.nan]), ValueError, "not finite"),
        ((0.0, 1.0, 1, [0], [np.inf]), ValueError, "not finite"),
        ((np.nan, 1.0, 1, [0], [1.0]), ValueError, "NaN"),
        ((INF, INF, 1, [0], [1.0]), ValueError, r"lower bound \+infinity"),
        ((0.0, 1.0, 3, [0, 1], [1.0, 1.0]), ValueError, "nnz is 3"),
        ((0.0, 1.0, -1, [], []), ValueError, "must not be negative"),
        ((0.0, 1.0, 1, [0.0], [1.0]), TypeError, "integers"),
        ((0.0, 1.0, 1, np.array([True]), [1.0]), TypeError, "integers"),
        ((0.0, 1.0, 1, ["a"], [1.0]), TypeError, "numbers"),
        (("0", 1.0, 1, [0], [1.0]), TypeError, "lower must be a number"),
        ((0.0, 1.0, 1.0, [0], [1.0]), TypeError, "nnz must be an integer"),
        ((0.0, 1.0, 1, np.zeros((1, 1), dtype=int), [1.0]), ValueError, "one-dimensional"),
    ],
)
def test_bad_row_is_refused_at_the_call_and_adds_nothing(row, error, message):
    solver = new_solver(3, 0.0, 1.0)
    solver.addRow(-INF, 1.0, 1, [0], [1.0])
    with pytest.raises(error, match=message):
        solver.addRow(*row)
    assert solver.num_rows == 1
    solver.addRow(-INF, 1.0, 2, [0, 1], [1.0, 1.0])  # the model still takes rows
    assert solve(solver)[0] == Status.kOptimal
    assert solver.num_rows == 2


def test_addrow_wrong_argument_count_is_a_type_error():
    with pytest.raises(TypeError, match="5 arguments"):
        new_solver(1).addRow(0.0, 1.0, 1, [0])


def test_refused_block_adds_nothing():
    solver = new_solver(2)
    with pytest.raises(IndexError, match="row 1 names column 2"):
        solver.addRows(2, [0.0, 0.0], [1.0, 1.0], 3, [0, 1, 3], [0, 1, 2], [1.0, 1.0, 1.0])
    with pytest.raises(ValueError, match="starts"):
        solver.addRows(2, [0.0, 0.0], [1.0, 1.0], 2, [0, 2, 1], [0, 1], [1.0, 1.0])
    with pytest.raises(ValueError, match="m = 2 bounds"):
        solver.addRows(2, [0.0], [1.0, 1.0], 2, [0, 1, 2], [0, 1], [1.0, 1.0])
    assert solver.num_rows == 0


def frozen(values, dtype) -> np.ndarray:
    array = np.array(values, dtype=dtype)
    array.flags.writeable = False
    return array


def frozen_block(starts, indices, values):
    """A block as the text model's reader hands it over: read-only int32 and float64 arrays."""
    return frozen(starts, np.int32), frozen(indices, np.int32), frozen(values, np.float64)


# A row long enough that its block is borrowed, not copied: every column of a wide model.
WIDTH = 1100


def test_a_frozen_sorted_block_is_kept_in_order_between_copied_rows():
    solver = new_solver(WIDTH, 1.0, 1.0)  # every column fixed at 1
    solver.addRow(-INF, INF, 1, [0], [1.0])
    starts, indices, values = frozen_block([0, WIDTH, WIDTH + 1], [*range(WIDTH), 7], [2.0] * WIDTH + [4.0])
    solver.addRows(2, -INF, INF, WIDTH + 1, starts, indices, values)
    solver.addRow(-INF, INF, 2, [2, 0], [5.0, 6.0])
    with pytest.raises(ValueError, match="^row 4 names column 0 more than once$"):  # rows counted across blocks
        solver.addRow(-INF, INF, 2, [0, 0], [1.0, 1.0])
    assert solver._rows.pending_rows == 4
    blocks = solver._rows.take_rows()
    assert [len(block[0]) for block in blocks] == [1, 2, 1]
    # The frozen block reaches HiGHS as the caller's arrays themselves.
    assert blocks[1][2] is starts and blocks[1][3] is indices and blocks[1][4] is values
    assert (solver._rows.pending_rows, solver._rows.rows_taken) == (0, 4)
    for lower, upper, block_starts, block_indices, block_values in blocks:
        solver._highs.addRows(len(lower), lower, upper, len(block_indices), block_starts[:-1], block_indices,
                              block_values)
    _, solution, _ = solve(solver)
    np.testing.assert_allclose(solution.row_value, [1.0, 2.0 * WIDTH, 4.0, 11.0])


def test_a_small_frozen_block_joins_the_copied_rows():
    solver = new_solver(3)
    solver.addRow(-INF, INF, 1, [0], [1.0])
    solver.addRows(1, -INF, INF, 2, *frozen_block([0, 2], [0, 2], [1.0, 1.0]))
    assert [len(block[0]) for block in solver._rows.take_rows()] == [2]


@pytest.mark.parametrize(
    "row, error, message",
    [
        (([WIDTH], [1.0]), IndexError, f"^row 2 names column {WIDTH}, but the model has {WIDTH} columns$"),
        (([-1], [1.0]), IndexError, "^row 2 names column -1"),
        (([2, 2], [1.0, 1.0]), ValueError, "^row 2 names column 2 more than once$"),
        (([2, 0], [1.0, 1.0]), None, None),  # unsorted: copied and checked whole
        (([0], [np.inf]), ValueError, "^row 2 has the value inf, which is not finite$"),
        (([0], [np.nan]), ValueError, "not finite"),
        (([], []), None, None),
    ],
)
@pytest.mark.parametrize("bounds", [(0.0, 1.0), (np.nan, 1.0), (INF, INF)])
def test_a_frozen_block_is_refused_exactly_as_a_copied_one(row, error, message, bounds):
    # A long valid row, then the row on trial.
    indices, values = [*range(WIDTH), *row[0]], [1.0] * WIDTH + row[1]
    block = ([0, WIDTH, len(indices)], indices, values)

    def outcome(arrays):
        solver = new_solver(WIDTH, 0.0, 1.0)
        solver.addRow(-INF, 1.0, 1, [0], [1.0])
        try:
            solver.addRows(2, *bounds, len(indices), *arrays)
        except (IndexError, ValueError) as refusal:
            return type(refusal), str(refusal), solver.num_rows
        return None, None, solver.num_rows

    frozen_outcome = outcome(frozen_block(*block))
    assert frozen_outcome == outcome(tuple(np.array(part) for part in block))
    if bounds == (0.0, 1.0):
        refusal, text, rows = frozen_outcome
        assert refusal is error and rows == (1 if error else 3)
        assert error is None or re.search(message, text)


def test_writeable_arrays_are_copied_at_the_call():
    solver = new_solver(2, 0.0, 10.0)
    starts, indices, values = np.array([0, 2], dtype=np.int32), np.array([0, 1], dtype=np.int32), np.ones(2)
    solver.addRows(1, -INF, 4.0, 2, starts, indices, values)
    values[:] = 100.0
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(2, [0, 1], [1.0, 1.0])
    assert solve(solver)[2] == pytest.approx(4.0)


def test_rows_refused_by_highs_make_every_later_run_fail():
    solver = new_solver(1, 0.0, 1.0)
    solver.addRow(-INF, 1.0, 1, [0], [1e30])  # beyond HiGHS's large_matrix_value
    with pytest.raises(ls.LinsolverError, match="refused rows 0 to 0"):
        solver.run()
    with pytest.raises(ls.LinsolverError, match="incomplete"):
        solver.run()


# --------------------------------------------------------- other failures


@pytest.mark.parametrize(
    "name, value, error",
    [
        ("no_such_option", 1, ValueError),
        ("time_limit", -1.0, ValueError),
        ("time_limit", "soon", TypeError),
        ("threads", 1.5, TypeError),
        ("log_to_console", "yes", TypeError),
        ("presolve", "sometimes", ValueError),
        ("presolve", True, TypeError),
        (3, True, TypeError),
    ],
)
def test_bad_option_raises(name, value, error):
    with pytest.raises(error):
        new_solver().setOptionValue(name, value)


@pytest.mark.parametrize("value", [False, True, np.bool_(False), 0, 1])
def test_log_to_console_takes_a_truth_value(value):
    new_solver().setOptionValue("log_to_console", value)


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda s: s.addVars(2, [0.0], [1.0, 1.0]), ValueError),
        (lambda s: s.addVars(1, [np.nan], [1.0]), ValueError),
        (lambda s: s.addVars(-1, [], []), ValueError),
        (lambda s: s.addVars(1, ["a"], [1.0]), TypeError),
        (lambda s: s.addVars(1, [INF], [INF]), ValueError),
        (lambda s: s.changeColsIntegrality(1, [5], [1]), IndexError),
        (lambda s: s.changeColsIntegrality(1, [0], [9]), ValueError),
        (lambda s: s.changeColCost(3, 1.0), IndexError),
        (lambda s: s.changeColCost(0, np.inf), ValueError),
        (lambda s: s.changeColCost(0, "1"), TypeError),
        (lambda s: s.changeColsCost(2, [0], [1.0]), ValueError),
        (lambda s: s.changeColsCost(1, [-1], [1.0]), IndexError),
        (lambda s: s.changeColsCost(1, [0.5], [1.0]), TypeError),
        (lambda s: s.changeObjectiveSense(0), ValueError),
        (lambda s: s.setSolution(np.zeros(4)), ValueError),
        (lambda s: s.passHessian(4, 0, ls.HessianFormat.kTriangular, [0] * 5, [], []), IndexError),
        (lambda s: s.passHessian(2, 1, ls.HessianFormat.kTriangular, [0, 1], [0], [1.0]), ValueError),
        (lambda s: s.passHessian(2, 1, ls.HessianFormat.kTriangular, [0, 1, 1, 1], [0], [1.0]), ValueError),
        (lambda s: s.passHessian(2, 1, ls.HessianFormat.kTriangular, [0, 1, 1], [2], [1.0]), IndexError),
        (lambda s: s.passHessian(2, 1, ls.HessianFormat.kTriangular, [0, 1, 0], [0], [1.0]), ValueError),
        (lambda s: s.passHessian(2, 1, ls.HessianFormat.kTriangular, [0, 1, 1], [0], [np.nan]), ValueError),
        (lambda s: s.passHessian(2, 1, 7, [0, 1, 1], [0], [1.0]), ValueError),
    ],
)
def test_bad_call_raises(call, error):
    solver = new_solver(3, 0.0, 1.0)
    with pytest.raises(error):
        call(solver)


def test_counts_of_zero_change_nothing():
    solver = small_lp()
    solver.addVars(0, [], [])
    solver.changeColsIntegrality(0, None, None)
    solver.changeColsCost(0, None, None)
    solver.addRows(0, None, None, 0, None, None, None)
    status, solution, objective = solve(solver)
    assert status == Status.kOptimal and objective == pytest.approx(11.0)
    assert len(solution.col_value) == 2 and solver.num_rows == 2


# ------------------------------------------------------------- model files


def read_back_and_solve(path) -> tuple[highspy.HighsModelStatus, float]:
    highs = highspy.Highs()
    highs.setOptionValue("output_flag", False)
    assert highs.readModel(str(path)) == highspy.HighsStatus.kOk
    highs.run()
    return highs.getModelStatus(), highs.getInfo().objective_function_value


@pytest.mark.parametrize("suffix", [".mps", ".lp", ".MPS"])
@pytest.mark.parametrize(
    "build, optimum",
    [
        (small_lp, 11.0),
        (lambda: knapsack([10, 13, 7, 8, 9], [5, 7, 3, 4, 6], 15), best_knapsack_value([10, 13, 7, 8, 9], [5, 7, 3, 4, 6], 15)),
        (convex_qp, QP_MINIMUM),
    ],
    ids=["lp", "knapsack", "qp"],
)
def test_written_model_reads_back_with_the_same_optimum(tmp_path, suffix, build, optimum):
    path = tmp_path / f"model{suffix}"
    build().writeModel(str(path))
    status, objective = read_back_and_solve(path)
    assert status == highspy.HighsModelStatus.kOptimal
    assert objective == pytest.approx(optimum, abs=1e-6)


def test_a_solution_keeps_its_run_s_arrays_however_late_they_are_read():
    solver = new_solver(2, 0.0, 1.0)
    solver.addRow(-INF, 1.0, 2, [0, 1], [1.0, 1.0])
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(2, [0, 1], [2.0, 1.0])
    first = solve(solver)[1]
    solver.changeColsCost(2, [0, 1], [1.0, 2.0])
    second = solve(solver)[1]
    assert second.col_value.tolist() == [0.0, 1.0]
    assert (first.col_value.tolist(), first.row_value.tolist(), first.col_dual.shape, first.row_dual.shape) == (
        [1.0, 0.0], [1.0], (2,), (1,)
    )
    assert first.value_valid and first.dual_valid
    first.col_value = np.array([0.5, 0.5])  # a start to give back
    assert first.col_value.tolist() == [0.5, 0.5]
    assert ls.LinsolverSolution().row_dual.shape == (0,)


def test_written_model_holds_buffered_rows_and_the_widened_hessian(tmp_path):
    solver = convex_qp()
    solver.addVars(1, [0.0], [5.0])
    solver.addRow(1.0, INF, 1, [2], [1.0])  # still buffered when the file is written
    solver.changeColCost(2, 1.0)
    solver.writeModel(tmp_path / "model.mps")
    assert read_back_and_solve(tmp_path / "model.mps")[1] == pytest.approx(QP_MINIMUM + 1.0, abs=1e-6)


@pytest.mark.parametrize("name", ["model.txt", "model", "model.mps.bak"])
def test_unknown_model_file_extension_raises(tmp_path, name):
    with pytest.raises(ValueError, match=r"\.mps or \.lp"):
        small_lp().writeModel(str(tmp_path / name))
    assert not (tmp_path / name).exists()


def test_unwritable_model_file_raises(tmp_path):
    with pytest.raises(OSError, match="could not write"):
        small_lp().writeModel(str(tmp_path / "missing" / "model.lp"))


def test_written_model_holds_the_objective_offset_and_column_names(tmp_path):
    solver = small_lp()
    solver.changeObjectiveOffset(-4.5)
    solver.passColNames([0, 1], ["x(0)", "end()"])  # a name that is a keyword of the LP format, bare
    solver.run()
    assert solver.getInfo().objective_function_value == pytest.approx(11.0 - 4.5)
    for suffix in (".lp", ".mps"):
        solver.writeModel(str(tmp_path / f"model{suffix}"))
        highs = highspy.Highs()
        highs.setOptionValue("output_flag", False)
        assert highs.readModel(str(tmp_path / f"model{suffix}")) == highspy.HighsStatus.kOk
        highs.run()
        assert highs.getInfo().objective_function_value == pytest.approx(11.0 - 4.5)
        assert list(highs.getLp().col_names_) == ["x(0)", "end()"]


@pytest.mark.parametrize("names", [["x y"], [""], [3]])
def test_column_names_with_blanks_or_empty_are_refused(names):
    with pytest.raises(ValueError, match="column name"):
        new_solver(1).passColNames([0], names)


# ------------------------------------------------- columns in HiGHS's order

# The order in which HiGHS may hold the second block's six columns.
SOLVER_ORDER = np.array([4, 0, 5, 2, 1, 3])


def two_blocks(solver_order, kind: str) -> ls.LinearSolver:
    """Nine columns, each with bounds of its own: three in the caller's order, then six
    that HiGHS holds in solver_order; rows, costs, an offset and names. kind "lp" has a
    unique optimum with unique duals, "mip" makes three columns integer, "qp" adds a
    concave quadratic part over columns of both blocks to the maximised objective."""
    rng = np.random.default_rng(5)
    solver = new_solver()
    solver.addVars(3, [0.0, -1.0, 0.5], [2.0, 3.0, 4.0])
    solver.addVars(6, -0.5 * np.arange(6), 1.0 + np.arange(6), solver_order)
    if kind == "mip":
        make_integer(solver, [1, 4, 7])
    for row in range(5):
        solver.addRow(-INF, 3.0 + row, 4, rng.choice(9, size=4, replace=False), rng.uniform(0.5, 2.0, 4))
    solver.addRows(2, [1.0, -INF], [INF, 6.0], 5, [0, 3, 5], [8, 2, 5, 3, 7], [1.0, 1.0, 1.0, 2.0, -1.0])
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(9, np.arange(9), rng.uniform(0.1, 1.0, 9))
    solver.changeColCost(6, 2.0)
    solver.changeObjectiveOffset(1.5)
    solver.passColNames(np.arange(9), [f"c{column}" for column in range(9)])
    if kind == "qp":
        # H = -(2·I + the entries 1 between columns 1 and 7 and between 4 and 8).
        full = -2.0 * np.eye(9)
        full[1, 7] = full[7, 1] = full[4, 8] = full[8, 4] = -1.0
        pass_matrix(solver, np.tril(full))
    return solver


@pytest.mark.parametrize("kind", ["lp", "mip", "qp"])
def test_columns_held_in_another_order_answer_by_the_callers_numbers(kind, tmp_path):
    answers = []
    for order in (None, SOLVER_ORDER):
        solver = two_blocks(order, kind)
        status, solution, objective = solve(solver)
        files = []
        for suffix in (".lp", ".mps"):
            solver.writeModel(str(tmp_path / f"model{suffix}"))
            files.append((tmp_path / f"model{suffix}").read_text())
        answers.append((status, objective, solution, files))
    (status, objective, plain, files), (held_status, held_objective, held, held_files) = answers
    assert status == held_status == Status.kOptimal and held_objective == pytest.approx(objective)
    for array in ("col_value", "row_value") + (("col_dual", "row_dual") if kind == "lp" else ()):
        np.testing.assert_allclose(getattr(held, array), getattr(plain, array), atol=1e-7, err_msg=array)
    assert held_files == files  # files list the columns by the caller's numbers
    # HiGHS does hold them otherwise: its k-th column of the block has the bounds of the block's SOLVER_ORDER[k].
    lower = np.asarray(two_blocks(SOLVER_ORDER, kind)._highs.getLp().col_lower_)
    assert lower[3:].tolist() == (-0.5 * SOLVER_ORDER).tolist()


def test_a_start_reaches_columns_held_in_another_order_padded_by_their_bounds():
    for order in (None, [2, 0, 3, 1]):
        solver = new_solver(2, 0.0, 10.0)
        solver.addVars(4, [1.0, 2.0, 3.0, 4.0], [10.0] * 4, order)
        make_integer(solver, np.arange(6))
        solver.addRow(-INF, 40.0, 6, np.arange(6), np.ones(6))
        solver.changeObjectiveSense(ls.ObjSense.kMaximize)
        solver.changeColsCost(6, np.arange(6), np.ones(6))
        solver.setOptionValue("time_limit", 0.0)
        solver.setSolution(np.array([5.0, 6.0, 7.0, 8.0]))  # the last two columns take their lower bounds
        status, solution, objective = solve(solver)
        assert status == Status.kTimeLimit and solution.value_valid
        assert solution.col_value.tolist() == [5.0, 6.0, 7.0, 8.0, 3.0, 4.0], order
        assert objective == 33.0


def test_integer_columns_of_a_quadratic_objective_are_named_by_the_callers_numbers():
    solver = two_blocks(SOLVER_ORDER, "qp")
    make_integer(solver, [3, 8])
    with pytest.raises(ls.LinsolverError, match=r"integer columns: 3, 8$"):
        solver.run()


@pytest.mark.parametrize("order", [[0, 1], [0, 0, 1], [0, 1, 3], [-1, 0, 1], [0.0, 1.0, 2.0]])
def test_a_solver_order_that_is_no_permutation_is_refused_and_adds_no_column(order):
    solver = new_solver(1)
    with pytest.raises((ValueError, TypeError), match="solver_order"):
        solver.addVars(3, np.zeros(3), np.ones(3), order)
    assert solver.num_columns == 1 and solver._highs.getNumCol() == 1


# ----------------------------------------------------------- QP stopping

# Six columns in [-10, 4.25], one equality row over two columns the objective
# leaves out: HiGHS's QP method cycles on it without end unless stopped.
CYCLING_QP_OPTIMUM = 166.625


def cycling_qp() -> ls.LinearSolver:
    solver = new_solver(6, lower=-10.0, upper=4.25)
    solver.changeObjectiveSense(ls.ObjSense.kMaximize)
    solver.changeColsCost(3, [0, 3, 5], [-168.0, -6.0, 2.5])
    # ½·xᵀHx with H = diag(-96, 0, 0, -2, 0, 0): -48 y0² - y3².
    solver.passHessian(6, 2, ls.HessianFormat.kTriangular, [0, 1, 1, 1, 2, 2, 2], [0, 3], [-96.0, -2.0])
    solver.addRow(3.0, 3.0, 2, [1, 2], [1.0, -1.0])
    return solver


def test_a_cycling_qp_stops_at_the_default_iteration_limit_with_its_solution(request):
    with fails_instead_of_hanging(request, 120):
        status, solution, objective = solve(cycling_qp())
    assert status in (Status.kOptimal, Status.kIterationLimit) and solution.value_valid
    assert objective == pytest.approx(CYCLING_QP_OPTIMUM)
    values = solution.col_value
    assert values[1] - values[2] == pytest.approx(3.0) and values[[0, 3, 5]] == pytest.approx([-1.75, -3, 4.25])


def test_the_callers_qp_iteration_limit_overrides_the_default(request):
    solver = cycling_qp()
    solver.setOptionValue("qp_iteration_limit", 25)
    with fails_instead_of_hanging(request, 120):
        status, _, _ = solve(solver)
    assert status == Status.kIterationLimit and solver.getInfo().qp_iteration_count <= 30  # HiGHS counts one more
