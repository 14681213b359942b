"""Checks both linear models make before a variable or its start values change anything."""

import math
import typing as tp
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


def refuse_bounds_no_column_takes(name: str, lower: tp.Any, upper: tp.Any) -> None:
    """A NaN bound, a lower bound of +inf or an upper bound of -inf leaves a column no value."""
    for bound, excluded in ((lower, math.inf), (upper, -math.inf)):
        if isinstance(bound, (float, np.floating)) and (math.isnan(bound) or bound == excluded):
            refuse(ValueError, f"The bounds {lower} and {upper} of linear variable {name} leave it no value")


def checked_start_values(name: str, solution: tp.Any, cells: int) -> np.ndarray:
    """Start values of a variable of `cells` cells as 64-bit floats, refused when one is
    NaN or when they are neither one value nor one per cell."""
    values = np.ravel(solution).astype(np.float64)
    if values.size not in (1, cells):
        refuse(ValueError, f"Linear variable {name} has {cells} cells, but {values.size} start values were given")
    if np.isnan(values).any():
        refuse(ValueError, f"Start values of linear variable {name} must not be NaN")
    return values
