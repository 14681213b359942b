from vx_encoder.linear_parser2.model import LinearModel, VariableType, SolutionStatus, inf
from vx_encoder.linear_parser2._expression import sumexp, dot

__all__ = ["LinearModel", "VariableType", "SolutionStatus", "inf", "sumexp", "dot"]
