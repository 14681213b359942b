"""The array model: variables as blocks of solver columns, constraints as sparse rows."""

from __future__ import annotations

import math
import os
import typing as tp
from enum import Enum, auto
from functools import reduce
from operator import mul

import numpy as np
from scipy.sparse import csc_array

import halvex.kelvo_engine.linsolver as linsolver
from vx_encoder._exceptions import *  # noqa: F401,F403
from vx_encoder.core.vx_logger import *  # noqa: F401,F403
from vx_encoder.linear_parser2._expression import _CoefType, LinearExpression, LinearExpressionsArr
from vx_encoder.core.refusal import refuse
from vx_encoder.core.solver_results import Hessian, SolverResults
from vx_encoder.core.variable_checks import checked_sizes, checked_start_values, refuse_bounds_no_column_takes
from vx_encoder.linear_parser2.variable import ColumnOwner, VariableArray

DEBUG = os.environ.get("DEBUG_SOLVER_MODE", False)

_BORDER_SET_TWICE = "The border is set twice"
_INT32 = np.iinfo(np.int32)


class SolutionStatus(Enum):
    """How a solve ended: ``OPTIMAL``, ``SUBOPTIMAL`` (a time or iteration limit stopped a run that has a solution) or ``INFEASIBLE`` (no solution)."""
    OPTIMAL = auto()
    SUBOPTIMAL = auto()
    INFEASIBLE = auto()


class VariableType(Enum):
    """The kind of a variable array's columns: ``REAL``, ``INTEGER`` or ``BINARY`` (0 or 1)."""
    REAL = auto()
    INTEGER = auto()
    BINARY = auto()


inf = linsolver.kLinsolverInf


