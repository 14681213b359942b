"""Checks both linear models make before a variable or its start values change anything."""

import math
import typing as tp
from numbers import Real
from operator import index

import numpy as np

from vx_encoder.core.refusal import refuse


def checked_sizes(name: str, dims: tp.Mapping[str, tp.Any]) -> tp.List[int]:
    """The dimension sizes, refused unless each is a non-negative integer."""
    sizes = []
    for dimension, size in dims.items():
        try:
            checked = index(size)
        except TypeError:
            checked = -1
        if isinstance(size, (bool, np.bool_)) or checked < 0:
            refuse(
                ValueError,
                f"Dimension {dimension} of linear variable {name} must have a non-negative integer size, "
                f"not {size!r}",
            )
        sizes.append(checked)
    return sizes


def refuse_bounds_no_column_takes(name: str, lower: tp.Any, upper: tp.Any, columns_take_bounds: bool) -> None:
    """A NaN bound, a lower bound of +inf or an upper bound of -inf leaves a column no value;
    so does a lower bound above the upper one, where the columns take the bounds given
    (a binary variable's are 0 and 1 whatever was given). Equal bounds fix the value."""
    for bound, excluded in ((lower, math.inf), (upper, -math.inf)):
        if isinstance(bound, (float, np.floating)) and (math.isnan(bound) or bound == excluded):
            _refuse_bounds(name, lower, upper)
    if columns_take_bounds and isinstance(lower, Real) and isinstance(upper, Real) and lower > upper:
        _refuse_bounds(name, lower, upper)


def _refuse_bounds(name: str, lower: tp.Any, upper: tp.Any) -> tp.NoReturn:
    refuse(ValueError, f"The bounds {lower} and {upper} of linear variable {name} leave it no value")


def checked_start_values(name: str, solution: tp.Any, cells: int) -> np.ndarray:
    """Start values of a variable of `cells` cells as 64-bit floats, refused when one is
    NaN or infinite (no column takes it) or when they are neither one value nor one per cell."""
    values = np.ravel(solution).astype(np.float64)
    if values.size not in (1, cells):
        refuse(ValueError, f"Linear variable {name} has {cells} cells, but {values.size} start values were given")
    if np.isnan(values).any():
        refuse(ValueError, f"Start values of linear variable {name} must not be NaN")
    if np.isinf(values).any():
        refuse(ValueError, f"Start values of linear variable {name} must be finite, not {values[np.isinf(values)][0]}")
    return values
