"""The type stubs of the native modules hold what the modules hold: the same
classes, functions, properties and attributes, each function with the same
overloads, parameters (names, annotations, which have defaults) and return
annotation as its binding. Docstrings are not compared.

The stubs were generated from the built modules and laid out as the package
exposes the sub-modules; when a binding changes, regenerate them from an
in-place build:

    PYTHONPATH=src pybind11-stubgen -o OUT halvex.kelvo_engine._kelvo_engine vx_encoder._vx_native

then OUT/halvex/kelvo_engine/_kelvo_engine/__init__.pyi becomes
src/halvex/kelvo_engine/_kelvo_engine.pyi, its sub-module stubs go beside it,
and OUT/vx_encoder/_vx_native.pyi goes to src/vx_encoder/ (where the return of
InstantiatedClauses.auxiliary_names is spelled AuxiliaryNames).
"""

import ast
import pathlib
import re
import types

import pytest

import halvex.kelvo_engine as ke
import vx_encoder._vx_native as vx_native

ENGINE_FOLDER = pathlib.Path(ke.__file__).parent
STUBS = [
    (ke._kelvo_engine, ENGINE_FOLDER / "_kelvo_engine.pyi"),
    (ke.bxpr, ENGINE_FOLDER / "bxpr.pyi"),
    (ke.pbct, ENGINE_FOLDER / "pbct.pyi"),
    (ke._linsolver_rows, ENGINE_FOLDER / "_linsolver_rows.pyi"),
    (ke._linsolver_files, ENGINE_FOLDER / "_linsolver_files.pyi"),
    (vx_native, pathlib.Path(vx_native.__file__).parent / "_vx_native.pyi"),
]
# Bookkeeping every module or pybind11 class carries, which a stub leaves out.
UNDESCRIBED = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__", "__module__",
               "__dict__", "__weakref__", "__all__", "_pybind11_conduit_v1_", "__entries"}
# Spellings a binding's signature and its stub may differ in while meaning the same type.
SAME_TYPES = [
    (re.compile(r"\s+"), ""),
    (re.compile(r"\b(?:halvex\.kelvo_engine\._kelvo_engine|vx_encoder\._vx_native)\.(?:\w+\.)*"), ""),
    (re.compile(r"\b(?:bxpr|pbct|_linsolver_rows|_linsolver_files)\.(?=[A-Z])"), ""),
    (re.compile(r"\b\w+::"), ""),
    (re.compile(r"\bnumpy\.ndarray\["), "numpy.typing.NDArray["),
    (re.compile(r"\bobject\b"), "typing.Any"),
]


def same_type_spelling(annotation: str | None) -> str | None:
    if annotation is None:
        return None
    for pattern, replacement in SAME_TYPES:
        annotation = pattern.sub(replacement, annotation)
    return annotation


# ------------------------------------------------------------ the bindings


def split_at_top_level(text: str, separator: str) -> list[str]:
    parts, depth, start = [], 0, 0
    for position, character in enumerate(text):
        if character in "([{<":
            depth += 1
        elif character in ")]}>" and not text[position - 1:position + 1] == "->":
            depth -= 1
        elif character == separator and depth == 0:
            parts.append(text[start:position])
            start = position + 1
    parts.append(text[start:])
    return parts


def parameter_of_binding(text: str) -> tuple:
    text, *default = split_at_top_level(text, "=")
    name, *annotation = split_at_top_level(text, ":")
    return described_parameter(name.strip(), annotation[0] if annotation else None, bool(default))


def described_parameter(name: str, annotation: str | None, default: bool) -> tuple:
    """A parameter as compared; `self` goes unannotated, as stubs write it."""
    return name, None if name == "self" else same_type_spelling(annotation), default


def signature_of_binding(line: str, name: str) -> tuple:
    """(parameters, return annotation) of one signature line, `name(...) -> type`."""
    match = re.fullmatch(rf"{re.escape(name)}\((.*)\)(?: -> (.+))?", line.strip())
    assert match, f"{name} has no signature line: {line!r}"
    inside, returned = match.groups()
    # Stubs leave out the marker of positional-only parameters.
    parameters = [parameter_of_binding(part) for part in split_at_top_level(inside, ",") if part.strip() not in ("", "/")]
    return tuple(parameters), same_type_spelling(returned)


