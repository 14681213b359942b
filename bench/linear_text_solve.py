"""The text linear model end to end, to the solution read back, against raw
highspy (addVars / addRows) and the array model.

Two models:
- template: 100,000 rows of 10 non-zeros over a 1,000 x 100 variable, one
  add_constraint with foralls, ``Sum(3 * x[i, k], k=<ten columns after j>) <= 10``,
  minimising the sum of all cells;
- knapsack: one row of n binary terms and an objective of n terms, both
  written with ``SumIt`` of terms (n = 200,000, and 1,000,000 for the big one).
  The objective is minimised, so that the solver's presolve settles the model
  at once and the figures measure building (maximised, one row of 100,000
  columns keeps the solver busy for minutes, whatever built the model).

Every measurement runs in a fresh process; the inputs are made before the
clock starts. Time is wall time from the first modelling statement to the
solution read back (median of the runs); memory is the process's peak RSS
growth over the same span.

Run by hand: ``PYTHONPATH=src python bench/linear_text_solve.py [runs]``
Targets, text against raw highspy: at most 1.25 (template), 1.5 (knapsack) and
2 (big knapsack); memory text against array at most 1.5 on both knapsacks.
"""

from __future__ import annotations

import json
import os
import resource
import statistics
import subprocess
import sys
import time

import numpy as np

FIRST, SECOND, TERMS = 1_000, 100, 10
KNAPSACK = 200_000
BIG_KNAPSACK = 1_000_000


