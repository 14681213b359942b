"""The formula encoder against the clause-assembly path.

Run by hand: PYTHONPATH=. python bench/formula_encoder.py [scale]

Each model is described once, with the package's expression builders, and
built on both paths of `vx_encoder.encode.model.Model`: the clause-assembly
path (expression text evaluated by the host, templates instantiated per
combination of index values) and the formula-encoder path (the text read and
encoded natively). The models of bench/model.py are used when that module
offers them as MODELS (a list of (name, build) pairs, build(model, scale)).
Without the pseudo-Boolean model the native path alone is timed, fed as the
model would feed it. Target: the native path at least 5 times faster.

The clause-assembly path itself hands each hard constraint's text to the
engine's reader when the engine has one; the "host-read" column times it
with the host evaluating every text, and "vs host" is the native path's
ratio to that.
"""

from __future__ import annotations

import importlib
import sys
import time
import typing as tp

import halvex.kelvo_engine as ke
from vx_encoder.encode.expressions import And, Implication, Or, Sum

TARGET_RATIO = 5.0


def queens(model, scale: int) -> None:
    n = 8 * scale
    q = model.create_variables("q", r=n, c=n)
    r, c = model.get_indexes(["r", "c"])
    model.add_constraint(Sum(q[r, c], c=range(0, n)) == 1, r=range(0, n))
    model.add_constraint(Sum(q[r, c], r=range(0, n)) <= 1, c=range(0, n))
    model.add_constraint(~(q[r, c] & q[r + 1, c + 1]), r=range(0, n - 1), c=range(0, n - 1))
    model.add_constraint(~(q[r, c + 1] & q[r + 1, c]), r=range(0, n - 1), c=range(0, n - 1))


