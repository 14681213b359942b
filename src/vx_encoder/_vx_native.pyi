"""
Native kernels of vx_encoder (private)
"""
from __future__ import annotations
import collections.abc
import numpy
import numpy.typing
import typing
__all__: list[str] = ['AuxiliaryNames', 'CellOutOfRange', 'ClauseTemplate', 'ConstraintAssembler', 'ElementLayout', 'InstantiatedClauses', 'LinearCells', 'LinearTerms', 'ReadConstraint', 'SparseRowAccumulator', 'check_auxiliary_literals', 'compile_structured_template', 'joined_instances', 'number_evaluated_instances', 'read_linear_expression', 'read_linear_rows', 'read_numbered_expression', 'read_numbered_rows', 'structured_clause_texts', 'variable_map']
class CellOutOfRange(IndexError):
    """
    Index values of a variable call outside its dimensions; args: (variable name, values).
    """
class InstantiatedClauses:
    """
    Numbered clauses of every instance of a template, flat: literals and clause offsets.
    """
    def auxiliary_names(self, num_formula: typing.SupportsInt | typing.SupportsIndex) -> AuxiliaryNames:
        ...
    @property
    def clause_count(self) -> int:
        ...
    @property
    def literals(self) -> numpy.typing.NDArray[numpy.int32]:
        ...
    @property
    def offsets(self) -> numpy.typing.NDArray[numpy.int64]:
        ...
    @property
    def weights(self) -> numpy.typing.NDArray[numpy.uint64]:
        ...
class AuxiliaryNames:
    """
    The mapping keys of the auxiliary variables a constraint uses, with their numbers, spelled on request.
    """
    def __len__(self) -> int:
        ...
    def runs(self) -> tuple:
        """
        (prefixes, formula, rows of (prefix position, instance, first index, count, first number)): runs of keys with consecutive indexes and numbers
        """
    def to_dict(self) -> dict:
        ...
    @property
    def largest_number(self) -> int:
        ...
class ClauseTemplate:
    """
    The engine's structured clause template compiled for native instantiation.
    """
    def instantiate(self, values: typing.Any, weights: collections.abc.Sequence[typing.SupportsInt | typing.SupportsIndex], first: typing.SupportsInt | typing.SupportsIndex, pb_count: typing.SupportsInt | typing.SupportsIndex, bx_count: typing.SupportsInt | typing.SupportsIndex) -> InstantiatedClauses | None:
        """
        Every instance over the combinations of values (first index outermost), or None when the index arithmetic needs the host's integers.
        """
class ReadConstraint:
    """
    A hard constraint's text as the engine read it, compiled for instantiation.
    """
    def clause_texts(self, index_names: collections.abc.Sequence[str]) -> list[list[str]]:
        """
        The literal texts of the reading, as the host evaluates a template.
        """
    def instantiate(self, values: typing.Any, first_auxiliary: typing.SupportsInt | typing.SupportsIndex) -> InstantiatedClauses | None:
        """
        Every instance over the combinations of values (one sequence per index, the first outermost), instance k's auxiliaries in the k-th block from first_auxiliary; None when the index arithmetic needs the host's integers. Raises CellOutOfRange.
        """
    @property
    def always_holds(self) -> bool:
        ...
    @property
    def bxpr_count(self) -> int:
        ...
    @property
    def never_holds(self) -> bool:
        ...
    @property
    def pbct_count(self) -> int:
        ...
    @property
    def weights(self) -> list[int]:
        """
        A soft constraint's weight per clause; empty for a hard one.
        """
class ConstraintAssembler:
    """
    A model's variables, held natively as the model creates them, and the shapes of the constraints read so far: a hard constraint's text goes to its numbered clauses in one crossing.
    """
    def __init__(self) -> None:
        ...
    def __len__(self) -> int:
        """
        The number of shapes read.
        """
    def add_variable(self, name: str, sizes: collections.abc.Sequence[typing.SupportsInt | typing.SupportsIndex], first: typing.SupportsInt | typing.SupportsIndex) -> None:
        """
        The model's next variable, its cells numbered row-major from first.
        """
    def read_hard(self, text: typing.Any, index_names: collections.abc.Sequence[str], pb_config: typing.Any = None) -> typing.Any:
        """
        The text read with the index names symbolic, through the shape cache, as a ReadConstraint; or, as text, why the engine leaves it to the host. Any other failure raises.
        """
    def read_soft(self, text: typing.Any, index_names: collections.abc.Sequence[str], weight: typing.SupportsInt | typing.SupportsIndex, minimization: bool) -> typing.Any:
        """
        The soft constraint's term read with the index names symbolic, one weighted unit clause per entry, as a ReadConstraint; or, as text, why the host reads it instead.
        """
