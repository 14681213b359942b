from collections.abc import Sequence
from operator import index
import typing as tp

import numpy as np

from vx_encoder.linear_parser.linear_expression import LinearExpression, LinearVariableProxy, _cell_proxy
from vx_encoder.linear_parser.compiled_linear_expressions import CompiledLinearExpression, element_expression
from vx_encoder.core.vx_logger import log_e
from vx_encoder._vx_native import ElementLayout, LinearCells


class Index:
    """A symbolic index of linear expression text: a name, shifted or scaled by arithmetic.

    Arithmetic composes with the current text, so the text says what was written:
    2 * i + 1 reads "2 * i + 1" and 2 * (i + 1) reads "2 * (i + 1)".

    Args:
        name: The index name.
        expression: The index text; the name when not given.
    """

    def __init__(self, name: str, expression: tp.Optional[str] = None):
        self.name = name
        self.expression = name if expression is None else expression

    def __add__(self, shift: int) -> "Index":
        return Index(self.name, f"{self.expression} + {shift}")

    def __sub__(self, shift: int) -> "Index":
        return Index(self.name, f"{self.expression} - {_grouped(shift)}")

    def __rmul__(self, shift: int) -> "Index":
        return Index(self.name, f"{shift} * {_grouped(self)}")

    def __str__(self):
        return self.expression


def _grouped(operand) -> str:
    """The text of an operand that binds tighter than + and -: an index made by arithmetic in parentheses."""
    if isinstance(operand, Index) and operand.expression != operand.name:
        return f"({operand.expression})"
    return format(operand)


def columns_in_row_major_order(first_column: int, sizes: tp.Sequence[int]) -> np.ndarray:
    """The columns of a variable's elements, the first index fastest among the columns,
    listed in row-major order of the elements (the last index fastest)."""
    count = int(np.prod(sizes, dtype=np.int64))
    return np.arange(first_column, first_column + count).reshape(sizes, order="F").ravel()


class LinearVariable(LinearCells):
    """A block of consecutive solver columns with named dimensions; the first index varies fastest.

    ``x[i, j]`` writes an element for expression text; ``x(a, b)`` gives the
    compiled expression of one element. The native base makes the element of
    integer index values inside the dimensions as a numbered cell; any other
    index values are written as text by _written_cell.

    Args:
        name: The variable's name.
        lo: The lower bound of its columns.
        hi: The upper bound of its columns.
        indexes: Each dimension's name with its size.
        st_shift: The first column.
        type_var: The NumPy type name of its results.
    """

    def __init__(self, name: str, lo: int, hi: int, indexes: tp.Dict[str, int], st_shift: int, type_var: str):
        self._name = name
        self._lo = lo
        self._hi = hi
        self._indexes = indexes
        self._st_shift = st_shift
        self._sizes = tuple(indexes.values())
        self._layout = ElementLayout(st_shift, self._sizes)
        # One stride a dimension: 1, then the product of the sizes before it.
        self._shifts = list(self._layout.strides)
        self._type = type_var
        # The native base's stub shows no members.
        super().__init__(name, self._layout, LinearVariableProxy, LinearExpression)  # type: ignore[call-arg]

    if tp.TYPE_CHECKING:
        def __getitem__(self, items) -> LinearVariableProxy: ...

    def _written_cell(self, items) -> LinearVariableProxy:
        """The cell of index values the native base does not number, as text."""
        if isinstance(items, Sequence):
            return _cell_proxy(f"{self._name}({','.join(str(item) for item in items)})")
        return _cell_proxy(f"{self._name}({items})")

    def __call__(self, *items: int) -> CompiledLinearExpression:
        terms = self._layout.element_terms(items)
        if terms is None:
            self.__refuse_index_values(items)
        return element_expression(terms)

    @property
    def lo(self) -> int:
        """The lower bound of the variable's columns."""
        return self._lo

    @property
    def hi(self) -> int:
        """The upper bound of the variable's columns."""
        return self._hi

    @property
    def map(self) -> tp.Tuple[int, ...]:
        """The columns of all elements, in row-major order of their index values."""
        return tuple(self._columns().tolist())

    @property
    def shape(self) -> tp.Tuple[int, ...]:
        """The sizes of the variable's dimensions."""
        return tuple(self._indexes.values())

    @property
    def type(self) -> str:
        """The NumPy type name of the variable's results (``int32``, ``int64`` or ``float64``)."""
        return self._type

    def _columns(self) -> np.ndarray:
        """The columns of all elements, in row-major order: the block read in column-major order."""
        return columns_in_row_major_order(self._st_shift, self._sizes)

    def __refuse_index_values(self, items: tuple) -> tp.NoReturn:
        values = ", ".join(str(item) for item in items)
        if len(items) != len(self._sizes):
            message = (
                f"Linear variable {self._name} has {len(self._sizes)} dimensions, "
                f"but {len(items)} index values were given: ({values})"
            )
            log_e(message)
            raise IndexError(message)
        try:
            for item in items:
                index(item)
        except TypeError:
            message = f"Index values of linear variable {self._name} must be integers: ({values})"
            log_e(message)
            raise TypeError(message) from None
        sizes = ", ".join(str(size) for size in self._sizes)
        message = f"Index values ({values}) are outside the dimensions ({sizes}) of linear variable {self._name}"
        log_e(message)
        raise IndexError(message)