class LinearModel(SolverResults):
    """An interface for initializing and solving a MILP problem with a quadratic objective function"""

    def __init__(self, log_solver: bool = False, **options):
        """Create a mixed-integer model stated with variable arrays and sparse rows.

        Args:
            log_solver: Let the solver write its log to the console.
            **options: Solver options, each set by name (``time_limit=10``).

        Raises:
            ValueError: The solver refuses an option or its value.
        """
        self._create_solver(log_solver, options)
        self._used_vars: set[str] = set()
        self._general_shift_variables = 0
        self._variables: dict[str, VariableArray] = {}
        self._prev_solution: tp.Optional[np.ndarray] = None
        self._owner = ColumnOwner(self._variables)

    # Variables

    def get_variable(
        self,
        name: str,
        variable_type: VariableType,
        lower_bound: tp.Union[int, float] = -inf,
        upper_bound: tp.Union[int, float] = inf,
        **shape: int,
    ) -> VariableArray:
        """Create a variable array: a block of solver columns shaped by named dimensions.

        Args:
            name: The variable's name, an identifier.
            variable_type: ``VariableType.REAL``, ``INTEGER`` or ``BINARY``.
            lower_bound: The lower bound of every column (0 for binary variables).
            upper_bound: The upper bound of every column (1 for binary variables).
            **shape: Each dimension's name with its size.

        Returns:
            The variable array; indexing it gives rows (``make[:, 0]``). Results of an
            integer variable are 64-bit where a bound or a value passes 32 bits.

        Raises:
            ValueError: The name is not an identifier, a size is not a non-negative
                integer, the bounds leave no value (NaN, or a lower bound above the upper
                one) or the type is unknown.
            VariableError: The name is already in use.
        """
        if not name or not name.isidentifier():
            refuse(ValueError, "Linear variable must have a non-empty name containing only letters")
        if name in self._used_vars:
            refuse(VariableError, "Linear variable named " + name + " is already in use")
        sizes = checked_sizes(name, shape)
        refuse_bounds_no_column_takes(name, lower_bound, upper_bound, variable_type != VariableType.BINARY)
        if variable_type not in (VariableType.INTEGER, VariableType.REAL, VariableType.BINARY):
            refuse(ValueError, "Invalid variable format")
        if DEBUG and variable_type == VariableType.INTEGER and (
            (lower_bound != -inf and not isinstance(lower_bound, int))
            or (upper_bound != inf and not isinstance(upper_bound, int))
        ):
            refuse(ValueError, "For integer variables, the boundaries must be integers")
        # Every refusal comes before the first solver call: a refused variable
        # leaves the model as it was, its name free.
        count = reduce(mul, sizes, 1)
        first_column = self._general_shift_variables
        if variable_type == VariableType.INTEGER:
            self.__add_columns(count, np.float64, lower_bound, upper_bound)
            self.__mark_integer(count, first_column)
            type_var = _integer_result_type(lower_bound, upper_bound)
        elif variable_type == VariableType.REAL:
            self.__add_columns(count, np.float64, lower_bound, upper_bound)
            type_var = np.float64
        else:
            lower_bound, upper_bound = 0, 1
            self.__add_columns(count, np.int32, lower_bound, upper_bound)
            self.__mark_integer(count, first_column)
            type_var = np.int32
        variable = VariableArray(
            name, tuple(sizes), lower_bound, upper_bound, type_var, first_column, owner=self._owner
        )
        self._used_vars.add(name)
        self._variables[name] = variable
        return variable

    def __add_columns(self, count: int, dtype, lower_bound, upper_bound) -> None:
        self._linsolver_model.addVars(
            count,
            np.full(count, fill_value=lower_bound, dtype=dtype),
            np.full(count, fill_value=upper_bound, dtype=dtype),
        )
        # Counted as soon as the solver has them, so that the model's numbering and
        # the solver's columns still agree if a later step of get_variable fails.
        self._general_shift_variables += count
        VariableArray._total_created_variables += count

    def __mark_integer(self, count: int, first_column: int) -> None:
        self._linsolver_model.changeColsIntegrality(
            count,
            np.arange(first_column, first_column + count),
            np.full(count, fill_value=linsolver.LinsolverVarType.kInteger),
        )

    # Constraints and objective

    def add_constraint(
        self,
        constraint: LinearExpression,
        lower_bound: tp.Optional[tp.SupportsFloat] = None,
        upper_bound: tp.Optional[tp.SupportsFloat] = None,
        equation_bound: tp.Optional[tp.SupportsFloat] = None,
    ) -> None:
        """Add one row.

        Bounds come from the expression (``(e <= 5) >= 1``) or from the arguments;
        each side may be given once.

        Args:
            constraint: A one-row expression.
            lower_bound: The lower bound.
            upper_bound: The upper bound.
            equation_bound: Both bounds at once.

        Raises:
            ValueError: A bound is given both here and in the expression, or the row
                holds another model's variables.
            FormulaError: The expression has a quadratic part.
            BuildError: ``constraint`` is not a one-row expression, or ``equation_bound``
                is given beside another bound.
        """
        _refuse_other_kinds(constraint, LinearExpression, LinearExpressionsArr, "add_constraints")
        if equation_bound is not None:
            _refuse_bounds_beside_equation(lower_bound, upper_bound)
            lower_bound = upper_bound = equation_bound
        lower_bound = self._border_given_once(lower_bound, constraint.lower_bound)
        upper_bound = self._border_given_once(upper_bound, constraint.upper_bound)
        if lower_bound is None:
            lower_bound = -inf
        if upper_bound is None:
            upper_bound = inf
        quadratic = constraint.quadratic_coefficients
        if quadratic is not None and quadratic.count_nonzero():
            refuse(FormulaError, "A constraint must be linear: quadratic terms are allowed only in the target")
        self.__refuse_other_models(constraint, "constraint")
        row = _canonical(constraint.linear_coefficients)
        self._linsolver_model.addRow(
            float(lower_bound - constraint.constant),
            float(upper_bound - constraint.constant),
            row.nnz,
            row.indices,
            row.data,
        )

    def add_constraints(
        self,
        constraints: LinearExpressionsArr,
        lower_bounds: tp.Optional[np.ndarray] = None,
        upper_bounds: tp.Optional[np.ndarray] = None,
        equation_bounds: tp.Optional[np.ndarray] = None,
    ) -> None:
        """Add one row per row of an expression array.

        Args:
            constraints: An array of rows, possibly bounded (``x[:] <= 3``).
            lower_bounds: A number or one lower bound per row.
            upper_bounds: A number or one upper bound per row.
            equation_bounds: Both bounds at once, one per row.

        Raises:
            ValueError: A bound is given both here and in the expression, or the rows
                hold another model's variables.
            BuildError: ``constraints`` is not an expression array, or ``equation_bounds``
                is given beside another bound.
        """
        _refuse_other_kinds(constraints, LinearExpressionsArr, LinearExpression, "add_constraint")
        if equation_bounds is not None:
            _refuse_bounds_beside_equation(lower_bounds, upper_bounds)
            lower_bounds = equation_bounds.copy()
            upper_bounds = equation_bounds.copy()
        lower_bounds = self._border_given_once(lower_bounds, constraints.lower_bounds)
        upper_bounds = self._border_given_once(upper_bounds, constraints.upper_bounds)
        self.__refuse_other_models(constraints, "constraints")
        constants = constraints.constants
        matrix = _canonical(constraints.linear_coefficients)
        self._linsolver_model.addRows(
            constraints.num_constraints,
            _row_bounds(lower_bounds, constants, -inf),
            _row_bounds(upper_bounds, constants, inf),
            matrix.nnz,
            matrix.indptr,
            matrix.indices,
            matrix.data,
        )

    def add_target(self, target: LinearExpression, minimization: bool) -> None:
        """Set the whole objective, replacing an earlier one; its constant is the solver's objective offset.

        Args:
            target: A linear expression, possibly with a quadratic part (``x * x``).
            minimization: Minimise (True) or maximise (False).

        Raises:
            BuildError: ``target`` is not a linear expression, or its quadratic part names
                columns the model lacks.
            ValueError: The target holds another model's variables.
        """
        if not isinstance(target, LinearExpression):
            refuse(BuildError, f"Unknown type {type(target)} for target")
        self.__refuse_other_models(target, "target")
        row = _canonical(target.linear_coefficients)
        quadratic = target.quadratic_coefficients
        hessian = None
        if quadratic is not None:
            matrix = self.__hessian_of(quadratic)
            hessian = Hessian(self._general_shift_variables, matrix.indptr, matrix.indices, matrix.data)
        self._replace_objective(
            minimization, row.indices, row.data, hessian, target.constant, self._general_shift_variables
        )

    def __refuse_other_models(self, expression: tp.Union[LinearExpression, LinearExpressionsArr], what: str) -> None:
        """Rows of another model's variables name columns of this model by their numbers."""
        owners = expression._owners
        if owners and (len(owners) > 1 or self._owner not in owners):
            others = "; ".join(owner.variable_names() for owner in owners if owner is not self._owner)
            refuse(
                ValueError,
                f"The {what} holds variables of another model ({others}); "
                f"this model's variables are: {self._owner.variable_names()}",
            )

    def __hessian_of(self, quadratic) -> csc_array:
        """The solver's H for the objective term xᵀQx: it reads ½·xᵀHx, so H = Q + Qᵀ
        (2Q for a symmetric Q), sized to this model's columns."""
        side = self._general_shift_variables
        square = csc_array(quadratic)
        columns = square.shape[1]
        entries_beyond = square.nnz and (
            square.indices.max() >= side or (columns > side and square.indptr[side] != square.nnz)
        )
        if entries_beyond:
            refuse(BuildError, f"The quadratic part of the target names columns beyond the model's {side} columns")
        if columns >= side:
            starts = square.indptr[: side + 1]
        else:
            starts = np.concatenate((square.indptr, np.full(side - columns, square.nnz, dtype=square.indptr.dtype)))
        square = csc_array((square.data, square.indices, starts), shape=(side, side))
        hessian = (square + square.T).tocsc()
        hessian.sort_indices()
        return hessian

    @staticmethod
    def _set_border(first_border: _CoefType, second_border: _CoefType) -> _CoefType:
        if DEBUG and first_border is not None and second_border is not None:
            raise BuildError(_BORDER_SET_TWICE)
        return first_border if first_border is not None else second_border

    # Solving and results

    def set_solution(self, variable_name: str, solution: np.ndarray) -> None:
        """Give start values of one variable for the next solve; other columns start at 0.

        Args:
            variable_name: The variable's name.
            solution: Values shaped like the variable (or flat, in row-major order).

        Raises:
            KeyError: No variable has that name.
            ValueError: A start value is NaN or infinite; nothing changes.
        """
        variable = self._variables[variable_name]
        columns = variable._map()
        solution = checked_start_values(variable_name, solution, len(columns))
        if self._prev_solution is None:
            self._prev_solution = np.zeros(self._general_shift_variables)
        missing = self._general_shift_variables - self._prev_solution.size
        if missing > 0:
            # Variables created since the first start values begin at 0.0 as well.
            self._prev_solution = np.concatenate((self._prev_solution, np.zeros(missing)))
        self._prev_solution[columns] = solution

    def solve(self, is_feasible: bool = False) -> SolutionStatus:
        """Solve the model.

        Args:
            is_feasible: Raise instead of reporting a model that was not solved.

        Returns:
            ``SolutionStatus.OPTIMAL``; ``SUBOPTIMAL`` when a time or iteration limit
            stopped a run that has a solution; ``INFEASIBLE`` when there is no solution.

        Raises:
            SolverError: The solver refuses the model (a quadratic objective over
                integer columns, a non-convex one), or there is no solution and
                ``is_feasible`` is true.
        """
        self._start_from(self._prev_solution)
        self.__run()
        optimal = self._read_outcome()
        if optimal is not None:
            return SolutionStatus.OPTIMAL if optimal else SolutionStatus.SUBOPTIMAL
        message = "The model was not solved correctly"
        if is_feasible:
            refuse(SolverError, message)
        log_w(message)
        return SolutionStatus.INFEASIBLE

    def __run(self) -> None:
        # A model the solver refuses (such as a quadratic objective over integer
        # columns) is not an infeasible one: report the solver's reason.
        try:
            self._linsolver_model.run()
        except linsolver.LinsolverError as error:
            refuse(SolverError, str(error))

    def _result_columns(self, variable: VariableArray) -> np.ndarray:
        return variable._map()


