"""Widening sparse rows, matrices and quadratic parts to a common column count.

Indexing builds rows as wide as the process-wide column count at that moment, so
a row built before a later variable existed is narrower than one built after.
The missing columns hold no entries, so widening only changes the declared shape
and shares the stored arrays.
"""

from __future__ import annotations

import numpy as np
from scipy.sparse import csc_array, csr_array


def widen_row(row: csr_array, width: int) -> csr_array:
    """The 1-D row `row` declared `width` columns wide (the row itself when it already is)."""
    if row.shape[0] >= width:
        return row
    return csr_array((row.data, row.indices, row.indptr), shape=(width,))


def widen_matrix(matrix: csr_array, width: int) -> csr_array:
    """The 2-D CSR `matrix` declared `width` columns wide (the matrix itself when it already is)."""
    if matrix.shape[1] >= width:
        return matrix
    return csr_array((matrix.data, matrix.indices, matrix.indptr), shape=(matrix.shape[0], width))


def widen_square(square: csc_array, side: int) -> csc_array:
    """The square CSC `square` grown to `side` × `side` (itself when it already is that large)."""
    if square.shape[0] >= side:
        return square
    extra_starts = np.full(side - square.shape[1], square.indptr[-1], dtype=square.indptr.dtype)
    return csc_array(
        (square.data, square.indices, np.concatenate((square.indptr, extra_starts))), shape=(side, side)
    )


def rows_of_common_width(first: csr_array, second: csr_array) -> tuple[csr_array, csr_array]:
    width = max(first.shape[0], second.shape[0])
    return widen_row(first, width), widen_row(second, width)


def squares_of_common_side(first: csc_array, second: csc_array) -> tuple[csc_array, csc_array]:
    side = max(first.shape[0], second.shape[0])
    return widen_square(first, side), widen_square(second, side)
