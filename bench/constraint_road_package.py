"""The package's side of bench/constraint_road.py: the peer forms' models as a user writes them,
on the clause-assembly road, each returning its clause count. Imported only by its own process."""

import sys
from pathlib import Path

import halvex.kelvo_engine as ke
from vx_encoder import Model, Sum

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from examples.queens import build_queens  # noqa: E402

from instances import random_graph, soft_weight  # noqa: E402  (the shared peers' generators)


def queens(n: int) -> int:
    """N queens as examples/queens.py writes it, to the registered CNF."""
    return len(build_queens(ke.manager(), n).get_cnf_storage())


def colouring(vertices: int, edges: int, colours: int, seed: int) -> int:
    """Exactly one colour per vertex; the two ends of an edge never share a colour."""
    graph = random_graph(vertices, edges, seed)
    model = Model(ke.manager(), "colouring")
    x = model.create_variables("x", v=vertices, c=colours)
    v, c = model.get_indexes(["v", "c"])
    model.add_constraint(Sum(x[v, c], c=range(colours)) == 1, v=range(vertices))
    for a, b in graph:
        model.add_constraint(~x[a, c] | ~x[b, c], c=range(colours))
    model.build_cnf()
    return len(model.get_cnf_storage())


def soft(vertices: int) -> int:
    """One soft literal per vertex, 'not chosen' of weight soft_weight(a), to the registered WCNF."""
    model = Model(ke.manager(), "soft")
    x = model.create_variables("x", a=vertices)
    for a in range(vertices):
        model.add_soft_constraint(x[a], soft_weight(a), True)
    model.build_wcnf()
    return model.get_cnf_storage().get_soft_clause_count()
