"""What both linear models do with the engine's solver around their own rows:
the solver and its options, the objective, reading a run's outcome, the
results and model files."""

import math
import typing as tp

import numpy as np

import halvex.kelvo_engine.linsolver as linsolver
from vx_encoder._exceptions import SolverError
from vx_encoder.core.column_names import cell_names
from vx_encoder.core.model_file import FilePath, write_model_file
from vx_encoder.core.refusal import refuse
from vx_encoder.core.variable_results import values_shaped_like
from vx_encoder.core.vx_logger import log_w

NO_SOLUTION = "There is no solution to the problem. Run 'solve' to find it"

# Outcomes of a run stopped early, with the warning given when the run left a usable solution.
_STOPPED_EARLY = {
    linsolver.LinsolverModelStatus.kTimeLimit:
        "Solution is suboptimal due to a time limit, but a primal solution is available",
    linsolver.LinsolverModelStatus.kIterationLimit:
        "Solution is suboptimal due to an iteration limit, but a primal solution is available",
}


class Hessian(tp.NamedTuple):
    """A quadratic part for the solver: side, then column starts, row numbers and values by column."""

    side: int
    starts: np.ndarray
    rows: np.ndarray
    values: np.ndarray


class SolverResults:
    """A base of the linear models: they name the columns of a variable
    (`_result_columns`) and map the outcome to their own status."""

    def _create_solver(self, log_solver: bool, options: tp.Mapping[str, tp.Any]) -> None:
        self._linsolver_model = linsolver.LinearSolver()
        self._linsolver_model.setOptionValue("log_to_console", log_solver)
        for name, value in options.items():
            self._linsolver_model.setOptionValue(name, value)
        self._solution = None
        self._solution_values: tp.Optional[np.ndarray] = None
        self._objective_value = None
        # The current objective, so that a new target replaces all of it.
        self._target_columns = np.zeros(0, dtype=np.int64)
        self._target_has_hessian = False
        # Variables whose columns carry their names in the solver (for model files).
        self._named_variables = 0

    def _result_columns(self, variable) -> np.ndarray:
        raise NotImplementedError

    def _replace_objective(
        self, minimization: bool, columns: np.ndarray, costs: np.ndarray, hessian: tp.Optional[Hessian],
        constant: float, side: int,
    ) -> None:
        """Makes the target the whole objective, with its sense: costs of columns only the
        previous target named go back to 0, its Hessian goes, and the constant is the solver's
        objective offset, so that the reported value and model files include it. `side` is the
        model's column count. A refused target changes nothing: every check comes first."""
        if not math.isfinite(constant):
            refuse(ValueError, f"The constant of a target must be finite, not {constant}")
        quadratic = () if hessian is None else hessian.values
        if not (np.isfinite(np.asarray(costs, dtype=np.float64)).all()
                and np.isfinite(np.asarray(quadratic, dtype=np.float64)).all()):
            refuse(ValueError, "The coefficients of a target must be finite")
        solver = self._linsolver_model
        solver.changeObjectiveSense(linsolver.ObjSense.kMinimize if minimization else linsolver.ObjSense.kMaximize)
        old = self._target_columns
        if len(old):
            solver.changeColsCost(len(old), old, np.zeros(len(old)))
            self._target_columns = np.zeros(0, dtype=np.int64)
        solver.changeColsCost(len(columns), columns, costs)
        self._target_columns = np.asarray(columns, dtype=np.int64)
        solver.changeObjectiveOffset(constant)
        if hessian is not None:
            solver.passHessian(
                hessian.side, len(hessian.values), linsolver.HessianFormat.kTriangular,
                hessian.starts, hessian.rows, hessian.values,
            )
        elif self._target_has_hessian:
            solver.passHessian(side, 0, linsolver.HessianFormat.kTriangular, np.zeros(side + 1, dtype=np.int64), [], [])
        self._target_has_hessian = hessian is not None

    def _start_from(self, start_values: tp.Optional[np.ndarray]) -> None:
        if start_values is not None:
            start = linsolver.LinsolverSolution()
            start.col_value = start_values
            self._linsolver_model.setSolution(start)

    def _read_outcome(self) -> tp.Optional[bool]:
        """Keeps the run's solution: True when optimal, False when a time or iteration
        limit left a feasible one, None when there is none to keep."""
        solver = self._linsolver_model
        self._solution = solver.getSolution()
        status = solver.getModelStatus()
        optimal = status == linsolver.LinsolverModelStatus.kOptimal
        if not optimal:
            warning = _STOPPED_EARLY.get(status)
            if warning is None or not self._solution.value_valid:
                return None
            log_w(warning)
        self._solution_values = np.array(self._solution.col_value)
        self._objective_value = solver.getInfo().objective_function_value
        return optimal

    @property
    def objective_value(self) -> float:
        """The objective value of the last solve.

        Raises:
            SolverError: No solve has found a solution.
        """
        if self._solution_values is None:
            refuse(SolverError, NO_SOLUTION)
        return self._objective_value

    def get_linsolver_solution(self) -> linsolver.LinsolverSolution:
        """The solver's own solution of the last solve.

        Returns:
            The engine's ``LinsolverSolution`` (column and row values).

        Raises:
            SolverError: The model was not solved.
        """
        if self._solution is None:
            refuse(SolverError, NO_SOLUTION)
        return self._solution

    def get_result(self, variable_name: str) -> np.ndarray:
        """The values of one variable in the last solution.

        Args:
            variable_name: The variable's name.

        Returns:
            An array shaped like the variable; integer and binary values are rounded
            to the nearest integer.

        Raises:
            SolverError: No solve has found a solution.
            KeyError: No variable has that name.
        """
        if self._solution_values is None:
            refuse(SolverError, NO_SOLUTION)
        variable = self._variables[variable_name]
        return values_shaped_like(self._solution_values, self._result_columns(variable), variable.type,
                                  variable.shape)

    def write_model(self, model_path: FilePath) -> None:
        """Write the model to a file: MPS for ``.mps``, the LP format for ``.lp``.

        The file's folders are created.

        Args:
            model_path: The file to write: str, bytes or os.PathLike, as ``open()`` takes it.

        Raises:
            TypeError: The path is not str, bytes or os.PathLike.
            ValueError: The name holds a NUL character or ends in neither ``.mps`` nor ``.lp``.
            OSError: The file cannot be written.
        """
        self.__name_new_columns()
        write_model_file(self._linsolver_model, model_path)

    def __name_new_columns(self) -> None:
        """Columns written to a file read as their variable's cells, such as x(0,1)."""
        variables = list(self._variables.items())
        for name, variable in variables[self._named_variables:]:
            columns = self._result_columns(variable)
            self._linsolver_model.passColNames(columns, cell_names(name, variable.shape))
        self._named_variables = len(variables)

    @staticmethod
    def _border_given_once(first_border, second_border):
        if first_border is not None and second_border is not None:
            raise ValueError("The border is set twice")
        return first_border if first_border is not None else second_border
