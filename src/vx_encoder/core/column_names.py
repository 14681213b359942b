"""Names of a variable's cells as model files show them."""

import itertools
import typing as tp


def cell_names(name: str, shape: tp.Sequence[int]) -> tp.List[str]:
    """x(0,1), x(0,2), ... in row-major order; x() for a variable without dimensions.

    Both file formats read these back, and the parentheses keep a variable named
    like a keyword of the LP format (end, bounds, free) from reading as one.
    """
    return [f"{name}({','.join(map(str, cell))})" for cell in itertools.product(*map(range, shape))]
