"""Facility location, written twice: as expression text and with variable arrays; both
give the optimum SciPy's milp finds."""

import numpy as np
from scipy.optimize import LinearConstraint, milp

from vx_encoder import LinearModel, SolutionStatus, VariableType
from vx_encoder.linear_parser import Sum, SumIt
from vx_encoder.linear_parser2 import LinearModel as ArrayModel
from vx_encoder.linear_parser2 import SolutionStatus as ArrayStatus
from vx_encoder.linear_parser2 import VariableType as ArrayVariableType
from vx_encoder.linear_parser2 import dot, sumexp

opening = [4.0, 3.0, 5.0]
serving = np.array([[1.0, 3.0, 2.5], [2.0, 1.0, 4.0], [3.0, 2.0, 1.0], [2.5, 1.5, 2.0]])
CLIENTS, SITES = serving.shape

text = LinearModel(output_flag=False)
open_ = text.get_variables("open_", VariableType.BINARY, 0, 1, f=SITES)
serve = text.get_variables("serve", VariableType.REAL, 0.0, 1.0, c=CLIENTS, f=SITES)
c, f = text.get_indexes(["c", "f"])
text.add_constraint(Sum(serve[c, f], f=range(SITES)) == 1, c=range(CLIENTS))
text.add_constraint(serve[c, f] - open_[f] <= 0, c=range(CLIENTS), f=range(SITES))
opening_cost = SumIt([opening[site] * open_[site] for site in range(SITES)])
text.add_target(opening_cost + SumIt([float(serving[client, site]) * serve[client, site]
                                      for client in range(CLIENTS) for site in range(SITES)]), True)
assert text.solve() is SolutionStatus.OPTIMAL
text_optimum: float = text.objective_value

arrays = ArrayModel(output_flag=False)
opened = arrays.get_variable("opened", ArrayVariableType.BINARY, 0, 1, f=SITES)
served = arrays.get_variable("served", ArrayVariableType.REAL, 0.0, 1.0, c=CLIENTS, f=SITES)
for client in range(CLIENTS):
    arrays.add_constraint(sumexp(served[client, :]) == 1)
    for site in range(SITES):
        arrays.add_constraint(served[client, site] - opened[site] <= 0)
objective = dot(np.array(opening), opened[:])
for client in range(CLIENTS):
    objective = objective + served[client, :].dot(serving[client])
arrays.add_target(objective, minimization=True)
assert arrays.solve() == ArrayStatus.OPTIMAL

costs = np.concatenate([opening, serving.ravel()])
rows = [np.concatenate([np.zeros(SITES), np.eye(CLIENTS)[client].repeat(SITES)]) for client in range(CLIENTS)]
links = [np.concatenate([-np.eye(SITES)[site], np.outer(np.eye(CLIENTS)[client], np.eye(SITES)[site]).ravel()])
         for client in range(CLIENTS) for site in range(SITES)]
reference = milp(costs, integrality=np.r_[np.ones(SITES), np.zeros(CLIENTS * SITES)], bounds=(0, 1),
                 constraints=[LinearConstraint(np.array(rows), 1, 1), LinearConstraint(np.array(links), -np.inf, 0)])
assert abs(text_optimum - reference.fun) < 1e-6 and abs(arrays.objective_value - reference.fun) < 1e-6
