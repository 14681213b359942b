"""FormulaPB.to_bx against the bare encoder, and long sums.

Times `to_bx` on one comparison of 10,000 weighted variables (weights 1..n,
bound half of the total weight) and prints its ratio to the `encode2` call
alone (target: at most 3), with the engine's bulk clause conversion and with
the per-literal conversion it replaces. Then times rounds of many small
comparisons on one manager, which must not slow down as conversions pile up,
and lists, negates, scales and prints a sum of 1,000,000 terms written with +
in a loop.

Run: PYTHONPATH=. python bench/formulapb.py [n]
"""

import sys
import time
from contextlib import contextmanager

import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb
from vx_encoder.core.formulapb import FormulaPB
from vx_encoder.core.manager import Manager
from vx_encoder.core.pboperations import PBVariable, Sum, term_leaves

REPEATS = 11


def best_time(run, prepare=lambda: None):
    best = float("inf")
    for _ in range(REPEATS):
        argument = prepare()
        start = time.perf_counter()
        run(argument)
        best = min(best, time.perf_counter() - start)
    return best


def best_times(runs):
    """Best time of each (run, prepare) pair, the runs taking turns, so that
    each meets the heap as warm as the others (page faults of fresh memory
    would otherwise favour whichever runs second)."""
    best = [float("inf")] * len(runs)
    for _ in range(REPEATS):
        for k, (run, prepare) in enumerate(runs):
            argument = prepare()
            start = time.perf_counter()
            run(argument)
            best[k] = min(best[k], time.perf_counter() - start)
    return best


def model_term(manager, n):
    manager.registration_generator_variables("x")
    x = manager.name2genvar["x"]
    return Sum(*[(i + 1) * x(i).to_pb() for i in range(n)])


def encoded_database(n, comparator, bound):
    manager = Manager()
    term = model_term(manager, n)
    constraint = pb.PBConstraint(term.to_pb(), comparator, bound)
    database = pb.VectorClauseDatabase(manager.pb_config)

    def encode(_):
        database_ = pb.VectorClauseDatabase(manager.pb_config)
        pb.pb2cnf(manager.pb_config).encode2(constraint, database_, pb.AuxVarManager(n + 1))

    pb.pb2cnf(manager.pb_config).encode2(constraint, database, pb.AuxVarManager(n + 1))
    return encode, len(database)


@contextmanager
def per_literal_conversion():
    """As on an engine without the bulk calls: weighted literals, one
    conversion per literal."""
    bulk = bx.clauses_to_formula
    from_numbers = pb.PBConstraint.from_numbers
    del bx.clauses_to_formula
    del pb.PBConstraint.from_numbers
    try:
        yield
    finally:
        bx.clauses_to_formula = bulk
        pb.PBConstraint.from_numbers = from_numbers


def comparison_case(n, comparator):
    """The encoder alone, and how to make a fresh FormulaPB of the case."""
    total = n * (n + 1) // 2
    bound = total // 2
    encode, clauses = encoded_database(n, comparator, bound)

    def prepare():
        manager = Manager()
        return manager, FormulaPB(model_term(manager, n), comparator, bound)

    return bound, encode, clauses, prepare


def convert(prepared):
    manager, formula = prepared
    formula.to_bx(manager)


def compare_to_bx(n, comparator):
    bound, encode, clauses, prepare = comparison_case(n, comparator)
    encode_time, bulk_time = best_times([(encode, lambda: None), (convert, prepare)])
    manager, formula = prepare()
    formula.to_bx(manager)
    print(f"n = {n:,}, {comparator.name}: {clauses:,} clauses, {manager.cnt_pbvar:,} auxiliaries")
    print(f"  encode2 alone        {encode_time * 1000:8.1f} ms")
    print(f"  to_bx, bulk          {bulk_time * 1000:8.1f} ms   ratio {bulk_time / encode_time:5.2f} (target <= 3)")
    print_bulk_parts(n, comparator, bound)


