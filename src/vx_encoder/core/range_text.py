"""The text of a range of index values in a builder's for clause, read back by the
host and by the native readers of both models."""

import typing as tp
from numbers import Integral


def range_text(values: tp.Any) -> str:
    """A range's text as every road reads it: an array's printed form ("[0 1]")
    is no list in the text, so an array (anything with tolist) is written as
    the list of its values; so are the integers of a list or tuple whose text
    is no host integer (NumPy's "np.int64(0)"). A string is the range's own text."""
    if not isinstance(values, str) and callable(getattr(values, "tolist", None)):
        return format(values.tolist())
    if isinstance(values, list):
        return format([_plain_integer(value) for value in values])
    if isinstance(values, tuple):
        return format(tuple(_plain_integer(value) for value in values))
    return format(values)


def _plain_integer(value: tp.Any) -> tp.Any:
    if isinstance(value, Integral) and not isinstance(value, (int, bool)):
        return int(value)
    return value
