"""A text read through a shape met before, its cells and parameters bound to
a template compiled for the first text, reads as it does alone: each case is
a sequence of texts read by one assembler, each compared with a fresh
assembler that reads only it."""

import pytest

import halvex.kelvo_engine as ke
from vx_encoder import _vx_native as native

# x: cells 1..30, y: cells 31..34.
VARIABLES = [("x", [6, 5], 1), ("y", [4], 31)]
BIG = 4611686018427387904  # 2^62: twice it passes 64 bits

# (texts, index names, values of the indexes, shapes the sequence has)
HARD = {
    "constants beside an index differ": (
        ["bx.or_s([~(x(0,c).to_bx()), ~(x(3,c).to_bx())])", "bx.or_s([~(x(4,c).to_bx()), ~(x(1,c).to_bx())])",
         "bx.or_s([~(x(5,c).to_bx()), ~(x(2,c).to_bx())])"], ["c"], [[0, 2, 4]], 1),
    "equal constants beside an index": (
        ["bx.or_s([x(2,c).to_bx(), ~(x(3,c).to_bx())])", "bx.or_s([x(3,c).to_bx(), ~(x(3,c).to_bx())])",
         "bx.or_s([x(4,c).to_bx(), ~(x(4,c).to_bx())])", "bx.or_s([x(4,c).to_bx(), ~(x(5,c).to_bx())])"],
        ["c"], [[1, 3]], 2),
    "a parameter in two dimensions": (
        ["bx.or_s([x(2,c).to_bx(), x(c,2).to_bx()])", "bx.or_s([x(4,c).to_bx(), x(c,4).to_bx()])"],
        ["c"], [[0, 1, 2, 3, 4]], 1),
    "a constant cell repeated": (
        ["FormulaPB(Sum(*[x(1,1).to_pb(), x(1,1).to_pb(), x(2,2).to_pb()]), pb.Comparator_type.LEQ, 1).to_bx(manager)",
         "FormulaPB(Sum(*[x(3,3).to_pb(), x(3,3).to_pb(), x(0,4).to_pb()]), pb.Comparator_type.LEQ, 1).to_bx(manager)",
         "FormulaPB(Sum(*[x(3,3).to_pb(), x(3,3).to_pb(), x(3,3).to_pb()]), pb.Comparator_type.LEQ, 1).to_bx(manager)"],
        [], [], 2),
    "constant cells beside parameters and two variables": (
        ["FormulaPB(Sum(*[x(1,c).to_pb(), y(2).to_pb(), x(0,0).to_pb()]), pb.Comparator_type.GEQ, 2).to_bx(manager)",
         "FormulaPB(Sum(*[x(3,c).to_pb(), y(0).to_pb(), x(5,4).to_pb()]), pb.Comparator_type.GEQ, 2).to_bx(manager)"],
        ["c"], [[0, 4]], 1),
    "a constant out of range in a later text": (
        ["bx.or_s([x(1,c).to_bx(), ~(y(c).to_bx())])", "bx.or_s([x(2,c).to_bx(), ~(y(c).to_bx())])",
         "bx.or_s([x(9,c).to_bx(), ~(y(c).to_bx())])"], ["c"], [[0, 3]], 1),
    "an index out of range in every text": (
        ["bx.or_s([x(1,c).to_bx(), ~(x(2,c + 1).to_bx())])", "bx.or_s([x(3,c).to_bx(), ~(x(4,c + 1).to_bx())])"],
        ["c"], [[0, 4]], 1),
    "index arithmetic past 64 bits": (
        [f"bx.or_s([x(1,{BIG} * c - {BIG} * c + c).to_bx(), x(2,{BIG} * c).to_bx()])",
         f"bx.or_s([x(3,{BIG} * c - {BIG} * c + c).to_bx(), x(4,{BIG} * c).to_bx()])"], ["c"], [[0, 2]], 1),
    "a shape too large to hold compiled": (
        ["FormulaPB(Sum(*[" + ", ".join(f"x({r},{c}).to_pb()" for r, c in cells)
         + "]), pb.Comparator_type.LEQ, 12).to_bx(manager)"
         for cells in ([(r, c) for r in range(6) for c in range(5)], [(r, c) for c in range(5) for r in range(6)],
                       [(5 - r, c) for r in range(6) for c in range(5)])], [], [], 1),
    "never and always": (
        ["FormulaPB(Sum(*[x(1,c).to_pb(), x(2,c).to_pb()]), pb.Comparator_type.GEQ, 3).to_bx(manager)",
         "FormulaPB(Sum(*[x(3,c).to_pb(), x(4,c).to_pb()]), pb.Comparator_type.GEQ, 3).to_bx(manager)",
         "bx.or_s([x(1,1).to_bx(), ~(x(1,1).to_bx())])", "bx.or_s([x(2,2).to_bx(), ~(x(2,2).to_bx())])"],
        ["c"], [[0]], 2),
}

