"""Expression text of a linear model read natively.

The native reader evaluates the text with the host's meaning and streams
every term into its row once, so time and memory follow the number of terms,
not the length of the text the host would compile. It answers None for text
it does not read the way the host would (other syntax, names, numbers beyond
64 bits, a wrong index); the caller then evaluates the text in the host, which
gives the same result or reports the error. An expression held as numbered
terms (cells, numbers times cells and SumIt of those) is read from its
numbers, to the same result as from its text.
"""

import typing as tp

import numpy as np

from vx_encoder._vx_native import read_linear_expression, read_linear_rows, read_numbered_expression as _numbered
from vx_encoder._vx_native import read_numbered_rows
from vx_encoder.linear_parser.compiled_linear_expressions import CompiledLinearExpression, of_terms

Rows = tp.Tuple[np.ndarray, np.ndarray, np.ndarray, np.ndarray]


def native_sequence(values) -> tp.Optional[np.ndarray]:
    """The values of a foralls range as an int64 or float64 array, when the host would
    iterate them as such plain numbers; None otherwise."""
    if isinstance(values, range):
        try:
            return np.arange(values.start, values.stop, values.step, dtype=np.int64)
        except (OverflowError, ValueError):
            return None
    if isinstance(values, np.ndarray):
        return values if values.ndim == 1 and values.dtype in (np.int64, np.float64) else None
    if isinstance(values, (list, tuple)):
        kinds = set(map(type, values))
        try:
            if kinds <= {int}:
                return np.array(values, dtype=np.int64)
            if kinds == {float}:
                return np.array(values, dtype=np.float64)
        except OverflowError:
            return None
    return None


def read_rows(text: str, variables: dict, sequences: dict) -> tp.Optional[Rows]:
    """(constants, starts, column indexes, coefficients) of the rows of a constraint text, merged by row."""
    native_sequences = {}
    for name, values in sequences.items():
        native_sequences[name] = native_sequence(values)
        if native_sequences[name] is None:
            return None
    return read_linear_rows(text, _layouts(variables), native_sequences)


def read_expression(text: str, variables: dict) -> tp.Optional[CompiledLinearExpression]:
    """The compiled expression of a target text."""
    read = read_linear_expression(text, _layouts(variables), {})
    if read is None:
        return None
    constant, terms, integral = read
    return of_terms(constant, terms, integral)


def read_numbered_expression(expression, variables: dict) -> tp.Optional[CompiledLinearExpression]:
    """The compiled expression of an expression held as numbered terms of the model's
    variables; None for any other, whose text the model reads."""
    read = _numbered(expression, variables)
    if read is None:
        return None
    constant, terms, integral = read
    return of_terms(constant, terms, integral)


def _layouts(variables: dict) -> dict:
    return {name: variable._layout for name, variable in variables.items()}