def schedule(model, scale: int) -> None:
    jobs, slots = 20 * scale, 10
    x = model.create_variables("x", j=jobs, t=slots)
    j, t, u = model.get_indexes(["j", "t", "u"])
    model.add_constraint(Or(x[j, t], t=range(0, slots)), j=range(0, jobs))
    model.add_constraint(Sum(2 * x[j, t], j=range(0, jobs)) <= jobs // 2, t=range(0, slots))
    model.add_constraint(Implication(x[j, t], ~x[j + 1, t]), j=range(0, jobs - 1), t=range(0, slots))
    model.add_constraint(And(~x[j, u] | ~x[j, t], u=range(0, 1)), j=range(0, jobs), t=range(1, slots))


def cover(model, scale: int) -> None:
    sets = 200 * scale
    x = model.create_variables("x", s=sets)
    s = model.get_indexes(["s"])
    model.add_constraint(x[s] | x[s + 1] | x[s + 3], s=range(0, sets - 3))
    for weight in range(1, 4):
        model.add_soft_constraint(x[s], weight=weight, minimization=True, s=range(weight - 1, sets, 3))


OWN_MODELS: tp.List[tp.Tuple[str, tp.Callable]] = [("queens", queens), ("schedule", schedule), ("cover", cover)]


def bench_models() -> tp.List[tp.Tuple[str, tp.Callable]]:
    try:
        shared = importlib.import_module("bench.model")
    except ImportError:
        return OWN_MODELS
    return list(getattr(shared, "MODELS", [])) + OWN_MODELS


def build(model_class, build_model, scale: int, native: bool, host_reads: bool = False) -> tp.Tuple[float, int]:
    """host_reads: the clause assembly without the engine's reading of constraint texts."""
    reader = getattr(ke, "read_clause_template", None)
    if host_reads and reader is not None:
        del ke.read_clause_template
    try:
        return timed_build(model_class, build_model, scale, native)
    finally:
        if host_reads and reader is not None:
            ke.read_clause_template = reader


def timed_build(model_class, build_model, scale: int, native: bool) -> tp.Tuple[float, int]:
    started = time.perf_counter()
    model = model_class(ke.manager(), "bench", use_formula_encoder=native)
    build_model(model, scale)
    if model._is_wcnf:
        model.build_wcnf()
    else:
        model.build_cnf()
    seconds = time.perf_counter() - started
    return seconds, len(model.get_cnf_storage())


class FeedingModel:
    """Feeds the formula encoder as the model's formula-encoder path does, without the model."""

    def __init__(self, name: str) -> None:
        from vx_encoder.encode.variables import Index, Variable
        self._variable, self._index = Variable, Index
        self.encoder = ke.manager().create_formula_encoder(name)
        self._is_wcnf = False

    def create_variables(self, name, **dims):
        self.encoder.create_variables(name, list(dims.values()))
        return self._variable(name, dims, 0)

    def get_indexes(self, names):
        indexes = [self._index(name) for name in names]
        return indexes if len(indexes) > 1 else indexes[0]

    def add_constraint(self, constraint, **foralls):
        self.encoder.add_constraint(str(constraint), "Foralls: " + str(foralls))

    def add_soft_constraint(self, constraint, weight=1, minimization=False, **foralls):
        self._is_wcnf = True
        self.encoder.add_soft_constraint(str(constraint), "Foralls: " + str(foralls), weight, minimization)


def native_only(build_model, scale: int) -> tp.Tuple[float, int]:
    started = time.perf_counter()
    model = FeedingModel("bench")
    build_model(model, scale)
    model.encoder.generate_cnf()
    model.encoder.get_var_mapping()
    return time.perf_counter() - started, len(model.encoder.get_cnf_storage())


def reading_once_against_per_instance(side: int) -> None:
    """The same constraint read once with symbolic indexes, and read per instance (forced by a
    coefficient computed from an index, 1 ** i)."""
    shared = "x(i,j + 1).to_pb() + x(i + 1,j).to_pb() + 2 * (x(i + 1,j + 1).to_pb()), pb.Comparator_type.LEQ, 2)"
    texts = {"once": "FormulaPB(x(i,j).to_pb() + " + shared + ".to_bx(manager)",
             "per instance": "FormulaPB(1 ** i * (x(i,j).to_pb()) + " + shared + ".to_bx(manager)"}
    foralls = "Foralls: " + str({"i": range(0, side), "j": range(0, side)})
    seconds = {}
    for name, text in texts.items():
        encoder = ke.manager().create_formula_encoder("reading")
        encoder.create_variables("x", [side + 1, side + 1])
        started = time.perf_counter()
        encoder.add_constraint(text, foralls)
        seconds[name] = time.perf_counter() - started
    print(f"reading {side * side} instances: once {seconds['once']:.3f} s, per instance {seconds['per instance']:.3f} s,"
          f" ratio {seconds['per instance'] / seconds['once']:.1f}x")


def main() -> None:
    scale = int(sys.argv[1]) if len(sys.argv) > 1 else 2
    try:
        model_class = importlib.import_module("vx_encoder.encode.model").Model
    except ImportError:
        model_class = None
        print("vx_encoder.encode.model is not available: timing the native path alone")
    print(f"{'model':<18}{'clauses':>10}{'host-read s':>12}{'assembly s':>12}{'native s':>10}"
          f"{'vs host':>9}{'ratio':>8}")
    for name, build_model in bench_models():
        if model_class is None:
            seconds, clauses = native_only(build_model, scale)
            print(f"{name:<12}{clauses:>10}{'-':>12}{seconds:>10.3f}{'-':>8}")
            continue
        host_read, _ = build(model_class, build_model, scale, native=False, host_reads=True)
        assembly, clauses = build(model_class, build_model, scale, native=False)
        native, native_clauses = build(model_class, build_model, scale, native=True)
        ratio = assembly / native if native > 0 else float("inf")
        against_host = host_read / native if native > 0 else float("inf")
        verdict = "ok" if ratio >= TARGET_RATIO else f"below {TARGET_RATIO:g}x"
        print(f"{name:<18}{native_clauses:>10}{host_read:>12.3f}{assembly:>12.3f}{native:>10.3f}"
              f"{against_host:>8.1f}x{ratio:>7.1f}x  {verdict}  (assembly clauses {clauses})")
    reading_once_against_per_instance(100 * scale)


if __name__ == "__main__":
    main()
