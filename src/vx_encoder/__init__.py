from .encode.model import Model
from .encode.expressions import (Sum, SumIt, And, AndIt, Or, OrIt, Xor, XorIt, Equiv, Implication, IfThenElse,
                                 pow_expression, Zero, One)
from .linear_parser.linear_model import LinearModel, SolutionStatus, VariableType, inf
from .version import vx_version

__all__ = ["Model", "Sum", "SumIt", "And", "AndIt", "Or", "OrIt", "Xor", "XorIt", "Equiv", "Implication",
           "IfThenElse", "pow_expression", "Zero", "One", "LinearModel", "SolutionStatus", "VariableType", "inf"]

__version__ = vx_version
