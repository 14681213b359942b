"""NumPy numbers wherever a number goes: index ranges, weights, bounds and coefficients, on the
pseudo-Boolean model and both linear interfaces."""

import halvex.kelvo_engine as ke
import numpy as np

from vx_encoder import LinearModel, Model, Sum, VariableType, pow_expression
from vx_encoder.linear_parser import Sum as LinearSum
from vx_encoder.linear_parser2 import LinearModel as ArrayModel
from vx_encoder.linear_parser2 import VariableType as ArrayVariableType
from vx_encoder.linear_parser2 import dot, sumexp

model = Model(ke.manager(), "weights")
x = model.create_variables("x", i=3, j=3)
i, j = model.get_indexes(["i", "j"])
model.add_constraint(Sum(pow_expression(2, i) * x[i, j], i=range(3)) <= np.int64(5), j=np.arange(3))
model.add_soft_constraint(x[0, 0], weight=np.int64(3), minimization=True)
assert model.build_wcnf()

text = LinearModel(output_flag=False)
y = text.get_variables("y", VariableType.REAL, 0.0, 1.5, k=3)
k = text.get_indexes(("k",))
text.add_constraint(LinearSum(y[k], k=range(3)) <= 2.5, lo=0.5)
text.add_constraint(y[0] + y[1] >= np.float64(0.2))
text.add_constraint(y[0] * 2.5 <= 3, lo=np.float32(-4.0))
text.add_target(y[0] * y[0] + 0.5 * y[1], True)
text.set_solution("y", np.zeros(3))
text.solve()
assert abs(text.objective_value - 0.04) < 1e-6   # y0 = 0.2, y1 = 0: the cheapest way to reach 0.2

arrays = ArrayModel(output_flag=False)
z = arrays.get_variable("z", ArrayVariableType.REAL, 0, 10.5, i=4)
arrays.add_constraint(z[0] + z[1] <= 3, lower_bound=1)
arrays.add_constraint(sumexp(z[:]), lower_bound=0.5, upper_bound=np.float64(7))
arrays.add_constraints(z[np.array([0, 1])] >= 0.5, upper_bounds=np.array([4.0, 5.0]))
arrays.add_constraint((z[2] <= 5) >= 1)
arrays.add_target(dot(np.ones(4), z[:]) + z[0] * z[0], minimization=True)
arrays.solve(is_feasible=True)
assert abs(arrays.objective_value - 2.25) < 1e-6 and arrays.get_result("z").tolist() == [0.5, 0.5, 1.0, 0.0]