def current_rss() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def peak_rss() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def knapsack_data(size: int):
    generator = np.random.default_rng(11)
    values = generator.integers(10, 1_000, size=size)
    weights = generator.integers(10, 1_000, size=size)
    return values, weights, int(weights.sum() // 3)


# Text model


def text_template():
    from vx_encoder.linear_parser import LinearModel, Sum, VariableType

    def run():
        model = LinearModel(output_flag=False)
        x = model.get_variables("x", VariableType.REAL, 0.0, 1.0, i=FIRST, j=SECOND)
        i, j, k = model.get_indexes("ijk")
        columns = f"[(j + t) % {SECOND} for t in range({TERMS})]"
        model.add_constraint(Sum(3 * x[i, k], k=columns) <= 10, i=range(FIRST), j=range(SECOND))
        model.add_target(Sum(x[i, j], i=range(FIRST), j=range(SECOND)), minimization=True)
        model.solve()
        return model.get_result("x")

    return run


def text_knapsack(size: int):
    from vx_encoder.linear_parser import LinearModel, SumIt, VariableType

    values, weights, capacity = knapsack_data(size)
    values, weights = values.tolist(), weights.tolist()

    def run():
        model = LinearModel(output_flag=False)
        x = model.get_variables("x", VariableType.BINARY, i=size)
        model.add_constraint(SumIt([weights[k] * x[k] for k in range(size)]) <= capacity)
        model.add_target(SumIt([values[k] * x[k] for k in range(size)]), minimization=True)
        model.solve()
        return model.get_result("x")

    return run


# Raw highspy


def template_rows() -> tuple[np.ndarray, np.ndarray]:
    """Starts and columns of the template's rows, in the text model's order (i outer, j inner)."""
    i, j = np.meshgrid(np.arange(FIRST), np.arange(SECOND), indexing="ij")
    k = (j[..., None] + np.arange(TERMS)) % SECOND
    columns = (i[..., None] + FIRST * k).reshape(-1)
    starts = np.arange(0, FIRST * SECOND * TERMS, TERMS)
    return starts, columns


def raw_template():
    import highspy

    def run():
        count = FIRST * SECOND
        highs = highspy.Highs()
        highs.setOptionValue("output_flag", False)
        highs.addVars(count, np.zeros(count), np.ones(count))
        starts, columns = template_rows()
        highs.addRows(count, np.full(count, -highspy.kHighsInf), np.full(count, 10.0), len(columns), starts,
                      columns, np.full(len(columns), 3.0))
        highs.changeColsCost(count, np.arange(count), np.ones(count))
        highs.run()
        return np.array(highs.getSolution().col_value)

    return run


def raw_knapsack(size: int):
    import highspy

    values, weights, capacity = knapsack_data(size)

    def run():
        highs = highspy.Highs()
        highs.setOptionValue("output_flag", False)
        highs.addVars(size, np.zeros(size), np.ones(size))
        highs.changeColsIntegrality(size, np.arange(size), np.full(size, highspy.HighsVarType.kInteger))
        highs.addRows(1, np.array([-highspy.kHighsInf]), np.array([float(capacity)]), size, np.array([0]),
                      np.arange(size), weights.astype(np.float64))
        highs.changeObjectiveSense(highspy.ObjSense.kMinimize)
        highs.changeColsCost(size, np.arange(size), values.astype(np.float64))
        highs.run()
        return np.array(highs.getSolution().col_value)

    return run


# Array model


def array_template():
    from vx_encoder.linear_parser2 import LinearModel, VariableType

    _, columns = template_rows()
    cells = [columns[term::TERMS] for term in range(TERMS)]

    def run():
        model = LinearModel(output_flag=False)
        x = model.get_variable("x", VariableType.REAL, 0.0, 1.0, i=FIRST * SECOND)
        block = x[cells[0]] * 3
        for term in range(1, TERMS):
            block = block + x[cells[term]] * 3
        model.add_constraints(block <= np.full(FIRST * SECOND, 10.0))
        model.add_target(x[:].sum(), minimization=True)
        model.solve()
        return model.get_result("x")

    return run


def array_knapsack(size: int):
    from vx_encoder.linear_parser2 import LinearModel, VariableType

    values, weights, capacity = knapsack_data(size)

    def run():
        model = LinearModel(output_flag=False)
        x = model.get_variable("x", VariableType.BINARY, i=size)
        model.add_constraint((x[:] * weights).sum() <= capacity)
        model.add_target((x[:] * values).sum(), minimization=True)
        model.solve()
        return model.get_result("x")

    return run


ROADS = {
    ("text", "template"): text_template,
    ("raw", "template"): raw_template,
    ("array", "template"): array_template,
    ("text", "knapsack"): lambda: text_knapsack(KNAPSACK),
    ("raw", "knapsack"): lambda: raw_knapsack(KNAPSACK),
    ("array", "knapsack"): lambda: array_knapsack(KNAPSACK),
    ("text", "big knapsack"): lambda: text_knapsack(BIG_KNAPSACK),
    ("raw", "big knapsack"): lambda: raw_knapsack(BIG_KNAPSACK),
    ("array", "big knapsack"): lambda: array_knapsack(BIG_KNAPSACK),
}

# Per model: the most text may take against raw highspy, and the most memory
# against the array model (None: not a target).
TARGETS = {"template": (1.25, None), "knapsack": (1.5, 1.5), "big knapsack": (2.0, 1.5)}


def measure_here(road: str, model: str) -> dict:
    run = ROADS[road, model]()
    before = current_rss()
    begin = time.perf_counter()
    result = run()
    seconds = time.perf_counter() - begin
    return {"seconds": seconds, "peak_mb": (peak_rss() - before) / 2**20, "objective_sum": float(np.sum(result))}


def measure_in_process(road: str, model: str) -> dict:
    command = [sys.executable, __file__, "--one", road, model]
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return json.loads(output.strip().splitlines()[-1])


def median_of(runs: int, road: str, model: str) -> dict:
    results = [measure_in_process(road, model) for _ in range(runs)]
    return {key: statistics.median(result[key] for result in results) for key in ("seconds", "peak_mb")}


def main() -> None:
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    for model, (time_target, memory_target) in TARGETS.items():
        figures = {road: median_of(runs, road, model) for road in ("raw", "array", "text")}
        print(f"{model}:")
        for road, figure in figures.items():
            print(f"  {road:>5}: {figure['seconds']:7.3f} s  {figure['peak_mb']:8.1f} MB")
        time_ratio = figures["text"]["seconds"] / figures["raw"]["seconds"]
        memory_ratio = figures["text"]["peak_mb"] / max(figures["array"]["peak_mb"], 1.0)
        print(f"  time text / raw highspy: {time_ratio:5.2f} (target: at most {time_target:g})")
        memory_goal = f"target: at most {memory_target:g}" if memory_target else "no target"
        print(f"  memory text / array:     {memory_ratio:5.2f} ({memory_goal})")


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--one":
        print(json.dumps(measure_here(sys.argv[2], sys.argv[3])))
    else:
        main()
