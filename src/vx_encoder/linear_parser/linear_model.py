import builtins
from enum import Enum, auto
import keyword
from functools import reduce
from operator import mul
import typing as tp

import numpy as np
import halvex.kelvo_engine.linsolver as linsolver

from vx_encoder._exceptions import VariableError, SolverError, FormulaError
from vx_encoder.core.refusal import refuse, refuse_reserved_name
from vx_encoder.core.solver_results import Hessian, SolverResults
from vx_encoder.core.variable_checks import checked_sizes, checked_start_values, refuse_bounds_no_column_takes
from vx_encoder.linear_parser.linear_variables import LinearVariable, Index, columns_in_row_major_order
from vx_encoder.linear_parser.compiled_linear_expressions import CompiledSum, CompiledLinearExpression, rows_by_row
from vx_encoder.linear_parser.linear_expression import (
    LinearExpression, _is_number, refuse_index_values_not_iterable,
)
from vx_encoder.core.expression_evaluator import evaluate_expression_text
from vx_encoder.core.vx_logger import *

inf = linsolver.kLinsolverInf

_NOT_SOLVED = "The model was not solved correctly"
# Prefix of the names under which add_constraint binds its foralls values for
# the evaluation; a variable of the same name is never shadowed (see
# __bind_forall_values).
_FORALL_VALUES = "_forall_values_"


def _native_text():
    """The native text reader, imported on first use: loading the sub-package loads
    only its four modules of expressions and the model."""
    from vx_encoder.linear_parser import native_text

    return native_text


class SolutionStatus(Enum):
    """How a solve ended: ``OPTIMAL``, or ``SUBOPTIMAL`` when a time or iteration limit stopped a run that has a solution."""
    OPTIMAL = auto()
    SUBOPTIMAL = auto()


class VariableType(Enum):
    """The kind of a linear variable's columns: ``REAL``, ``INTEGER`` or ``BINARY`` (0 or 1)."""
    REAL = auto()
    INTEGER = auto()
    BINARY = auto()


def _integer_result_type(lo: int, hi: int) -> str:
    """Results of an integer variable are 32-bit unless its bounds reach past that range."""
    limits = np.iinfo(np.int32)
    return "int32" if all(limits.min <= bound <= limits.max for bound in (lo, hi)) else "int64"


