"""Whole-model builds through the clause-assembly path.

Cases:
  queens N   N = 100, 300, 1,000 (or those given): exactly one queen per row,
             at most one per column (both over foralls) and one `SumIt(...) <= 1`
             constraint per diagonal, then `build_cnf`
  soft       100,000 soft constraints (unit clauses of weights 1..10) over a
             1,000 x 1,000 variable, with one hard row constraint, then
             `build_wcnf`

For each case: total build time (model creation to registered build),
clauses per second, the share of time in text evaluation (expression text to
clause template: `Model.__clause_template` and the soft evaluation) versus
instantiation and storage (`FormulaContainer` instantiation and merges),
Python-heap peak (tracemalloc) and the process's peak RSS growth, each as
bytes per stored literal. A second, untraced run gives the times.

Targets: queens 1,000 under 20 s; time per clause flat across N; peak memory
under 60 bytes per stored literal.

Run by hand: PYTHONPATH=. python bench/model.py [--queens 100 300 1000] [--no-soft]
"""

import argparse
import gc
import resource
import subprocess
import sys
import time
import tracemalloc
from contextlib import contextmanager
from pathlib import Path

import halvex.kelvo_engine as ke
from vx_encoder import Model, Sum
from vx_encoder.core.formula_container import FormulaContainer

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from examples.queens import build_queens, describe_queens  # noqa: E402

SOFT_ROWS, SIDE = 100, 1000

# The queens model for bench/formula_encoder.py, which builds it on both
# paths: (name, describe(model, scale)).
MODELS = [("queens+diagonals", lambda model, scale: describe_queens(model, 5 * scale))]


class Timers:
    """Time spent inside the wrapped functions, by label."""

    def __init__(self):
        self.spent = {}
        self.depth = {}

    @contextmanager
    def wrapping(self, owner, attribute: str, label: str):
        original = getattr(owner, attribute)

        def timed(*args, **kwargs):
            # Only the outermost call of a label counts: the wrapped functions call each other.
            if self.depth.get(label, 0):
                return original(*args, **kwargs)
            self.depth[label] = 1
            start = time.perf_counter()
            try:
                return original(*args, **kwargs)
            finally:
                self.depth[label] = 0
                self.spent[label] = self.spent.get(label, 0.0) + time.perf_counter() - start

        setattr(owner, attribute, timed)
        try:
            yield
        finally:
            setattr(owner, attribute, original)


@contextmanager
def phase_timers(timers: Timers):
    # Evaluation: expression text to clause template. Instantiation: template
    # to numbered clauses in the container's storage (its merges included).
    with timers.wrapping(Model, "_Model__clause_template", "evaluation"), \
            timers.wrapping(Model, "_Model__evaluate", "evaluation"), \
            timers.wrapping(FormulaContainer, "_FormulaContainer__inner_add_constraint", "instantiation"), \
            timers.wrapping(FormulaContainer, "_FormulaContainer__flush", "instantiation"):
        yield


def build_soft(kmanager) -> Model:
    model = Model(kmanager, "soft")
    x = model.create_variables("x", i=SIDE, j=SIDE)
    i, j = model.get_indexes(["i", "j"])
    model.add_constraint(Sum(x[i, j], j=range(SIDE)) >= 1, i=range(SOFT_ROWS))
    for weight in range(1, 11):
        rows = range((weight - 1) * SOFT_ROWS // 10, weight * SOFT_ROWS // 10)
        model.add_soft_constraint(x[i, j], weight, True, i=rows, j=range(SIDE))
    model.build_wcnf()
    return model


def stored_counts(storage):
    hard, soft = storage.get_hard_clauses(), storage.get_soft_clauses()
    literals = sum(len(clause) for clause in hard) + sum(len(clause) for clause, *_ in soft)
    return len(hard) + len(soft), literals


def peak_rss_bytes() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def measure(label: str, build):
    gc.collect()
    rss_before = peak_rss_bytes()
    timers = Timers()
    with phase_timers(timers):
        start = time.perf_counter()
        model = build(ke.manager())
        total = time.perf_counter() - start
    # This process runs one case only, so the peak is this build's own.
    rss_growth = max(0, peak_rss_bytes() - rss_before)
    clauses, literals = stored_counts(model.get_cnf_storage())
    del model
    gc.collect()

    tracemalloc.start()
    model = build(ke.manager())
    _, python_peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    del model

    evaluation = timers.spent.get("evaluation", 0.0)
    instantiation = timers.spent.get("instantiation", 0.0)
    rest = max(0.0, total - evaluation - instantiation)
    print(f"{label:>12}: {total:8.2f} s  {clauses:>11,} clauses  {literals:>11,} literals  "
          f"{clauses / total:>11,.0f} clauses/s  {1e6 * total / clauses:6.2f} us/clause")
    print(f"{'':>12}  evaluation {evaluation / total:5.1%}  instantiation {instantiation / total:5.1%}  "
          f"other {rest / total:5.1%}")
    print(f"{'':>12}  python peak {python_peak / 2**20:8.1f} MiB = {python_peak / literals:6.1f} B/literal;  "
          f"rss peak growth {rss_growth / 2**20:8.1f} MiB = {rss_growth / literals:6.1f} B/literal")
    print(f"RESULT {total} {clauses}", flush=True)


def run_case(case: str):
    if case == "soft":
        measure("soft", build_soft)
    else:
        n = int(case)
        measure(f"queens {n}", lambda kmanager: build_queens(kmanager, n))


def run_in_own_process(case: str):
    """Figures of one case from a fresh interpreter, so that its peak RSS is its own."""
    output = subprocess.run([sys.executable, __file__, "--case", case], check=True, capture_output=True,
                            text=True).stdout
    result = None
    for line in output.splitlines():
        if line.startswith("RESULT "):
            result = tuple(float(field) for field in line.split()[1:])
        else:
            print(line, flush=True)
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--queens", type=int, nargs="*", default=[100, 300, 1000])
    parser.add_argument("--no-soft", action="store_true")
    parser.add_argument("--case", help=argparse.SUPPRESS)
    arguments = parser.parse_args()
    if arguments.case:
        run_case(arguments.case)
        return
    rates = [(n, *run_in_own_process(str(n))) for n in sorted(arguments.queens)]
    if len(rates) > 1:
        base = rates[0][1] / rates[0][2]
        print("time per clause relative to the smallest N: "
              + ", ".join(f"N={n}: {total / clauses / base:.2f}" for n, total, clauses in rates))
    if rates and rates[-1][0] >= 1000:
        print(f"queens {rates[-1][0]} under 20 s: {'yes' if rates[-1][1] < 20 else 'NO'}")
    if not arguments.no_soft:
        run_in_own_process("soft")


if __name__ == "__main__":
    main()
