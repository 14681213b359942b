"""
Pseudo-Boolean constraints into clauses
"""
from __future__ import annotations
import typing
__all__: list[str] = ['AuxVarManager', 'Comparator_type', 'PBConfig', 'PBConstraint', 'PB_Encoder_type', 'VectorClauseDatabase', 'WeightedLit', 'pb2cnf']
class PB_Encoder_type:
    """
    The encoders of pseudo-Boolean constraints.
    
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
    How a constraint's sum relates to its bound.
    
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
    """
    The encoder's settings.
    """
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
        """
        The most clauses one constraint may need; encode2 refuses a constraint needing more.
        """
    @max_clauses_per_constraint.setter
    def max_clauses_per_constraint(self, arg1: typing.Any) -> None:
        ...
    @property
    def pb_encoder(self) -> PB_Encoder_type:
        """
        The PB_Encoder_type used.
        """
    @pb_encoder.setter
    def pb_encoder(self, arg0: PB_Encoder_type) -> None:
        ...
class AuxVarManager:
    """
    Hands out fresh variable numbers from `first` on.
    
    Args:
        first: The first number handed out.
    
    Raises:
        TypeError: first is not an integer.
    """
    def __init__(self, first: typing.Any) -> None:
        ...
    def get_variable(self) -> int:
        """
        Hand out the next fresh number.
        """
    @property
    def next_variable(self) -> int:
        """
        The number handed out next.
        """
class WeightedLit:
    """
    One term of a constraint: a variable with an integer coefficient.
    
    A negative coefficient weighs the variable's negation.
    
    Args:
        number: The variable number, from 1.
        coefficient: The integer coefficient.
    
    Raises:
        TypeError: An argument is not an integer.
        ValueError: The number is not a positive 32-bit variable number.
    """
    def __init__(self, number: typing.Any, coefficient: typing.Any) -> None:
        ...
    def __repr__(self) -> str:
        ...
    @property
    def coefficient(self) -> int:
        """
        The coefficient.
        """
    @property
    def number(self) -> int:
        """
        The variable number.
        """
class PBConstraint:
    """
    A bound on a weighted sum of variables.
    
    PBConstraint(lits, comparator, bound), or PBConstraint(lits, Comparator_type.BOTH,
    leq, geq) for geq <= sum <= leq.
    
    Args:
        lits: The WeightedLit terms.
        comparator: A Comparator_type.
        leq: The bound (the upper one with geq).
        geq: The lower bound, with Comparator_type.BOTH only.
    
    Raises:
        TypeError: An argument has the wrong type.
        ValueError: Two bounds are given without Comparator_type.BOTH.
    """
    @staticmethod
    def from_numbers(numbers: typing.Any, coefficients: typing.Any, comparator: typing.Any, leq: typing.Any, geq: typing.Any = None) -> PBConstraint:
        """
        As PBConstraint(lits, ...) with lits[k] = WeightedLit(numbers[k], coefficients[k]).
        
        Checked as WeightedLit checks them, without a host object per term.
        
        Args:
            numbers: The variable numbers.
            coefficients: One coefficient per number.
            comparator: A Comparator_type.
            leq: The bound (the upper one with geq).
            geq: The lower bound, with Comparator_type.BOTH only.
        
        Returns:
            The PBConstraint.
        
        Raises:
            TypeError: An argument has the wrong type.
            ValueError: The lists differ in length, a number is not a positive 32-bit
                variable number, or two bounds are given without Comparator_type.BOTH.
        """
    def __init__(self, lits: typing.Any, comparator: typing.Any, leq: typing.Any, geq: typing.Any = None) -> None:
        ...
class VectorClauseDatabase:
    """
    The clauses an encoder writes.
    
    Args:
        config: The PBConfig of the encoder.
    """
    def __init__(self, config: PBConfig) -> None:
        ...
    def __len__(self) -> int:
        ...
    def get_clause_arrays(self) -> tuple:
        """
        The clauses as two NumPy arrays: every literal (int32) and the clause boundaries (int64, one more than the clauses, from 0 to the number of literals); clause c is literals[offsets[c]:offsets[c + 1]].
        """
    def get_clauses(self) -> list:
        """
        The clauses as lists of signed variable numbers, in writing order.
        """
class pb2cnf:
    """
    The encoder of pseudo-Boolean constraints into clauses.
    
    Args:
        config: The PBConfig to encode with.
    """
    def __init__(self, config: PBConfig) -> None:
        ...
    def encode2(self, constraint: PBConstraint, database: VectorClauseDatabase, aux_manager: AuxVarManager) -> None:
        """
        Write the constraint's clauses into the database, drawing every auxiliary from aux_manager.
        
        A constraint that always holds writes nothing; one that never holds writes the
        empty clause.
        
        Args:
            constraint: The PBConstraint.
            database: The VectorClauseDatabase appended to.
            aux_manager: The AuxVarManager the input variables came from.
        
        Raises:
            ValueError: An input variable is not below aux_manager.next_variable, the
                total weight is too large (above 2^61), or the constraint needs more
                than max_clauses_per_constraint clauses (nothing is changed then).
        """