class LinearModel(SolverResults):
    """A mixed-integer linear problem with an optional quadratic objective, written as expression text.

    Args:
        log_solver: Let the solver write its log to the console.
        **options: Solver options, each set by name (``time_limit=10``).

    Raises:
        ValueError: The solver refuses an option or its value.
    """

    def __init__(self, log_solver: bool = False, **options):
        self._create_solver(log_solver, options)
        self._used_vars = set()
        self._general_shift_variable = 0
        self._variables = {}
        self._indexes = {}
        self._formulas_dir = {"CompiledSum": CompiledSum}
        self._prev_solution = None

    def get_variables(
        self,
        name: str,
        variable_type: VariableType,
        lo: tp.Union[int, float] = -inf,
        hi: tp.Union[int, float] = inf,
        **dims: int,
    ) -> LinearVariable:
        """Create a variable: a block of solver columns over named dimensions.

        Args:
            name: The variable's name, an identifier.
            variable_type: ``VariableType.REAL``, ``INTEGER`` or ``BINARY``.
            lo: The lower bound of every column (ignored for binary variables).
            hi: The upper bound of every column (ignored for binary variables).
            **dims: Each dimension's name with its non-negative integer size.

        Returns:
            The variable: ``x[i, j]`` writes an element for expressions.

        Raises:
            ValueError: The name is not an identifier or is reserved by the expression
                language (a keyword, CompiledSum or a built-in name), a size is not a non-negative
                integer, the bounds leave no value (NaN, or a lower bound above the upper
                one), an integer variable's bounds are not integers, or the type is unknown.
            VariableError: The name is already in use.
        """
        if not isinstance(name, str) or not name or not name.isidentifier():
            refuse(ValueError, "Linear variable must have a non-empty name containing only letters")
        self.__refuse_reserved_name("Linear variable", name)
        if name in self._used_vars:
            refuse(VariableError, "Linear variable named " + name + " is already in use")
        sizes = checked_sizes(name, dims)
        refuse_bounds_no_column_takes(name, lo, hi, variable_type != VariableType.BINARY)
        if variable_type not in (VariableType.INTEGER, VariableType.REAL, VariableType.BINARY):
            refuse(ValueError, "Invalid variable format")
        count = reduce(mul, sizes, 1)
        first_column = self._general_shift_variable
        # Every refusal comes before the first solver call: a refused variable
        # leaves the model as it was, its name free.
        if variable_type == VariableType.INTEGER:
            lower, upper = self.__integer_bounds(name, lo, hi, count)
            self.__add_columns(sizes, lower, upper)
            self.__mark_integer(first_column, count)
            type_name = _integer_result_type(lo, hi)
        elif variable_type == VariableType.REAL:
            self.__add_columns(
                sizes, np.full(count, fill_value=lo, dtype=np.float64), np.full(count, fill_value=hi, dtype=np.float64)
            )
            type_name = "float64"
        else:
            self.__add_columns(sizes, np.zeros(count, dtype=np.int32), np.ones(count, dtype=np.int32))
            self.__mark_integer(first_column, count)
            type_name = "int32"
        variable = LinearVariable(name, lo, hi, dims, first_column, type_var=type_name)
        self._used_vars.add(name)
        self._variables[name] = variable
        return variable

    # One name gives its index, more give a list: a checker cannot count a
    # list's names, so the general case is left to the caller.
    @tp.overload
    def get_indexes(self, indexes: tp.Tuple[str]) -> Index: ...

    @tp.overload
    def get_indexes(self, indexes: tp.Sequence[str]) -> tp.Any: ...

    def get_indexes(self, indexes: tp.Sequence[str]) -> tp.Union[Index, tp.List[Index]]:
        """Provides indexes for writing expressions.

        :param indexes: sequence of index names.
        :return: sequence of indexes or single index.
        """
        if len(indexes) == 0:
            refuse(ValueError, "The indexes parameter must contain a non-empty sequence of index names")
        for name in indexes:
            self.__refuse_reserved_name("Index", name)
            if name in self._used_vars:
                refuse(VariableError, "Index named " + name + " is already in use")
        # Stored once every name has passed, so that a refused call stores none.
        result = [Index(name) for name in indexes]
        self._indexes.update((index_object.name, index_object) for index_object in result)
        return result if len(result) > 1 else result[0]

    def add_constraint(
        self,
        expression: LinearExpression,
        lo: tp.Optional[tp.SupportsFloat] = None,
        hi: tp.Optional[tp.SupportsFloat] = None,
        eq: tp.Optional[tp.SupportsFloat] = None,
        **foralls,
    ) -> None:
        """Add one row for every combination of the ``foralls`` values.

        Bounds come from the expression (``e <= 5``) or from ``lo``, ``hi`` or ``eq``;
        each side may be given once.

        Args:
            expression: A linear expression, usually compared with a number.
            lo: The lower bound.
            hi: The upper bound.
            eq: Both bounds at once.
            **foralls: Each index's name with its values; a string is evaluated as text
                (``j="range(i)"``), any other value is iterated as it is.

        Raises:
            TypeError: ``expression`` is not a linear expression, a bound is not a
                number, a ``foralls`` value is neither text nor iterable, or a row is not
                a linear expression.
            ValueError: A bound is given twice.
            FormulaError: A row has a quadratic part.
            IndexError: Index values lie outside a variable's dimensions.
        """
        if not isinstance(expression, LinearExpression):
            refuse(TypeError, "Type 'LinearExpression' is expected for constraint")
        lo = self._border_given_once(lo, expression.lo)
        hi = self._border_given_once(hi, expression.hi)
        if eq is not None:
            if lo is not None or hi is not None:
                raise ValueError("The borders is set twice")
            lo = hi = eq
        lo = -inf if lo is None else lo
        hi = inf if hi is None else hi
        for border in (lo, hi):
            if not _is_number(border):
                refuse(TypeError, f"The borders of a constraint must be numbers, not {border!r}")
        for name, values in foralls.items():
            refuse_index_values_not_iterable(name, values)

        # One row of numbered terms is read as numbers, anything else from its text.
        rows = None if foralls else _native_text().read_numbered_rows(expression, self._variables)
        if rows is None:
            rows = self.__rows_of_text(expression, foralls)
        constants, starts, indexes, coefficients = rows
        if not len(constants):
            return
        self._linsolver_model.addRows(
            len(constants), lo - constants, hi - constants, len(indexes), starts, indexes, coefficients
        )

    def add_target(self, expression: LinearExpression, minimization: bool) -> None:
        """Set the objective; a new target replaces the whole previous one, and its constant
        is the solver's objective offset.

        Args:
            expression: A linear or quadratic expression, or a number.
            minimization: Minimise (True) or maximise (False).

        Raises:
            TypeError: The target is neither a number nor a linear or quadratic expression.
        """
        # Numbered terms are read as numbers, anything else from its text.
        target = _native_text().read_numbered_expression(expression, self._variables)
        if target is None:
            target = self.__target_of_text(str(expression))
        if _is_number(target):
            target = CompiledSum([target])
        elif not isinstance(target, CompiledLinearExpression):
            refuse(TypeError, "The target must evaluate to a linear or quadratic expression")

        dimension = self._general_shift_variable
        hessian = Hessian(dimension, *target._hessian_by_column(dimension)) if target._has_quadratic_part else None
        self._replace_objective(
            minimization, target.linear_coefficients_indexes, target.linear_coefficients, hessian, target.constant,
            dimension,
        )

    def set_solution(self, variable_name: str, solution: np.ndarray) -> None:
        """Give start values of one variable for the next solve; other columns start at 0.

        Args:
            variable_name: The variable's name.
            solution: Values shaped like the variable (or flat, in row-major order).

        Raises:
            KeyError: No variable has that name.
            ValueError: A start value is NaN or infinite; nothing changes.
        """
        columns = self._variables[variable_name]._columns()
        solution = checked_start_values(variable_name, solution, len(columns))
        self.__grow_warm_start()
        self._prev_solution[columns] = solution

    def solve(self) -> SolutionStatus:
        """Solve the model.

        Returns:
            ``SolutionStatus.OPTIMAL``, or ``SUBOPTIMAL`` when a time or iteration limit
            stopped a run that has a solution.

        Raises:
            SolverError: The model is infeasible, unbounded, not solved, or refused by
                the solver.
        """
        if self._prev_solution is not None:
            self.__grow_warm_start()
        self._start_from(self._prev_solution)
        try:
            self._linsolver_model.run()
        except linsolver.LinsolverError as error:
            log_e(_NOT_SOLVED)
            raise SolverError(_NOT_SOLVED) from error
        optimal = self._read_outcome()
        if optimal is None:
            refuse(SolverError, _NOT_SOLVED)
        return SolutionStatus.OPTIMAL if optimal else SolutionStatus.SUBOPTIMAL

    def _result_columns(self, variable: LinearVariable) -> np.ndarray:
        return variable._columns()

    @staticmethod
    def __integer_bounds(name: str, lo, hi, count: int) -> tp.Tuple[np.ndarray, np.ndarray]:
        # Bounds travel as 64-bit floats, which hold every integer a solver
        # can tell apart, instead of wrapping around in 32 bits.
        if not isinstance(lo, int) or not isinstance(hi, int):
            refuse(ValueError, "For integer variables, the boundaries must be integers")
        try:
            return np.full(count, float(lo)), np.full(count, float(hi))
        except OverflowError:
            refuse(ValueError, f"The boundaries {lo} and {hi} of integer variable {name} are out of range")

    def __add_columns(self, sizes: tp.List[int], lower: np.ndarray, upper: np.ndarray) -> None:
        count = len(lower)
        # The solver holds the block in row-major order of the elements, the order
        # in which rows over the last index read them, and solves such rows
        # markedly faster; the model's column numbers stay the first index fastest.
        if len(sizes) > 1:
            self._linsolver_model.addVars(count, lower, upper, columns_in_row_major_order(0, sizes))
        else:
            self._linsolver_model.addVars(count, lower, upper)
        # Counted at once, so that the model and the solver agree on the
        # number of columns even if a later call fails.
        self._general_shift_variable += count

    def __mark_integer(self, first_column: int, count: int) -> None:
        self._linsolver_model.changeColsIntegrality(
            count,
            np.arange(first_column, first_column + count),
            np.full(count, fill_value=linsolver.LinsolverVarType.kInteger),
        )

    def __evaluation_namespace(self) -> dict:
        return {**self._formulas_dir, **self._variables}

    def __bind_forall_values(self, bound: dict, position: int, values) -> str:
        """The text of a foralls range: a string as it is, any other value bound by a name in bound.

        Binding the value itself keeps arrays, NumPy scalars and any other
        iterable exact, where their printed form may not read back.
        """
        if isinstance(values, str):
            return values
        name = f"{_FORALL_VALUES}{position}"
        while name in self._variables or name in self._formulas_dir:
            name = "_" + name
        bound[name] = values
        return name

    def __refuse_reserved_name(self, kind: str, name: str) -> None:
        """Refuses a name that would change the meaning of expression text: a keyword,
        a name of the evaluation namespace or a built-in name."""
        if keyword.iskeyword(name) or name in self._formulas_dir or hasattr(builtins, name):
            refuse_reserved_name(kind, name)

    def __target_of_text(self, text: str):
        """What a target's text evaluates to: a compiled expression, a number or anything else the host makes."""
        target = _native_text().read_expression(text, self._variables)
        if target is None:
            target = evaluate_expression_text(text, self.__evaluation_namespace())
        return target

    def __rows_of_text(self, expression: LinearExpression, foralls: dict):
        """(constants, starts, column indexes, coefficients) of the rows of an expression's text over the foralls."""
        bound = {}
        fors = " ".join(
            f"for {name} in {self.__bind_forall_values(bound, position, values)}"
            for position, (name, values) in enumerate(foralls.items())
        )
        text = f"[{expression} {fors}]"
        rows = _native_text().read_rows(text, self._variables, bound)
        if rows is None:
            rows = self.__rows_evaluated_by_host(text, {**self.__evaluation_namespace(), **bound})
        return rows

    def __rows_evaluated_by_host(self, text: str, namespace: dict):
        """(constants, starts, column indexes, coefficients) of the rows the host evaluates from text."""
        constraints = evaluate_expression_text(text, namespace)
        self.__check_rows(constraints)
        constants = np.array([constraint.constant for constraint in constraints], dtype=np.float64)
        return (constants, *rows_by_row(constraints))

    @staticmethod
    def __check_rows(constraints: list) -> None:
        for constraint in constraints:
            if not isinstance(constraint, CompiledLinearExpression):
                refuse(
                    TypeError, f"A constraint must evaluate to linear expressions, not {type(constraint).__name__}"
                )
            if constraint._has_quadratic_part:
                refuse(
                    FormulaError, "A constraint must be linear: quadratic terms are allowed only in the target"
                )

    def __grow_warm_start(self) -> None:
        """The warm-start vector over every column created so far; new columns start at 0.0."""
        if self._prev_solution is None:
            self._prev_solution = np.zeros(self._general_shift_variable)
        elif len(self._prev_solution) < self._general_shift_variable:
            grown = np.zeros(self._general_shift_variable)
            grown[: len(self._prev_solution)] = self._prev_solution
            self._prev_solution = grown
