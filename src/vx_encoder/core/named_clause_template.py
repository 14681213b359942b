"""A clause template as the engine's native reader gives it: the distinct
variable names of the template ("x(i + 1,j)", "x(3,4)", "_pbct_aux_0") and
its clauses as +-(1 + position in names) in one flat array with the end of
each clause, with the variable number of each name that is a cell (-1 for
the others) when the reader knew it. It reads as the usual list of clauses of
literal texts, built only when the host needs them."""

import typing as tp
from dataclasses import dataclass

import numpy as np

from vx_encoder import _vx_native as native


@dataclass(frozen=True)
class NamedClauseTemplate:
    names: tp.List[str]
    literals: np.ndarray
    ends: np.ndarray
    pbct_count: int = 0
    bxpr_count: int = 0
    never_holds: bool = False
    cells: tp.Optional[np.ndarray] = None

    def __len__(self) -> int:
        return len(self.ends)

    def __iter__(self) -> tp.Iterator[tp.List[str]]:
        return iter(self.clause_texts())

    def clause_texts(self) -> tp.List[tp.List[str]]:
        return native.clause_template_of_named(self.names, self.literals, self.ends)

    @property
    def always_holds(self) -> bool:
        return not self.never_holds and len(self.ends) == 0
