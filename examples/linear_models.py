"""Two small mixed-integer problems, one written as expression text and one with variable arrays."""

import numpy as np

from vx_encoder import LinearModel, SolutionStatus, VariableType
from vx_encoder.linear_parser import Sum
from vx_encoder.linear_parser2 import LinearModel as ArrayModel
from vx_encoder.linear_parser2 import SolutionStatus as ArrayStatus
from vx_encoder.linear_parser2 import VariableType as ArrayVariableType
from vx_encoder.linear_parser2 import dot, sumexp


def solve_text_model() -> None:
    model = LinearModel(output_flag=False)
    x = model.get_variables("x", VariableType.INTEGER, 0, 10, i=3, j=4)
    i, j = model.get_indexes(["i", "j"])
    model.add_constraint(Sum(x[i, j], j=range(4)) <= 6, i=range(3))
    model.add_constraint(x[i, j] - x[i, j + 1] >= 0, i=range(3), j=range(3))
    model.add_target(Sum(3 * x[i, 0] + x[i, 3], i=range(3)) + 5, False)
    assert model.solve() is SolutionStatus.OPTIMAL
    print(f"  text model: objective {model.objective_value}, x = {model.get_result('x').tolist()}")


def solve_array_model() -> None:
    model = ArrayModel(output_flag=False)
    make = model.get_variable("make", ArrayVariableType.INTEGER, 0, 10, product=2, day=3)
    for day in range(3):  # product 0 takes 2 hours, product 1 takes 3; 12 hours a day
        model.add_constraint(dot(np.array([2.0, 3.0]), make[:, day]) <= 12)
    model.add_constraints(make[1, :] <= np.array([2, 3, 4]))  # demand for product 1
    model.add_target(3 * sumexp(make[0, :]) + 5 * sumexp(make[1, :]), minimization=False)
    assert model.solve() == ArrayStatus.OPTIMAL
    print(f"  array model: objective {model.objective_value}, make = {model.get_result('make').tolist()}")
