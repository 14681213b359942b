"""
Rows of the linear solver, checked and collected natively
"""
from __future__ import annotations
import numpy
import numpy.typing
import typing
__all__: list[str] = ['RowCollector', 'row_adder']
class RowCollector:
    """
    Collects constraint rows; the linear solver sends them to HiGHS as one block.
    """
    def __init__(self) -> None:
        ...
    def addRows(self, m: typing.Any, lower: typing.Annotated[numpy.typing.ArrayLike, numpy.float64], upper: typing.Annotated[numpy.typing.ArrayLike, numpy.float64], nnz: typing.Any, starts: typing.Any, indices: typing.Any, values: typing.Any) -> None:
        """
        Append m rows in compressed-row form (m + 1 starts, or m with the last implied by nnz; bounds as arrays of m or one number). Every row is checked as by addRow; a refused block adds nothing. Read-only arrays of int32 starts and indices and float64 values, a thousand entries or more, whose rows ascend by column are kept, not copied, until the rows are taken.
        """
    def set_column_count(self, count: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def take_rows(self) -> list:
        """
        The pending rows as blocks in the order they came, each (lower, upper, starts, indices, values), starts holding m + 1 entries; they count as taken from now on.
        """
    @property
    def pending_rows(self) -> int:
        ...
    @property
    def rows_taken(self) -> int:
        ...
def row_adder(rows: RowCollector) -> typing.Any:
    """
    addRow(lower, upper, nnz, indices, values) bound to these rows, as a plain C function.
    """