def compare_per_literal(n, comparator):
    """Run after the bulk figures: the host objects of a million clauses leave
    the heap in a state that would slow whatever is measured next."""
    _, encode, _, prepare = comparison_case(n, comparator)
    encode_time = best_time(encode)
    with per_literal_conversion():
        per_literal_time = best_time(convert, prepare)
    print(f"n = {n:,}, {comparator.name}, to_bx per literal {per_literal_time * 1000:8.1f} ms   "
          f"ratio {per_literal_time / encode_time:5.2f}")


def print_bulk_parts(n, comparator, bound):
    """Where the bulk to_bx spends its time besides encoding: the term's leaves
    as numbers and coefficients, and the clause conversion; then, for
    comparison, the listing as weighted literals and the engine's per-clause
    formula builder."""
    def prepare():
        manager = Manager()
        term = model_term(manager, n)
        database = pb.VectorClauseDatabase(manager.pb_config)
        constraint = pb.PBConstraint(term.to_pb(), comparator, bound)
        pb.pb2cnf(manager.pb_config).encode2(constraint, database, manager.pb_var_manager)
        return manager, term, database

    def leaves_as_numbers(prepared):
        leaves = term_leaves(prepared[1])
        return [leaf.pb_var for leaf in leaves], [leaf.coefficient for leaf in leaves]

    numbers = best_time(leaves_as_numbers, prepare)
    listing = best_time(lambda prepared: prepared[1].to_pb(), prepare)
    conversion = best_time(lambda prepared: prepared[0].clauses_to_bx(prepared[2]), prepare)

    def prepare_building():
        manager, _, database = prepare()
        literals, offsets = database.get_clause_arrays()
        context = manager.bx_context
        variables = [context.get_var(f"v{k}") for k in range(manager.pb_var_manager.next_variable - 1)]
        return literals.astype("int64"), offsets, variables

    building = best_time(lambda prepared: bx.from_clauses(*prepared), prepare_building)
    print(f"  parts: term leaves as numbers {numbers * 1000:.1f} ms, Manager.clauses_to_bx {conversion * 1000:.1f} ms; "
          f"term.to_pb {listing * 1000:.1f} ms, bx.from_clauses {building * 1000:.1f} ms")


def many_comparisons(count, per_round=1000):
    """Comparisons of 30 terms over 200 variables, all on one manager: each
    round of per_round to_bx calls should take as long as the first (before,
    each conversion asked every earlier conversion's block, and the rounds
    grew linearly)."""
    manager = Manager()
    manager.registration_generator_variables("x")
    x = manager.name2genvar["x"]
    variables = [x(i).to_pb() for i in range(200)]
    rounds = []
    start = time.perf_counter()
    for k in range(1, count + 1):
        term = Sum(*[(j % 5 + 1) * variables[(k + j) % 200] for j in range(30)])
        FormulaPB(term, pb.Comparator_type.LEQ, 40).to_bx(manager)
        if k % per_round == 0:
            rounds.append(time.perf_counter() - start)
            start = time.perf_counter()
    print(f"{count:,} comparisons on one manager, {per_round:,} a round: "
          + ", ".join(f"{seconds:.2f} s" for seconds in rounds)
          + f"; last round / first {rounds[-1] / rounds[0]:.2f} (target: about 1)")


def long_sum(length):
    leaves = [PBVariable(i + 1, f"x({i})", i % 7 - 3) for i in range(length)]
    term = leaves[0]
    for leaf in leaves[1:]:
        term = term + leaf
    print(f"a sum of {length:,} terms written with + (a chain of {length - 1:,} AddOps):")
    for label, operation in [("to_pb", lambda: term.to_pb()), ("to_maxsat", lambda: term.to_maxsat()),
                             ("negation", lambda: -term), ("scaling", lambda: 3 * term),
                             ("text", lambda: repr(term))]:
        start = time.perf_counter()
        operation()
        print(f"  {label:<10} {time.perf_counter() - start:6.2f} s")


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000
    for comparator in (pb.Comparator_type.LEQ, pb.Comparator_type.BOTH):
        compare_to_bx(n, comparator)
    for comparator in (pb.Comparator_type.LEQ, pb.Comparator_type.BOTH):
        compare_per_literal(n, comparator)
    many_comparisons(4000)
    long_sum(1_000_000)


if __name__ == "__main__":
    main()
