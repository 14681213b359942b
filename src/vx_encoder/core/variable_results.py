"""The values of one variable in a solver's solution, as both linear models report them."""

import typing as tp

import numpy as np


def values_shaped_like(solution_values: np.ndarray, columns: np.ndarray, element_type: tp.Union[str, type],
                       shape: tp.Sequence[int]) -> np.ndarray:
    """The variable's columns of the solution, converted to its element type and shaped like it.

    Integer values beyond the element type come back in a wider type (64-bit
    integers, or the exact floats past those) instead of wrapping around.
    """
    values = solution_values[columns]
    result_type = np.dtype(element_type)
    if not np.issubdtype(result_type, np.floating):
        # The solver meets integrality within a tolerance: 2.9999999 is its 3, and
        # truncation would turn it into 2.
        values = np.rint(values)
        result_type = _integer_type_holding(values, result_type)
    return values.astype(result_type).reshape(shape)


def _integer_type_holding(values: np.ndarray, element_type: np.dtype) -> np.dtype:
    for candidate in (element_type, np.dtype(np.int64)):
        limits = np.iinfo(candidate)
        # The float of the largest int64 rounds up to 2**63, which no longer fits.
        if not values.size or (values.min() >= limits.min and values.max() < float(limits.max) + 1):
            return candidate
    return np.dtype(np.float64)
