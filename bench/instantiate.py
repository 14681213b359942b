"""Instantiate clause templates natively and compare with evaluating the
comprehension text on the host and numbering in Python, one clause at a time.

Cases:
  wide   3 clauses of 4 literals over 1,000 x 1,000 index values (12,000,000 literals)
  tall   1,000 clauses (with Tseytin auxiliaries) over 1,000 instances

Prints literals per second of the native path, its ratio to the host
evaluation, and the peak of Python-heap memory on the native path.
Run by hand: python bench/instantiate.py [--scale 0.1]
"""

import argparse
import time
import tracemalloc

import halvex.kelvo_engine as ke
from vx_encoder.core.dumper import DumpArgs, One2OneDumper
from vx_encoder.encode.variables import Variable


def variables(side: int):
    return {"dummy_var": Variable("dummy_var", {"d": 1}, 0),
            "x": Variable("x", {"i": side + 1, "j": side + 1}, 1),
            "y": Variable("y", {"k": side + 1}, 1 + (side + 1) ** 2)}


def wide_case(side: int):
    template = [["x(i,j)", "-x(i + 1,j)", "x(i,j + 1)", "-y(i)"],
                ["-x(i,j)", "x(i + 1,j + 1)", "y(j)", "y(i + 1)"],
                ["x(j,i)", "-y(j + 1)", "-x(i + 1,j)", "x(2 * i - i,j)"]]
    return template, {"i": range(side), "j": range(side)}, 0, 0


def tall_case(side: int, clauses: int = 1000, auxiliaries: int = 100):
    template = [[f"-x(i,{c % (side + 1)})", f"'~_bxpr_aux_{c % auxiliaries}'", "y(i)"] for c in range(clauses)]
    return template, {"i": range(side)}, 0, auxiliaries


def record(case, side: int) -> DumpArgs:
    template, foralls, pb, bx = case
    state = {name: variable.copy() for name, variable in variables(side).items()}
    first = 2 + (side + 1) ** 2 + side
    return DumpArgs(template, None, foralls, 0, first, pb, bx, 0, state, ke.wcnf_storage())


def literal_count(case) -> int:
    template, foralls, _, _ = case
    instances = 1
    for values in foralls.values():
        instances *= len(values)
    return instances * sum(len(clause) for clause in template)


def time_native(case, side: int, repeats: int = 3):
    best = None
    for _ in range(repeats):
        args = record(case, side)
        start, cpu_start = time.perf_counter(), time.process_time()
        mapping = One2OneDumper.dump([args])
        elapsed = (time.perf_counter() - start, time.process_time() - cpu_start)
        best = elapsed if best is None else min(best, elapsed)
    # A separate run for memory: tracing slows the host's allocations.
    traced = record(case, side)
    tracemalloc.start()
    One2OneDumper.dump([traced])
    _, peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    return best, peak, args.cnf_stor, mapping


def time_host_evaluation(case, side: int):
    """Evaluate the comprehension text, then number, sort and add each clause
    in Python: the straightforward host path."""
    args = record(case, side)
    template, foralls = args.template_constraint, args.foralls
    start, cpu_start = time.perf_counter(), time.process_time()
    clauses = ",".join("[" + ",".join(clause) + "]" for clause in template)
    fors = " ".join(f"for {name} in {values}" for name, values in foralls.items())
    temp_cnf = eval("[[" + clauses + "] " + fors + "]", dict(args.eval_state))
    mapping = {}
    size = args.shift_pb_variable + args.shift_bx_variable
    for k, instance in enumerate(temp_cnf):
        base = args.init_shift_variable + k * size
        for clause in instance:
            lits = []
            for value in clause:
                if not isinstance(value, str):
                    lits.append(value)
                    continue
                sign, name = (-1, value[1:]) if "~" in value else (1, value)
                n = int(name[name.rfind("_") + 1:])
                if "_pbct_aux" in name:
                    number, key = base + n, f"_pbct_aux[{args.num_formula},{k},{n}]"
                else:
                    number, key = base + args.shift_pb_variable + n, f"_bxpr_aux[{args.num_formula},{k},{n}]"
                mapping[key] = number
                lits.append(sign * number)
            lits.sort(key=abs)
            args.cnf_stor.add_hard_clause(lits)
    return (time.perf_counter() - start, time.process_time() - cpu_start), args.cnf_stor, mapping


def report(name: str, case, side: int) -> None:
    literals = literal_count(case)
    native_time, peak, native_storage, native_mapping = time_native(case, side)
    host_time, host_storage, host_mapping = time_host_evaluation(case, side)
    assert native_storage.get_hard_clause_count() == host_storage.get_hard_clause_count()
    assert native_mapping == host_mapping
    if literals <= 3_000_000:
        assert native_storage.to_dimacs() == host_storage.to_dimacs()
    print(f"{name}: {literals:,} literals, {len(native_mapping):,} auxiliary keys (wall / CPU time)")
    print(f"  native  {native_time[0]:8.3f} s / {native_time[1]:8.3f} s  "
          f"{literals / native_time[0] / 1e6:6.1f} / {literals / native_time[1] / 1e6:6.1f} M literals/s  (target >= 20)")
    print(f"  host    {host_time[0]:8.3f} s / {host_time[1]:8.3f} s  "
          f"{literals / host_time[0] / 1e6:6.2f} / {literals / host_time[1] / 1e6:6.2f} M literals/s")
    print(f"  ratio   {host_time[0] / native_time[0]:8.1f} x / {host_time[1] / native_time[1]:8.1f} x  (target >= 50)")
    print(f"  Python heap peak on the native path: {peak / 1e6:.1f} MB "
          f"({peak / max(literals, 1):.2f} bytes per literal)")


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", type=float, default=1.0, help="fraction of the 1,000 values per index")
    side = max(1, int(1000 * parser.parse_args().scale))
    report("wide", wide_case(side), side)
    report("tall", tall_case(side), side)


if __name__ == "__main__":
    main()
