from .expressions import (Sum, SumIt, And, AndIt, Or, OrIt, Xor, XorIt, Equiv, Implication, IfThenElse,
                          pow_expression, Zero, One)

__all__ = ["Sum", "SumIt", "And", "AndIt", "Or", "OrIt", "Xor", "XorIt", "Equiv", "Implication", "IfThenElse",
           "pow_expression", "Zero", "One"]
