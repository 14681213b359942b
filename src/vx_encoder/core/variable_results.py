"""The values of one variable in a solver's solution, as both linear models report them."""

import typing as tp

import numpy as np


def values_shaped_like(solution_values: np.ndarray, columns: np.ndarray, element_type: tp.Union[str, type],
                       shape: tp.Sequence[int]) -> np.ndarray:
    """The variable's columns of the solution, converted to its element type and shaped like it."""
    values = solution_values[columns]
    if not np.issubdtype(np.dtype(element_type), np.floating):
        # The solver meets integrality within a tolerance: 2.9999999 is its 3, and
        # truncation would turn it into 2.
        values = np.rint(values)
    return values.astype(element_type).reshape(shape)
