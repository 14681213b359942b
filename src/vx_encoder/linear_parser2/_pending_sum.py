"""Sums of coefficient matrices, added up when first read.

Blocks of rows are typically summed in a chain, a + b + c + ...; adding each
term to the growing sum at once would copy the sum again for every term. The
terms are kept apart instead and added as a balanced tree when the sum is
first needed, and the result is kept for every array that shares it.
"""

from __future__ import annotations

from typing import Union

import numpy as np
from scipy.sparse import csr_array

from vx_encoder.linear_parser2._sparse_width import widen_matrix

# A term is a matrix and whether it is subtracted.
_Term = tuple[csr_array, bool]


class PendingSum:
    def __init__(self, terms: list[_Term]):
        self._terms: list[_Term] | None = terms
        self._total: csr_array | None = None
        self.shape = (terms[0][0].shape[0], max(matrix.shape[1] for matrix, _ in terms))
        self.dtype = terms[0][0].dtype

    @staticmethod
    def of(first: Union[csr_array, PendingSum], second: Union[csr_array, PendingSum], subtract: bool) -> PendingSum:
        """first + second, or first - second."""
        return PendingSum(_terms_of(first, False) + _terms_of(second, subtract))

    def total(self) -> csr_array:
        if self._total is None:
            self._total = _balanced_sum(self._terms, self.shape[1])
            self._terms = None
        return self._total


def _terms_of(summand: Union[csr_array, PendingSum], subtract: bool) -> list[_Term]:
    if isinstance(summand, PendingSum):
        if summand._total is None:
            return [(matrix, negated != subtract) for matrix, negated in summand._terms]
        summand = summand._total
    return [(summand, subtract)]


def _balanced_sum(terms: list[_Term], width: int) -> csr_array:
    level = [(widen_matrix(matrix.tocsr(), width), negated) for matrix, negated in terms]
    if len(level) > 2 and all(_one_entry_per_row(matrix) for matrix, _ in level):
        return _interleaved_sum(level, width)
    while len(level) > 1:
        paired = [_added(level[k], level[k + 1]) for k in range(0, len(level) - 1, 2)]
        if len(level) % 2:
            paired.append(level[-1])
        level = paired
    matrix, negated = level[0]
    return (-matrix if negated else matrix).tocsr()


def _one_entry_per_row(matrix: csr_array) -> bool:
    rows = matrix.shape[0]
    return matrix.nnz == rows and np.array_equal(matrix.indptr, np.arange(rows + 1))


def _interleaved_sum(terms: list[_Term], width: int) -> csr_array:
    """Blocks of single cells (as indexing makes them): row r of the sum holds the r-th
    entry of every term, so the entries are laid out row by row, then sorted and merged once."""
    rows, count = terms[0][0].shape[0], len(terms)
    columns = np.stack([matrix.indices for matrix, _ in terms], axis=1).ravel()
    values = np.stack([-matrix.data if negated else matrix.data for matrix, negated in terms], axis=1).ravel()
    starts = np.arange(0, rows * count + 1, count, dtype=columns.dtype)
    total = csr_array((values, columns, starts), shape=(rows, width))
    total.sum_duplicates()
    return total


def _added(first: _Term, second: _Term) -> _Term:
    (first_matrix, first_negated), (second_matrix, second_negated) = first, second
    if first_negated == second_negated:
        return first_matrix + second_matrix, first_negated
    return first_matrix - second_matrix, first_negated