# (texts with their weights and minimization, index names, values, shapes)
SOFT = {
    "constant cells of other weights and signs": (
        [("x(0,1)", 3, True), ("x(2,2)", -2, True), ("x(3,0)", 5, False), ("x(4,4)", -1, False)], [], [], 1),
    "entries of either sign": (
        [("2 * x(1,1) - 3 * y(2)", 4, True), ("2 * x(0,3) - 3 * y(1)", -4, True), ("2 * x(5,0) - 3 * y(0)", 7, False)],
        [], [], 1),
    "a cell repeated": ([("x(1,1) + x(1,1) - x(2,2)", 2, True), ("x(3,3) + x(3,3) - x(4,4)", -3, False)], [], [], 1),
    "parameters beside an index": (
        [("Sum(*[x(1,c), 2 * x(c,3)])", 2, True), ("Sum(*[x(4,c), 2 * x(c,0)])", -3, True)], ["c"], [[0, 4]], 1),
    "entries that weigh nothing or too much": (
        [("x(1,1) - 2 * y(1)", 0, True), ("x(2,2) - 2 * y(2)", BIG, True), ("x(3,3) - 2 * y(3)", 5, True)], [], [], 1),
}


def assembler() -> native.ConstraintAssembler:
    made = native.ConstraintAssembler()
    for name, sizes, first in VARIABLES:
        made.add_variable(name, sizes, first)
    return made


def outcome(read, index_names, values):
    """Everything a reading gives the host, an error as its type and arguments."""
    if isinstance(read, str):
        return ("declined", read)
    given = {"never": read.never_holds, "always": read.always_holds, "pbct": read.pbct_count,
             "bxpr": read.bxpr_count, "weights": list(read.weights), "texts": read.clause_texts(index_names)}
    if read.never_holds:
        return given
    try:
        clauses = read.instantiate(values, 41)
    except Exception as error:  # the error itself is what is compared
        given["error"] = (type(error), error.args)
        return given
    if clauses is not None:
        names = clauses.auxiliary_names(3).to_dict()
        given["clauses"] = (clauses.literals.tolist(), clauses.offsets.tolist(), clauses.weights.tolist(), names)
    return given


@pytest.mark.parametrize("case", HARD)
def test_a_hard_text_read_through_its_shape_reads_as_alone(case):
    texts, index_names, values, shapes = HARD[case]
    shared = assembler()
    through_shapes = [outcome(shared.read_hard(text, index_names), index_names, values) for text in texts]
    alone = [outcome(assembler().read_hard(text, index_names), index_names, values) for text in texts]
    assert through_shapes == alone
    assert len(shared) == shapes


def test_a_shape_is_its_own_under_other_index_names_settings_and_variables():
    pair = "FormulaPB(Sum(*[x({},c).to_pb(), x({},c).to_pb(), y(0).to_pb()]), pb.Comparator_type.LEQ, 1).to_bx(manager)"
    config = ke.pbct.PBConfig()
    config.cardinality_encodings = False
    # (text, index names, values, settings), read in this order; a variable is added after the third.
    reads = [(pair.format(1, 2), ["c"], [[0, 1]], None), (pair.format(3, 4), ["c", "d"], [[0, 1], [0, 2]], None),
             (pair.format(5, 0), ["c"], [[2]], config), (pair.format(2, 3), ["c"], [[1, 3]], None),
             (pair.format(4, 1), ["c", "d"], [[4], [0]], None)]
    shared = assembler()
    for position, (text, index_names, values, settings) in enumerate(reads):
        if position == 3:
            shared.add_variable("z", [3], 35)
        alone = assembler()
        if position >= 3:
            alone.add_variable("z", [3], 35)
        shared.read_soft("x(1,1)", [], 2, True)
        assert (outcome(shared.read_hard(text, index_names, settings), index_names, values) ==
                outcome(alone.read_hard(text, index_names, settings), index_names, values))


@pytest.mark.parametrize("case", HARD)
def test_the_engine_serves_a_text_of_a_shape_met_before_its_own_template(case):
    texts, index_names, _, _ = HARD[case]
    variables = [(name, sizes, first) for name, sizes, first in VARIABLES]
    config = ke.pbct.PBConfig()
    cache = ke.clause_template_cache()

    def plain(reading):
        return reading if isinstance(reading, str) else [getattr(part, "tolist", lambda: part)() for part in reading]

    through_shapes = [plain(ke.read_clause_template(text, index_names, variables, config, cache)) for text in texts]
    alone = [plain(ke.read_clause_template(text, index_names, variables, config)) for text in texts]
    assert through_shapes == alone


@pytest.mark.parametrize("case", SOFT)
def test_a_soft_text_read_through_its_shape_reads_as_alone(case):
    texts, index_names, values, shapes = SOFT[case]
    shared = assembler()
    through_shapes = [outcome(shared.read_soft(text, index_names, weight, minimization), index_names, values)
                      for text, weight, minimization in texts]
    alone = [outcome(assembler().read_soft(text, index_names, weight, minimization), index_names, values)
             for text, weight, minimization in texts]
    assert through_shapes == alone
    assert len(shared) == shapes
