"""Clauses of cardinality constraints: the engine's encoder (through `pbct` and
through the model's `Sum(...)`) against pindakaas's adder and PBLib's own
choice (pypblib, AMK_BEST and AMO_BEST).

Run by hand from the repository root: PYTHONPATH=src python bench/cardinality_sizes.py
The peers are installed by hand (pip install pindakaas pypblib). Each side
counts in its own fresh process that imports only that side, and prints one
JSON object; this script prints the counts and the ratios measured in this run.

Goals: exactly k no more than 1.5 times pindakaas's adder and 1.1 times the
same constraint's at most k; at most 1,000 of 10,000 and at most 1 of 1,000
no more than PBLib's choice.
"""

from __future__ import annotations

import json
import subprocess
import sys

# (name, n, k, comparator): "le" at most, "eq" exactly.
CONSTRAINTS = [
    ("exactly 100 of 1,000", 1_000, 100, "eq"),
    ("at most 100 of 1,000", 1_000, 100, "le"),
    ("exactly 1,000 of 10,000", 10_000, 1_000, "eq"),
    ("at most 1,000 of 10,000", 10_000, 1_000, "le"),
    ("exactly 1 of 1,000", 1_000, 1, "eq"),
    ("at most 1 of 1,000", 1_000, 1, "le"),
    ("exactly 3 of 19", 19, 3, "eq"),
    ("at most 3 of 19", 19, 3, "le"),
]


def count_with_pbct() -> dict[str, int]:
    import halvex.kelvo_engine.pbct as pb

    comparators = {"le": pb.Comparator_type.LEQ, "eq": pb.Comparator_type.BOTH}
    counts = {}
    for name, n, k, comparator in CONSTRAINTS:
        config = pb.PBConfig()
        manager = pb.AuxVarManager(n + 1)
        database = pb.VectorClauseDatabase(config)
        constraint = pb.PBConstraint([pb.WeightedLit(v, 1) for v in range(1, n + 1)], comparators[comparator], k)
        pb.pb2cnf(config).encode2(constraint, database, manager)
        counts[name] = len(database)
    return counts


def count_with_model() -> dict[str, int]:
    import halvex.kelvo_engine as ke
    from vx_encoder import Model, Sum

    counts = {}
    for name, n, k, comparator in CONSTRAINTS:
        kmanager = ke.manager()
        model = Model(kmanager, "cardinality")
        x = model.create_variables("x", i=n)
        i = model.get_indexes(["i"])
        model.add_constraint(Sum(x[i], i=range(n)) == k if comparator == "eq" else Sum(x[i], i=range(n)) <= k)
        model.build_cnf()
        counts[name] = len(kmanager.get_cnf_storage().get_hard_clauses())
    return counts


def count_with_pindakaas() -> dict[str, int]:
    import pindakaas as pk

    counts = {}
    for name, n, k, comparator in CONSTRAINTS:
        cnf = pk.CNF()
        total = sum(cnf.new_vars(n))
        cnf.add_encoding(total == k if comparator == "eq" else total <= k, pk.Encoder.ADDER)
        counts[name] = sum(1 for _ in cnf.clauses())
    return counts


def count_with_pblib() -> dict[str, int]:
    from pypblib import pblib

    comparators = {"le": pblib.LEQ, "eq": pblib.BOTH}
    counts = {}
    for name, n, k, comparator in CONSTRAINTS:
        config = pblib.PBConfig()
        config.set_AMK_Encoder(pblib.AMK_BEST)
        config.set_AMO_Encoder(pblib.AMO_BEST)
        database = pblib.VectorClauseDatabase(config)
        constraint = pblib.PBConstraint([pblib.WeightedLit(v, 1) for v in range(1, n + 1)], comparators[comparator], k)
        pblib.Pb2cnf(config).encode(constraint, database, pblib.AuxVarManager(n + 1))
        counts[name] = len(database.get_clauses())
    return counts


SIDES = {"pbct": count_with_pbct, "model": count_with_model, "pindakaas": count_with_pindakaas,
         "pblib": count_with_pblib}


def counts_of(side: str) -> dict[str, int] | None:
    run = subprocess.run([sys.executable, __file__, side], capture_output=True, text=True)
    if run.returncode != 0:
        print(f"{side}: not measured ({run.stderr.strip().splitlines()[-1] if run.stderr else run.returncode})")
        return None
    return json.loads(run.stdout)


def ratio(value: int, reference: int | None) -> str:
    return f"{value / reference:6.3f}x" if reference else "      -"


def main() -> None:
    counts = {side: counts_of(side) for side in SIDES}
    empty: dict[str, int] = {}
    pindakaas, pblib = counts["pindakaas"] or empty, counts["pblib"] or empty
    print(f"{'constraint':>24} {'pbct':>9} {'model':>9} {'pindakaas':>10} {'PBLib':>9}"
          f" {'pbct/pk':>8} {'model/pk':>8} {'pbct/PBLib':>10}")
    for name, _, _, _ in CONSTRAINTS:
        ours, model = (counts["pbct"] or empty).get(name, 0), (counts["model"] or empty).get(name, 0)
        print(f"{name:>24} {ours:>9,} {model:>9,} {pindakaas.get(name, 0):>10,} {pblib.get(name, 0):>9,}"
              f" {ratio(ours, pindakaas.get(name))} {ratio(model, pindakaas.get(name))}"
              f"   {ratio(ours, pblib.get(name))}")
    print("\nexactly k against the same constraint's at most k")
    for side in ("pbct", "model"):
        own = counts[side] or empty
        for exactly, at_most in (("exactly 100 of 1,000", "at most 100 of 1,000"),
                                 ("exactly 1,000 of 10,000", "at most 1,000 of 10,000"),
                                 ("exactly 3 of 19", "at most 3 of 19")):
            if own:
                print(f"{side:>6} {exactly:>24}: {ratio(own[exactly], own[at_most])}")


if __name__ == "__main__":
    if len(sys.argv) > 1:
        print(json.dumps(SIDES[sys.argv[1]]()))
    else:
        main()
