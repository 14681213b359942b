"""A clause template as the engine's native reader gives it, as data: each
distinct literal once, positive, with its kind (a cell, an occurrence such as
``x(i + 1,j)``, or an auxiliary of either prefix) and value (the cell's
number, the occurrence's variable position, the auxiliary's number), an
occurrence's index values as affine forms (per dimension a constant and one
coefficient per index), and the clauses as +-(1 + position) in one flat array
with the end of each clause. The kernels instantiate it without reading any
text; its literal texts are printed only when the host must evaluate them."""

import typing as tp
from dataclasses import dataclass

import numpy as np

from vx_encoder import _vx_native as native


@dataclass(frozen=True)
class StructuredClauseTemplate:
    kinds: np.ndarray
    values: np.ndarray
    forms: np.ndarray
    form_ends: np.ndarray
    literals: np.ndarray
    ends: np.ndarray
    pbct_count: int = 0
    bxpr_count: int = 0
    never_holds: bool = False

    def __len__(self) -> int:
        return len(self.ends)

    @property
    def always_holds(self) -> bool:
        return not self.never_holds and len(self.ends) == 0

    def arrays(self) -> tp.Tuple[np.ndarray, ...]:
        """The six arrays in the order the kernels take them."""
        return self.kinds, self.values, self.forms, self.form_ends, self.literals, self.ends

    def clause_texts(self, index_names: tp.Sequence[str],
                     variables: tp.Sequence[tp.Tuple[str, int, tp.List[int]]]) -> tp.List[tp.List[str]]:
        """The clauses as the host evaluates a template: variable calls, "-"
        before a negated one, auxiliary names quoted."""
        return native.structured_clause_texts(*self.arrays(), list(index_names), variables)
