"""
Model files of the linear solver, rewritten natively
"""
from __future__ import annotations
import numpy
import numpy.typing
import typing
__all__: list[str] = ['with_exact_integer_markers']
def with_exact_integer_markers(mps: bytes, integer: typing.Annotated[numpy.typing.ArrayLike, numpy.uint8]) -> bytes:
    """
    The MPS text with the markers of its COLUMNS section set by each column's kind: column k lies between INTORG and INTEND exactly when integer[k] is true. Raises ValueError when the section does not name len(integer) columns.
    """
