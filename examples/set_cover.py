"""Weighted set cover as WCNF: every element covered (hard), each chosen set costs its weight (soft)."""

import halvex.kelvo_engine as ke
from vx_encoder import Model, SumIt

SETS = {
    "a": ({0, 1, 2}, 3),
    "b": ({2, 3}, 1),
    "c": ({3, 4, 5}, 3),
    "d": ({0, 4}, 2),
    "e": ({1, 5}, 2),
}
ELEMENTS = range(6)


def build_set_cover(kmanager: ke.manager) -> Model:
    model = Model(kmanager, "set_cover")
    chosen = model.create_variables("chosen", s=len(SETS))
    names = list(SETS)
    for element in ELEMENTS:
        covering = [chosen[names.index(name)] for name, (members, _) in SETS.items() if element in members]
        model.add_constraint(SumIt(covering) >= 1)
    for position, (members, weight) in enumerate(SETS.values()):
        model.add_soft_constraint(chosen[position], weight, True)
    model.build_wcnf()
    return model


def set_names(values: dict[str, bool]) -> list[str]:
    names = list(SETS)
    return [names[int(key[len("chosen["):-1])] for key, value in values.items() if value]
