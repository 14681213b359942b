"""One knapsack three ways: a pseudo-Boolean target bounded until no answer is left,
the text linear model and the array linear model; all find the best load by brute force."""

import itertools

import halvex.kelvo_engine as ke
import numpy as np
from pysat.solvers import Solver

from vx_encoder import LinearModel, Model, SolutionStatus, SumIt, VariableType
from vx_encoder.linear_parser import SumIt as LinearSumIt
from vx_encoder.linear_parser2 import LinearModel as ArrayModel
from vx_encoder.linear_parser2 import SolutionStatus as ArrayStatus
from vx_encoder.linear_parser2 import VariableType as ArrayVariableType
from vx_encoder.linear_parser2 import dot

weights = [3, 4, 5, 2, 6]
values = [4, 5, 7, 3, 8]
CAPACITY = 11
best = max(sum(values[k] for k in chosen)
           for size in range(len(weights) + 1) for chosen in itertools.combinations(range(len(weights)), size)
           if sum(weights[k] for k in chosen) <= CAPACITY)

kmanager = ke.manager()
model = Model(kmanager, "knapsack")
take = model.create_variables("take", item=len(weights))
model.add_constraint(SumIt([weights[k] * take[k] for k in range(len(weights))]) <= CAPACITY)
model.add_target(SumIt([values[k] * take[k] for k in range(len(weights))]))
found = 0
for border in range(1, sum(values) + 1):        # maximisation: the target at least border
    model.build_cnf(border, False)
    storage = kmanager.get_cnf_storage()
    assert storage is not None
    with Solver(name="minisat22", bootstrap_with=storage.get_hard_clauses()) as solver:
        if not solver.solve():
            break
    found = border
assert found == best

text = LinearModel(output_flag=False)
x = text.get_variables("x", VariableType.BINARY, 0, 1, item=len(weights))
text.add_constraint(LinearSumIt([weights[k] * x[k] for k in range(len(weights))]) <= CAPACITY)
text.add_target(LinearSumIt([values[k] * x[k] for k in range(len(weights))]), False)
assert text.solve() is SolutionStatus.OPTIMAL and round(text.objective_value) == best
chosen_items: np.ndarray = text.get_result("x")
assert int(np.dot(chosen_items, weights)) <= CAPACITY

arrays = ArrayModel(output_flag=False)
y = arrays.get_variable("y", ArrayVariableType.BINARY, 0, 1, item=len(weights))
arrays.add_constraint(dot(np.array(weights, dtype=float), y[:]) <= CAPACITY)
arrays.add_target(dot(np.array(values, dtype=float), y[:]), minimization=False)
assert arrays.solve() == ArrayStatus.OPTIMAL and round(arrays.objective_value) == best
