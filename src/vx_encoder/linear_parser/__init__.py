from .linear_model import LinearModel, SolutionStatus, VariableType, inf
from .linear_expression import Sum, SumIt

__all__ = ["LinearModel", "SolutionStatus", "VariableType", "inf", "Sum", "SumIt"]
