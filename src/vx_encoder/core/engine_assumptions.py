"""What the package assumes of its engine, in one place: the names it reserves
and the calls it uses only where the engine has them.

Every optional call has a road without it with the same result; each check is
made where the call is needed, so that a test may take a call away. The
engine's own side of these names is cpp/engine/reserved_names.hpp.
"""

import typing as tp

import halvex.kelvo_engine as ke
import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb

# Auxiliary variables: the engine's Tseytin conversion and the encoder's,
# each followed by "_" and a number; the mapping keys are prefix[f,k,n].
BXPR_AUXILIARY_PREFIX = "_bxpr_aux"
PBCT_AUXILIARY_PREFIX = "_pbct_aux"
# The clause-assembly path's placeholder, which takes variable number 0.
PLACEHOLDER_VARIABLE = "dummy_var"


def debug_shown() -> bool:
    """Whether the engine's logger shows debug lines. The texts of a long term
    and of its clauses run to megabytes, so they are formed only then; an
    engine that cannot tell is taken to show them."""
    threshold = getattr(ke, "get_log_level", None)
    return threshold is None or threshold().value >= _DEBUG


_DEBUG = ke.log_level_type.debug.value


def clause_template_reader() -> tp.Optional[tp.Callable[..., tp.Any]]:
    """The engine's reader of a hard constraint's text into its clause
    template, or None: the host then evaluates every text."""
    return getattr(ke, "read_clause_template", None)


def takes_terms_as_numbers() -> bool:
    """Whether a comparison's term may go to the engine as two lists of integers."""
    return hasattr(pb.PBConstraint, "from_numbers")


def converts_clauses_in_bulk() -> bool:
    """Whether the engine turns an encoder's clause database into a formula in one call."""
    return all(hasattr(bx, name) for name in
               ("clauses_to_formula", "clauses_to_formula_and_variables", "NewVariableRegistry"))


def new_variable_registry() -> tp.Any:
    """The engine's registry of the bulk conversion's new variables, or None
    for an engine without the bulk conversion."""
    registry = getattr(bx, "NewVariableRegistry", None)
    return registry() if registry is not None else None


def takes_auxiliary_runs(var_mapping: ke.var_mapping) -> bool:
    """Whether the engine's mapping takes runs of auxiliary keys in bulk."""
    return hasattr(var_mapping, "add_auxiliary_runs")
