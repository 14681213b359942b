"""
Pseudo-Boolean constraints into clauses
"""
from __future__ import annotations
import typing
__all__: list[str] = ['AuxVarManager', 'Comparator_type', 'PBConfig', 'PBConstraint', 'PB_Encoder_type', 'VectorClauseDatabase', 'WeightedLit', 'pb2cnf']
class PB_Encoder_type:
    """
    Members:
    
      ADDER : Adder networks for general weights, dedicated encodings for cardinality constraints
    """
    ADDER: typing.ClassVar[PB_Encoder_type]
    __members__: typing.ClassVar[dict[str, PB_Encoder_type]]
    @typing.overload
    def __eq__(self, other: PB_Encoder_type) -> bool:
        ...
    @typing.overload
    def __eq__(self, other: typing.Any) -> bool:
        ...
    def __getstate__(self) -> int:
        ...
    def __hash__(self) -> int:
        ...
    def __index__(self) -> int:
        ...
    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __int__(self) -> int:
        ...
    @typing.overload
    def __ne__(self, other: PB_Encoder_type) -> bool:
        ...
    @typing.overload
    def __ne__(self, other: typing.Any) -> bool:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __str__(self) -> str:
        ...
    @property
    def name(self) -> str:
        ...
    @property
    def value(self) -> int:
        ...
class Comparator_type:
    """
    Members:
    
      LEQ : the sum is at most the bound
    
      GEQ : the sum is at least the bound
    
      BOTH : the sum equals the bound, or lies between geq and leq
    """
    BOTH: typing.ClassVar[Comparator_type]
    GEQ: typing.ClassVar[Comparator_type]
    LEQ: typing.ClassVar[Comparator_type]
    __members__: typing.ClassVar[dict[str, Comparator_type]]
    @typing.overload
    def __eq__(self, other: Comparator_type) -> bool:
        ...
    @typing.overload
    def __eq__(self, other: typing.Any) -> bool:
        ...
    def __getstate__(self) -> int:
        ...
    def __hash__(self) -> int:
        ...
    def __index__(self) -> int:
        ...
    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __int__(self) -> int:
        ...
    @typing.overload
    def __ne__(self, other: Comparator_type) -> bool:
        ...
    @typing.overload
    def __ne__(self, other: typing.Any) -> bool:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __str__(self) -> str:
        ...
    @property
    def name(self) -> str:
        ...
    @property
    def value(self) -> int:
        ...
class PBConfig:
    pb_encoder: PB_Encoder_type
    def __init__(self) -> None:
        ...
    @property
    def cardinality_encodings(self) -> bool:
        """
        False encodes every constraint, cardinality constraints too, with adders
        """
    @cardinality_encodings.setter
    def cardinality_encodings(self, arg0: bool) -> None:
        ...
    @property
    def max_clauses_per_constraint(self) -> int:
        ...
    @max_clauses_per_constraint.setter
    def max_clauses_per_constraint(self, arg1: typing.Any) -> None:
        ...
class AuxVarManager:
    """
    Hands out fresh variable numbers from `first` on
    """
    def __init__(self, first: typing.Any) -> None:
        ...
    def get_variable(self) -> int:
        ...
    @property
    def next_variable(self) -> int:
        ...
class WeightedLit:
    def __init__(self, number: typing.Any, coefficient: typing.Any) -> None:
        ...
    def __repr__(self) -> str:
        ...
    @property
    def coefficient(self) -> int:
        ...
    @property
    def number(self) -> int:
        ...
class PBConstraint:
    """
    PBConstraint(lits, comparator, bound), or PBConstraint(lits, Comparator_type.BOTH, leq, geq) for geq <= sum <= leq
    """
    @staticmethod
    def from_numbers(numbers: typing.Any, coefficients: typing.Any, comparator: typing.Any, leq: typing.Any, geq: typing.Any = None) -> PBConstraint:
        """
        As PBConstraint(lits, ...) with lits[k] = WeightedLit(numbers[k], coefficients[k]), checked as WeightedLit checks them, without a host object per term.
        """
    def __init__(self, lits: typing.Any, comparator: typing.Any, leq: typing.Any, geq: typing.Any = None) -> None:
        ...
class VectorClauseDatabase:
    def __init__(self, config: PBConfig) -> None:
        ...
    def __len__(self) -> int:
        ...
    def get_clause_arrays(self) -> tuple:
        """
        The clauses as two NumPy arrays: every literal (int32) and the clause boundaries (int64, one more than the clauses, from 0 to the number of literals); clause c is literals[offsets[c]:offsets[c + 1]]
        """
    def get_clauses(self) -> list:
        """
        The clauses as lists of signed variable numbers, in writing order
        """
class pb2cnf:
    def __init__(self, config: PBConfig) -> None:
        ...
    def encode2(self, constraint: PBConstraint, database: VectorClauseDatabase, aux_manager: AuxVarManager) -> None:
        """
        Write the constraint's clauses into the database, drawing every auxiliary from aux_manager
        """