class ElementLayout:
    """
    The solver columns of the elements of a linear variable
    """
    def __init__(self, first_column: typing.SupportsInt | typing.SupportsIndex, sizes: collections.abc.Sequence[typing.SupportsInt | typing.SupportsIndex]) -> None:
        ...
    def element_terms(self, items: tuple) -> typing.Any:
        """
        The coefficient 1 at the element's column, or None for index values that name no element
        """
    @property
    def rank(self) -> int:
        ...
    @property
    def strides(self) -> list[int]:
        ...
class LinearCells(object):
    """
    The native part of a text linear variable: x[...] makes its cells
    """
class LinearTerms(object):
    """
    The native part of a text linear expression: its text or numbered terms, and bounds
    """
class SparseRowAccumulator:
    """
    Unmerged coefficients of a compiled linear or quadratic expression
    """
    @staticmethod
    def from_terms(columns: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], coefficients: typing.Annotated[numpy.typing.ArrayLike, numpy.float64], length: typing.SupportsInt | typing.SupportsIndex) -> SparseRowAccumulator:
        ...
    @staticmethod
    def rows_by_row(rows: collections.abc.Sequence[SparseRowAccumulator]) -> tuple:
        """
        (starts, indices, values) of the merged linear parts, compressed by row
        """
    @staticmethod
    def single_column(column: typing.SupportsInt | typing.SupportsIndex) -> SparseRowAccumulator:
        ...
    @staticmethod
    def sum(parts: collections.abc.Sequence[SparseRowAccumulator]) -> SparseRowAccumulator:
        ...
    def __init__(self) -> None:
        ...
    def merged_linear_part(self) -> tuple[numpy.typing.NDArray[numpy.int64], numpy.typing.NDArray[numpy.float64]]:
        """
        (columns, coefficients): ascending distinct columns, zero sums left out
        """
    def merged_quadratic_part(self) -> tuple[numpy.typing.NDArray[numpy.int64], numpy.typing.NDArray[numpy.int64], numpy.typing.NDArray[numpy.float64]]:
        """
        (rows, columns, values) of the quadratic part, duplicates summed
        """
    def plus(self, other: SparseRowAccumulator, sign: typing.SupportsFloat | typing.SupportsIndex) -> SparseRowAccumulator:
        ...
    def quadratic_part_by_column(self, factor: typing.SupportsFloat | typing.SupportsIndex, dimension: typing.SupportsInt | typing.SupportsIndex) -> tuple:
        """
        (starts, indices, values) of factor times the quadratic part, compressed by column
        """
    def scaled(self, factor: typing.SupportsFloat | typing.SupportsIndex) -> SparseRowAccumulator:
        ...
    def times(self, other: SparseRowAccumulator, own_constant: typing.SupportsFloat | typing.SupportsIndex, other_constant: typing.SupportsFloat | typing.SupportsIndex) -> SparseRowAccumulator:
        ...
    def with_quadratic_part(self, rows: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], columns: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], values: typing.Annotated[numpy.typing.ArrayLike, numpy.float64], size: typing.SupportsInt | typing.SupportsIndex) -> SparseRowAccumulator:
        ...
    @property
    def has_quadratic_part(self) -> bool:
        ...
    @property
    def length(self) -> int:
        ...
    @property
    def quadratic_size(self) -> int:
        ...
def cell_occurrence(self: typing.Any, values: typing.Any) -> typing.Any:
    """
    A variable's __getitem__: the occurrence name(v1,...) of its kind of occurrences, made natively for a tuple of integers and indexes (or one of either) and by the variable's _occurrence_of otherwise.
    """
