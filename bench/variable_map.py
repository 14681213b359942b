"""Read the map of a variable of 10,000,000 cells (1000 x 100 x 100) and
compare with a plain Python dictionary comprehension building the same keys
and numbers.

Run by hand: PYTHONPATH=. python bench/variable_map.py
"""

import gc
import itertools
import time

from vx_encoder.encode.variables import Variable

SIZES = {"i": 1000, "j": 100, "k": 100}
FIRST_NUMBER = 1
TARGET_RATIO = 3.0
RUNS = 2  # the best of a few runs, as the machine may be shared


def timed(build) -> tuple[float, float, dict]:
    """The best wall-clock and CPU seconds of RUNS builds, and the last result."""
    walls, cpus = [], []
    for _ in range(RUNS):
        mapping = None
        gc.collect()
        wall, cpu = time.perf_counter(), time.process_time()
        mapping = build()
        walls.append(time.perf_counter() - wall)
        cpus.append(time.process_time() - cpu)
    return min(walls), min(cpus), mapping


def comprehension(name: str, sizes: list[int], first: int) -> dict:
    return {f"{name}[{','.join(map(str, cell))}]": number
            for number, cell in enumerate(itertools.product(*map(range, sizes)), first)}


def main() -> None:
    variable = Variable("x", dict(SIZES), FIRST_NUMBER)
    cells = 1
    for size in SIZES.values():
        cells *= size

    native_wall, native_cpu, native = timed(lambda: variable.map)
    first_keys = list(itertools.islice(native.items(), 3))
    last_key = next(reversed(native.items()))
    native_length = len(native)
    del native
    gc.collect()

    python_wall, python_cpu, python = timed(lambda: comprehension(variable.name, list(SIZES.values()), FIRST_NUMBER))
    assert native_length == len(python) == cells
    assert first_keys == list(itertools.islice(python.items(), 3))
    assert last_key == next(reversed(python.items()))
    del python

    print(f"cells              : {cells:,}")
    print(f"Variable.map       : {native_wall:.3f} s wall, {native_cpu:.3f} s CPU")
    print(f"dict comprehension : {python_wall:.3f} s wall, {python_cpu:.3f} s CPU")
    for kind, ratio in (("wall", python_wall / native_wall), ("CPU", python_cpu / native_cpu)):
        verdict = "ok" if ratio >= TARGET_RATIO else "MISSED"
        print(f"ratio, {kind:4} (target >= {TARGET_RATIO:.0f}): {ratio:.2f}x  {verdict}")


if __name__ == "__main__":
    main()
