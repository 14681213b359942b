"""The engine: logger, clause storage, variable mapping, witness interpreter,
manager, and the modules ``bxpr`` (Boolean expressions), ``pbct``
(pseudo-Boolean encoders) and ``linsolver`` (linear solver)."""

import sys as _sys
import types as _types

from . import _kelvo_engine
from ._kelvo_engine import *  # noqa: F401,F403

# The native sub-modules become importable by their dotted names
# (``import halvex.kelvo_engine.bxpr``).
for _name, _module in vars(_kelvo_engine).items():
    if isinstance(_module, _types.ModuleType):
        _sys.modules[f"{__name__}.{_name}"] = _module
        globals()[_name] = _module
del _name, _module
