"""The text linear model end to end, to the solution read back, against highspy
by hand (`../shared/peers/highs_by_hand.py`) and the array model.

Forms, the same instance on every side:
- rows: 1,000 x 100 rows of ten terms, ``sum over t < 10 of 3 x[i, (j + t) % 100] <= 10``
  over x in [0, 1], minimising the sum of all x; the text model writes one
  add_constraint with foralls, highspy gets its columns in row-major order;
- knapsack: one row of n continuous terms ``sum of w[k] x[k] <= half the weights``,
  minimising ``sum of v[k] x[k]`` over x in [0, 1] (n = 200,000, and 1,000,000 for
  the big one); the text model writes both with ``SumIt`` of terms.

Each measurement runs in a fresh process that imports only its side (highspy
and NumPy for highspy by hand); imports and the instance data come before the
clock. Time is the main thread's processor time from the first modelling
statement to the solution read back (median of the runs); memory is the
process's peak RSS growth over the same span.

Run by hand: ``PYTHONPATH=src python bench/linear_text_solve.py [runs]`` (set PEERS to
the folder of highs_by_hand.py when it is not ``../shared/peers`` of the checkout).
Targets, text against highspy by hand: at most 1.25 (rows), 1.5 (knapsack) and
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
from pathlib import Path

# The peers' forms and instances: PEERS, or shared/peers beside the checkout.
PEERS = Path(os.environ.get("PEERS", Path(__file__).resolve().parents[1].parent / "shared" / "peers"))

ROW_BLOCKS, COLUMNS, TERMS = 1_000, 100, 10
SIZES = {"rows": ROW_BLOCKS, "knapsack": 200_000, "big knapsack": 1_000_000}
# Per form: the most text may take against highspy by hand, and the most memory
# against the array model (None: not a target).
TARGETS = {"rows": (1.25, None), "knapsack": (1.5, 1.5), "big knapsack": (2.0, 1.5)}


def current_rss() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def peak_rss() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def knapsack_data(size: int):
    sys.path.insert(0, str(PEERS))
    from instances import knapsack

    return knapsack(size)


# Text model


def text_rows(blocks: int):
    from vx_encoder.linear_parser import LinearModel, Sum, VariableType

    def run():
        model = LinearModel(output_flag=False)
        x = model.get_variables("x", VariableType.REAL, 0.0, 1.0, i=blocks, j=COLUMNS)
        i, j, k = model.get_indexes("ijk")
        columns = f"[(j + t) % {COLUMNS} for t in range({TERMS})]"
        model.add_constraint(Sum(3 * x[i, k], k=columns) <= 10, i=range(blocks), j=range(COLUMNS))
        model.add_target(Sum(x[i, j], i=range(blocks), j=range(COLUMNS)), minimization=True)
        model.solve()
        return model.get_result("x")

    return run


def text_knapsack(size: int):
    from vx_encoder.linear_parser import LinearModel, SumIt, VariableType

    weights, values = knapsack_data(size)

    def run():
        model = LinearModel(output_flag=False)
        x = model.get_variables("x", VariableType.REAL, 0.0, 1.0, i=size)
        model.add_constraint(SumIt([weights[k] * x[k] for k in range(size)]) <= sum(weights) // 2)
        model.add_target(SumIt([values[k] * x[k] for k in range(size)]), minimization=True)
        model.solve()
        return model.get_result("x")

    return run


# highspy by hand: the peer's own forms, given the instance made before the clock


def by_hand(form: str):
    sys.path.insert(0, str(PEERS))
    import highs_by_hand

    size = SIZES[form]
    if form != "rows":
        data = highs_by_hand.knapsack_data(size)
        highs_by_hand.knapsack_data = lambda _: data
    peer = highs_by_hand.FORMS["rows" if form == "rows" else "knapsack"]
    return lambda: peer(size)


# Array model


def array_rows(blocks: int):
    import numpy as np
    from vx_encoder.linear_parser2 import LinearModel, VariableType

    i = np.repeat(np.arange(blocks), COLUMNS)
    j = np.tile(np.arange(COLUMNS), blocks)
    cells = [i * COLUMNS + (j + t) % COLUMNS for t in range(TERMS)]

    def run():
        model = LinearModel(output_flag=False)
        x = model.get_variable("x", VariableType.REAL, 0.0, 1.0, i=blocks * COLUMNS)
        block = x[cells[0]] * 3
        for term in range(1, TERMS):
            block = block + x[cells[term]] * 3
        model.add_constraints(block <= np.full(blocks * COLUMNS, 10.0))
        model.add_target(x[:].sum(), minimization=True)
        model.solve()
        return model.get_result("x")

    return run


def array_knapsack(size: int):
    import numpy as np
    from vx_encoder.linear_parser2 import LinearModel, VariableType

    weights, values = (np.array(numbers) for numbers in knapsack_data(size))

    def run():
        model = LinearModel(output_flag=False)
        x = model.get_variable("x", VariableType.REAL, 0.0, 1.0, i=size)
        model.add_constraint((x[:] * weights).sum() <= float(weights.sum() // 2))
        model.add_target((x[:] * values).sum(), minimization=True)
        model.solve()
        return model.get_result("x")

    return run


ROADS = {
    "highspy": by_hand,
    "text": lambda form: (text_rows if form == "rows" else text_knapsack)(SIZES[form]),
    "array": lambda form: (array_rows if form == "rows" else array_knapsack)(SIZES[form]),
}


def measure_here(road: str, form: str) -> dict:
    run = ROADS[road](form)
    before = current_rss()
    begin = time.thread_time()
    result = run()
    seconds = time.thread_time() - begin
    return {"seconds": seconds, "peak_mb": (peak_rss() - before) / 2**20, "result_sum": float(result.sum())}


def measure_in_process(road: str, form: str) -> dict:
    command = [sys.executable, __file__, "--one", road, form]
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return json.loads(output.strip().splitlines()[-1])


def median_of(runs: int, road: str, form: str) -> dict:
    results = [measure_in_process(road, form) for _ in range(runs)]
    return {key: statistics.median(result[key] for result in results) for key in ("seconds", "peak_mb", "result_sum")}


def main() -> None:
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    for form, (time_target, memory_target) in TARGETS.items():
        figures = {road: median_of(runs, road, form) for road in ("highspy", "array", "text")}
        print(f"{form} ({SIZES[form]:,}):")
        for road, figure in figures.items():
            print(f"  {road:>7}: {figure['seconds']:7.3f} s  {figure['peak_mb']:8.1f} MB"
                  f"  (result sum {figure['result_sum']:g})")
        time_ratio = figures["text"]["seconds"] / figures["highspy"]["seconds"]
        memory_ratio = figures["text"]["peak_mb"] / max(figures["array"]["peak_mb"], 1.0)
        print(f"  time text / highspy by hand: {time_ratio:5.2f} (target: at most {time_target:g})")
        memory_goal = f"target: at most {memory_target:g}" if memory_target else "no target"
        print(f"  memory text / array:         {memory_ratio:5.2f} ({memory_goal})")


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--one":
        print(json.dumps(measure_here(sys.argv[2], sys.argv[3])))
    else:
        main()
