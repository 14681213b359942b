"""The parts a model's variable mapping is put together from: a dictionary of
entries, a model variable (its cells), or the auxiliary names of one
constraint kept natively. Only the whole mapping spells them all out."""

import typing as tp
from functools import reduce
from operator import mul

import halvex.kelvo_engine as ke
from vx_encoder import _vx_native as native
from vx_encoder.core.engine_assumptions import takes_auxiliary_runs

MappingPart = tp.Union[tp.Dict[str, int], "native.AuxiliaryNames", tp.Any]


def entries_of(part: MappingPart) -> tp.Dict[str, int]:
    if isinstance(part, dict):
        return part
    if isinstance(part, native.AuxiliaryNames):
        return part.to_dict()
    return part.map


def largest_number_of(part: MappingPart) -> int:
    """The largest number of the part, 0 when it is empty."""
    if isinstance(part, dict):
        return max(part.values(), default=0)
    if isinstance(part, native.AuxiliaryNames):
        return part.largest_number
    return part.st_shift + reduce(mul, part.indexes.values(), 1) - 1


def add_part(var_mapping: ke.var_mapping, part: MappingPart) -> None:
    """Appends the part's entries to the engine's mapping, in bulk where the engine can take them so."""
    if isinstance(part, dict):
        var_mapping.add_entries(part)
    elif isinstance(part, native.AuxiliaryNames):
        if takes_auxiliary_runs(var_mapping):
            var_mapping.add_auxiliary_runs(*part.runs())
        else:
            var_mapping.add_entries(part.to_dict())
    else:
        var_mapping.add_variable_cells(str(part.name), list(part.indexes.values()), part.st_shift)