def signatures_of_binding(function, name: str) -> list[tuple]:
    lines = (function.__doc__ or "").splitlines()
    if len(lines) > 1 and lines[1] == "Overloaded function.":
        overloads = [line.split(". ", 1)[1] for line in lines if re.match(rf"\d+\. {re.escape(name)}\(", line)]
        return [signature_of_binding(line, name) for line in overloads]
    return [signature_of_binding(lines[0], name)]


def is_static_property(value: property) -> bool:
    return type(value).__name__ == "pybind11_static_property"


def members_of_binding(namespace) -> dict:
    members = {}
    for name, value in vars(namespace).items():
        # C slot wrappers (the refusing __init__ of a class without a constructor) are no bindings.
        if name in UNDESCRIBED or isinstance(value, types.WrapperDescriptorType):
            continue
        if isinstance(value, types.ModuleType):
            members[name] = "module"
        elif isinstance(value, type):
            bases = tuple(base.__name__ for base in value.__bases__ if base.__name__ != "pybind11_object")
            members[name] = ("class", bases, members_of_binding(value) if "pybind11" in type(value).__name__ else {})
        elif isinstance(value, property) and value.fset is None and not is_static_property(value):
            members[name] = "read-only"
        elif callable(value) or isinstance(value, staticmethod):
            members[name] = ("function", signatures_of_binding(getattr(namespace, name), name))
        else:
            members[name] = "attribute"
    return members


# ---------------------------------------------------------------- the stubs


def parameters_of_stub(arguments: ast.arguments) -> tuple:
    def described(argument, default, prefix=""):
        annotation = ast.unparse(argument.annotation) if argument.annotation else None
        return described_parameter(prefix + argument.arg, annotation, default)

    positional = arguments.posonlyargs + arguments.args
    defaults = [False] * (len(positional) - len(arguments.defaults)) + [True] * len(arguments.defaults)
    parameters = [described(argument, default) for argument, default in zip(positional, defaults)]
    if arguments.vararg:
        parameters.append(described(arguments.vararg, False, "*"))
    elif arguments.kwonlyargs:
        parameters.append(("*", None, False))
    parameters += [described(argument, default is not None, "")
                   for argument, default in zip(arguments.kwonlyargs, arguments.kw_defaults)]
    if arguments.kwarg:
        parameters.append(described(arguments.kwarg, False, "**"))
    return tuple(parameters)


def members_of_stub(body: list[ast.stmt]) -> dict:
    members = {}
    for statement in body:
        if isinstance(statement, ast.ClassDef):
            bases = tuple(ast.unparse(base) for base in statement.bases)
            members[statement.name] = ("class", bases, members_of_stub(statement.body))
        elif isinstance(statement, ast.FunctionDef):
            decorators = [ast.unparse(decorator) for decorator in statement.decorator_list]
            if "property" in decorators:
                members[statement.name] = "read-only"
            elif f"{statement.name}.setter" in decorators:
                members[statement.name] = "attribute"
            else:
                returned = same_type_spelling(ast.unparse(statement.returns)) if statement.returns else None
                signature = (parameters_of_stub(statement.args), returned)
                if "typing.overload" in decorators and statement.name in members:
                    members[statement.name][1].append(signature)
                else:
                    members[statement.name] = ("function", [signature])
        elif isinstance(statement, ast.AnnAssign) and statement.target.id not in UNDESCRIBED:
            members[statement.target.id] = "attribute"
        elif isinstance(statement, ast.ImportFrom) and statement.module is None:
            members.update((alias.asname or alias.name, "module") for alias in statement.names)
    return members


@pytest.mark.parametrize("module, stub", STUBS, ids=[stub.name for _, stub in STUBS])
def test_stub_matches_the_binding(module, stub):
    assert members_of_stub(ast.parse(stub.read_text()).body) == members_of_binding(module)


def test_parameters_are_read_alike_from_a_binding_and_a_stub():
    binding = "f(self: vx_encoder._vx_native.X, a: dict[str, int], /, *args, b: object = <E.x: 1>, **kwargs) -> None"
    stub = "def f(self, a: dict[str,int], *args, b: typing.Any = ..., **kwargs) -> None: ..."
    assert signature_of_binding(binding, "f") == (parameters_of_stub(ast.parse(stub).body[0].args), "None")
