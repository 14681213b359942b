"""The fixed cost of one native call of a tiny constraint, net of a Python call.

Rows, each in microseconds per call: a cached shape read (soft `x(5)`, hard
two-literal clause over c), instantiating the readings, their properties, and
10,000 `add_soft_constraint(x[a], 1 + a % 9, True)` to the WCNF in all.
Run by hand with the build to measure on PYTHONPATH:
    PYTHONPATH=src python bench/native_call_overhead.py
"""

import time
import timeit

import halvex.kelvo_engine as ke
from vx_encoder import Model
from vx_encoder import _vx_native as native

HARD_TEXT = "bx.or_s([~(x(1,c).to_bx()), ~(x(2,c).to_bx())])"


def per_call(function, number: int = 200_000, repeat: int = 7) -> float:
    """The fastest of repeat runs, in microseconds per call, net of calling an empty lambda."""
    empty = min(timeit.repeat(lambda: None, number=number, repeat=repeat))
    taken = min(timeit.repeat(function, number=number, repeat=repeat))
    return (taken - empty) / number * 1e6


def soft_model(count: int) -> float:
    """Seconds to add count unit soft constraints and build the WCNF."""
    started = time.perf_counter()
    model = Model(ke.manager(), "soft")
    x = model.create_variables("x", a=count)
    for a in range(count):
        model.add_soft_constraint(x[a], 1 + a % 9, True)
    model.build_wcnf()
    return time.perf_counter() - started


def main() -> None:
    assembler = native.ConstraintAssembler()
    assembler.add_variable("x", [10, 5], 1)
    soft = assembler.read_soft("x(5,1)", [], 3, True)
    hard = assembler.read_hard(HARD_TEXT, ["c"])
    unit = soft.instantiate([], 200)
    colours = [list(range(5))]
    rows = {
        "read_soft x(5,1), cached": lambda: assembler.read_soft("x(5,1)", [], 3, True),
        "read_hard ~x|~x over c, cached": lambda: assembler.read_hard(HARD_TEXT, ["c"]),
        "instantiate soft unit": lambda: soft.instantiate([], 200),
        "instantiate hard over 5 colours": lambda: hard.instantiate(colours, 200),
        "ReadConstraint.pbct_count": lambda: soft.pbct_count,
        "ReadConstraint.weights": lambda: soft.weights,
        "InstantiatedClauses.clause_count": lambda: unit.clause_count,
    }
    for name, function in rows.items():
        print(f"{name:>34}: {per_call(function):6.3f} us", flush=True)
    seconds = min(soft_model(10_000) for _ in range(3))
    print(f"{'10,000 soft x[a] to the WCNF':>34}: {seconds * 1e3:6.1f} ms", flush=True)


if __name__ == "__main__":
    main()