def check_auxiliary_literals(clauses: collections.abc.Sequence[collections.abc.Sequence[str]], first: typing.SupportsInt | typing.SupportsIndex, pb_count: typing.SupportsInt | typing.SupportsIndex, bx_count: typing.SupportsInt | typing.SupportsIndex) -> None:
    """
    Refuses with ValueError the first quoted auxiliary literal of the literal texts that is no auxiliary name or lies outside its instance's block, whatever the number of instances.
    """
def compile_structured_template(kinds: typing.Annotated[numpy.typing.ArrayLike, numpy.uint8], values: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], forms: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], form_ends: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], literals: typing.Annotated[numpy.typing.ArrayLike, numpy.int32], ends: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], index_count: typing.SupportsInt | typing.SupportsIndex, variables: collections.abc.Sequence[tuple[str, typing.SupportsInt | typing.SupportsIndex, collections.abc.Sequence[typing.SupportsInt | typing.SupportsIndex]]], first: typing.SupportsInt | typing.SupportsIndex, pb_count: typing.SupportsInt | typing.SupportsIndex, bx_count: typing.SupportsInt | typing.SupportsIndex) -> ClauseTemplate | None:
    """
    The engine's structured clause template (see read_clause_template), compiled without reading any text; variables by position. None when the variables' numbers do not fit 64 bits.
    """
def joined_instances(parts: collections.abc.Sequence[InstantiatedClauses]) -> InstantiatedClauses:
    """
    The numbered clauses of the parts one after another, as one InstantiatedClauses without auxiliaries: one write into a storage instead of one per constraint.
    """
def joined_cell_texts(cells: typing.Any, suffix: str, cell_kind: type) -> typing.Any:
    """
    (text, kinds): the texts of a list or tuple of cells, each followed by suffix, joined by ", ", with the set of their kinds; None when an element is not of a kind of cell_kind that keeps its text in the Expression slot.
    """
def joined_pieces(pieces: typing.Any, text_field: str) -> str:
    """
    The text of nested pieces: texts, tuples of pieces, and objects whose text_field holds their own pieces; walked without recursion, however deep they nest.
    """
def number_evaluated_instances(instances: typing.Any, first: typing.SupportsInt | typing.SupportsIndex, pb_count: typing.SupportsInt | typing.SupportsIndex, bx_count: typing.SupportsInt | typing.SupportsIndex, weights: collections.abc.Sequence[typing.SupportsInt | typing.SupportsIndex]) -> InstantiatedClauses:
    """
    Numbers, sorts and collects the clauses of instances evaluated by the host.
    """
def read_linear_expression(text: str, variables: dict, sequences: dict) -> typing.Any:
    """
    (constant, terms, integral) of an expression text; None for text the host must evaluate
    """
def read_linear_rows(text: str, variables: dict, sequences: dict) -> typing.Any:
    """
    (constants, starts, indices, values) of the rows of a constraint text, merged by row; None for text the host must evaluate
    """
def read_numbered_expression(expression: typing.Any, variables: dict) -> typing.Any:
    """
    (constant, terms, integral) of an expression held as numbered terms of the variables; None for one held as text or over other variables
    """
def read_numbered_rows(expression: typing.Any, variables: dict) -> typing.Any:
    """
    (constants, starts, indices, values) of the one row of an expression held as numbered terms of the variables; None for one held as text or over other variables
    """
def structured_clause_texts(kinds: typing.Annotated[numpy.typing.ArrayLike, numpy.uint8], values: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], forms: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], form_ends: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], literals: typing.Annotated[numpy.typing.ArrayLike, numpy.int32], ends: typing.Annotated[numpy.typing.ArrayLike, numpy.int64], index_names: collections.abc.Sequence[str], variables: collections.abc.Sequence[tuple[str, typing.SupportsInt | typing.SupportsIndex, collections.abc.Sequence[typing.SupportsInt | typing.SupportsIndex]]]) -> list[list[str]]:
    """
    The literal texts of a structured clause template, as the host evaluates a template.
    """
def untracked_instance(cls: type) -> typing.Any:
    """
    An instance of cls, its fields unset, that the cyclic garbage collector does not track.
    """
def variable_map(name: str, sizes: collections.abc.Sequence[typing.SupportsInt | typing.SupportsIndex], first_number: typing.SupportsInt | typing.SupportsIndex) -> dict:
    """
    The mapping of every cell key name[v1,...] to its variable number, in row-major order.
    """