def _integer_result_type(lower_bound: tp.Union[int, float], upper_bound: tp.Union[int, float]) -> type:
    """Results of an integer variable are 32-bit unless a finite bound reaches past that range."""
    finite = [bound for bound in (lower_bound, upper_bound) if not (isinstance(bound, float) and math.isinf(bound))]
    return np.int32 if all(_INT32.min <= bound <= _INT32.max for bound in finite) else np.int64


def _refuse_other_kinds(constraint, accepted: type, mistaken: type, instead: str) -> None:
    if isinstance(constraint, accepted):
        return
    if isinstance(constraint, mistaken):
        refuse(BuildError, f"To add a constraint of type '{mistaken.__name__}', the '{instead}' function is used.")
    refuse(BuildError, f"Unknown type {type(constraint)}")


def _refuse_bounds_beside_equation(lower_bound, upper_bound) -> None:
    # The equation bound would silently replace them.
    if lower_bound is not None or upper_bound is not None:
        refuse(BuildError, _BORDER_SET_TWICE)


def _row_bounds(bounds, constants: np.ndarray, open_side: float) -> np.ndarray:
    """Bounds of a block of rows less their constants, as the solver's 64-bit floats; an
    open side stays infinite whatever the constants (and whatever their type)."""
    if bounds is None:
        return np.full(constants.shape, open_side, dtype=np.float64)
    return np.ascontiguousarray(np.asarray(bounds, dtype=np.float64) - constants, dtype=np.float64)


def _canonical(sparse):
    """The solver refuses a column named twice in one row: repeated entries of a row
    built by hand are added up first (rows built by the operators never have any)."""
    if sparse.has_canonical_format:
        return sparse
    sparse = sparse.copy()
    sparse.sum_duplicates()
    return sparse
