"""Every public class, method and function users reach has a docstring."""

import importlib
import inspect
import re

# Modules whose public names users reach: the package's roots, the modules of
# the objects its models hand out, the terms and clause assembly beneath the
# pseudo-Boolean model, and the engine with its sub-modules.
MODULES = [
    "vx_encoder",
    "vx_encoder.encode",
    "vx_encoder.encode.variables",
    "vx_encoder.core.vx_logger",
    "vx_encoder.core.solver_results",
    "vx_encoder.core.manager",
    "vx_encoder.core.formulapb",
    "vx_encoder.core.pboperations",
    "vx_encoder.core.variable",
    "vx_encoder.core.formula_container",
    "vx_encoder.core.dumper",
    "vx_encoder.linear_parser",
    "vx_encoder.linear_parser.linear_variables",
    "vx_encoder.linear_parser.linear_expression",
    "vx_encoder.linear_parser.compiled_linear_expressions",
    "vx_encoder.linear_parser2",
    "vx_encoder.linear_parser2.variable",
    "vx_encoder.linear_parser2._expression",
    "halvex.kelvo_engine",
    "halvex.kelvo_engine.bxpr",
    "halvex.kelvo_engine.pbct",
    "halvex.kelvo_engine.linsolver",
]
OWN_PACKAGES = ("vx_encoder", "halvex")
# The error types' documentation texts are fixed: three of them are empty.
FIXED_DOCUMENTATION = {"FormulaError", "BuildError", "SolverError"}
# What pybind11 gives every bound enumeration.
ENUMERATION_MEMBERS = {"name", "value"}


def is_own(value) -> bool:
    module = getattr(value, "__module__", None) or ""
    return module.split(".")[0] in OWN_PACKAGES


def documentation(value, name: str) -> str:
    """The written part of a docstring: without the signature lines pybind11 puts first."""
    lines = (inspect.getdoc(value) or "").splitlines()
    signature = re.compile(rf"^(\d+\. )?{re.escape(name)}\(.*\)( -> .*)?$")
    return "\n".join(line for line in lines
                     if line.strip() and line != "Overloaded function." and not signature.match(line))


def public_callables():
    seen = set()
    for module_name in MODULES:
        module = importlib.import_module(module_name)
        # Without __all__, only what the module (or its native part) defines.
        names = getattr(module, "__all__", None) or [
            name for name, value in vars(module).items()
            if not name.startswith("_") and (getattr(value, "__module__", None) or "").startswith(module.__name__)]
        for name in names:
            value = getattr(module, name)
            if not (inspect.isclass(value) or callable(value)) or not is_own(value) or id(value) in seen:
                continue
            seen.add(id(value))
            yield f"{value.__module__}.{name}", name, value
            if inspect.isclass(value):
                yield from public_members(value)


def public_members(cls):
    enumeration = hasattr(cls, "__members__")
    for name in dir(cls):
        if name.startswith("_") or (enumeration and name in ENUMERATION_MEMBERS):
            continue
        owner = next((base for base in cls.__mro__ if name in vars(base)), None)
        if owner is None or not is_own(owner):
            continue
        member = vars(owner)[name]
        if isinstance(member, (staticmethod, classmethod)):
            member = member.__func__
        if isinstance(member, cls):  # an enumeration's value
            continue
        if callable(member) or isinstance(member, property) or inspect.isdatadescriptor(member):
            yield f"{cls.__module__}.{cls.__qualname__}.{name}", name, member


def test_the_walk_reaches_the_api_users_meet():
    reached = [path for path, _, _ in public_callables()]
    for expected in ("Model.build_cnf", "Model.use_target", "LinearModel.write_model", "VariableArray.shape",
                     "witness_interpreter.interpret", "LinearSolver.run", "pb2cnf.encode2", "bxpr.and_s",
                     "Sum", "log_w", "sumexp"):
        assert any(path.endswith("." + expected) for path in reached), expected


def test_every_one_has_a_docstring():
    missing = [path for path, name, value in public_callables()
               if name not in FIXED_DOCUMENTATION and not documentation(value, name)]
    assert missing == []
