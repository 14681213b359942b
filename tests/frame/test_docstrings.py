"""Every public class, method and function users reach has a docstring."""

import importlib
import inspect
import re

import pytest

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
# Classes whose documentation the interface fixes as empty and which have no
# constructor of their own to carry it.
FIXED_DOCUMENTATION = {"FormulaError", "BuildError", "SolverError", "PBBaseOp"}
# What pybind11 gives every bound enumeration.
ENUMERATION_MEMBERS = {"name", "value"}


def is_own(value) -> bool:
    module = getattr(value, "__module__", None) or ""
    return module.split(".")[0] in OWN_PACKAGES


def documentation(value, name: str) -> str:
    """The written part of a docstring: without the signature lines pybind11 puts first.

    A class may carry its documentation on its own constructor where its own
    docstring is fixed by the interface; nothing is inherited."""
    if inspect.isclass(value):
        constructor = vars(value).get("__init__")
        own = [value.__doc__, constructor.__doc__ if inspect.isfunction(constructor) else None]
        return "\n".join(inspect.cleandoc(doc) for doc in own if doc and doc.strip())
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


@pytest.mark.parametrize("module, name, text", [
    ("vx_encoder.encode.model", "Model", "\n    Main class of pseudo-boolean model\n    "),
    ("vx_encoder.encode.model", "Model.use_target", "Is the target set in the model"),
    ("vx_encoder.linear_parser.linear_model", "LinearModel.get_indexes",
     "Provides indexes for writing expressions.\n\n        :param indexes: sequence of index names.\n"
     "        :return: sequence of indexes or single index.\n        "),
    ("vx_encoder.linear_parser2.model", "LinearModel",
     "An interface for initializing and solving a MILP problem with a quadratic objective function"),
    ("vx_encoder.linear_parser2._expression", "LinearExpression",
     "An expression specifying a single row of the constraint matrix"),
    ("vx_encoder.linear_parser2._expression", "LinearExpressionsArr",
     "An expression defining several rows of the constraint matrix"),
    ("vx_encoder.linear_parser2.variable", "VariableArray", "Multidimensional array of task variables"),
    ("vx_encoder.encode.expressions", "Expression", None),
    ("vx_encoder.core.formulapb", "FormulaPB", None),
    ("vx_encoder.core.pboperations", "PBBaseOp", None),
    ("vx_encoder.core.pboperations", "PBVariable", None),
    ("vx_encoder.core.pboperations", "AddOp", None),
    ("vx_encoder.core.pboperations", "Sum", None),
])
def test_the_interface_keeps_its_fixed_documentation_texts(module, name, text):
    value = importlib.import_module(module)
    for part in name.split("."):
        value = inspect.getattr_static(value, part)
    assert value.__doc__ == text
