import logging

import pytest

import halvex.kelvo_engine as ke
import vx_encoder
from vx_encoder import _exceptions
from vx_encoder.core import vx_logger
from vx_encoder.version import vx_version

from fresh_interpreter import run_fresh_interpreter

ERROR_TYPES = [
    ("VariableError", "The variable cannot be created"),
    ("TargetError", "Target entry error"),
    ("FormulaError", ""),
    ("BuildError", ""),
    ("SolverError", ""),
]


@pytest.mark.parametrize("name, doc", ERROR_TYPES)
def test_error_type_derives_only_from_exception_and_carries_its_message(name, doc):
    error_type = getattr(_exceptions, name)
    assert error_type.__bases__ == (Exception,)
    assert error_type.__doc__ == doc
    with pytest.raises(error_type) as raised:
        raise error_type("WCNF storage is empty")
    assert str(raised.value) == "WCNF storage is empty"
    assert raised.value.args == ("WCNF storage is empty",)


def test_error_types_do_not_catch_each_other():
    names = [name for name, _ in ERROR_TYPES]
    assert [n for n in vars(_exceptions) if n in names] == names  # defined in this order
    for raised_name in names:
        for caught_name in names:
            if raised_name == caught_name:
                continue
            with pytest.raises(getattr(_exceptions, raised_name)):
                try:
                    raise getattr(_exceptions, raised_name)("message")
                except getattr(_exceptions, caught_name):
                    pytest.fail(f"{caught_name} caught {raised_name}")


def test_version():
    assert vx_version == "0.2.5.2048"
    assert vx_encoder.__version__ == vx_version


LOG_FUNCTIONS = [
    ("log_c", "critical"),
    ("log_e", "error"),
    ("log_w", "warning"),
    ("log_i", "info"),
    ("log_d", "debug"),
    ("log_t", "trace"),
]


@pytest.fixture
def recorded_log(monkeypatch):
    calls = []
    monkeypatch.setattr(ke, "log_encoder", lambda *args: calls.append(args))
    return calls


@pytest.mark.parametrize("function, level", LOG_FUNCTIONS)
@pytest.mark.parametrize("message", ["", "a message", 42, None])
def test_log_function_hands_message_unchanged_with_its_level(recorded_log, function, level, message):
    assert getattr(vx_logger, function)(message) is None
    assert recorded_log == [(message, getattr(ke.log_level_type, level))]


def test_log_functions_look_up_the_level_at_every_call(recorded_log, monkeypatch):
    class Levels:
        error = "patched error level"

    monkeypatch.setattr(ke, "log_level_type", Levels)
    vx_logger.log_e("late")
    assert recorded_log == [("late", "patched error level")]


def test_logger_module_names():
    public = [name for name in vars(vx_logger) if not name.startswith("_")]
    assert public == ["logging", "ke", "log_c", "log_e", "log_w", "log_i", "log_d", "log_t"]
    assert not hasattr(vx_logger, "__all__")


def test_package_messages_bypass_host_logging(caplog):
    captured = []
    ke.set_log_sink(lambda message, level: captured.append((message, level)))
    try:
        with caplog.at_level(logging.DEBUG):
            vx_logger.log_e("only for the engine")
    finally:
        ke.set_log_sink(None)
    assert captured == [("only for the engine", ke.log_level_type.error)]
    assert caplog.records == []


def test_import_configures_host_logging_once(tmp_path):
    output = run_fresh_interpreter("""
        import logging
        calls = []
        original = logging.basicConfig
        logging.basicConfig = lambda **kwargs: (calls.append(kwargs), original(**kwargs))
        import vx_encoder.core.vx_logger
        import importlib, vx_encoder
        importlib.import_module("vx_encoder.core.vx_logger")
        root = logging.getLogger()
        print(len(calls), logging.getLevelName(root.level), root.handlers[0].formatter._fmt)
    """, tmp_path)
    assert output == "1 WARNING %(asctime)s %(name)s %(levelname)s: %(message)s"


def test_existing_host_logging_configuration_is_kept(tmp_path):
    output = run_fresh_interpreter("""
        import logging
        logging.basicConfig(level=logging.DEBUG, format="%(message)s")
        import vx_encoder.core.vx_logger
        root = logging.getLogger()
        print(logging.getLevelName(root.level), len(root.handlers), root.handlers[0].formatter._fmt)
    """, tmp_path)
    assert output == "DEBUG 1 %(message)s"


def test_package_root_names_and_loading_order(tmp_path):
    import vx_encoder.encode.expressions as expressions
    import vx_encoder.encode.model as model
    import vx_encoder.linear_parser.linear_model as linear_model

    assert vx_encoder.__all__ == ["Model", "Sum", "SumIt", "And", "AndIt", "Or", "OrIt", "Xor", "XorIt", "Equiv",
                                  "Implication", "IfThenElse", "pow_expression", "Zero", "One", "LinearModel",
                                  "SolutionStatus", "VariableType", "inf"]
    assert vx_encoder.Model is model.Model and vx_encoder.Sum is expressions.Sum
    assert vx_encoder.LinearModel is linear_model.LinearModel and vx_encoder.inf is linear_model.inf
    output = run_fresh_interpreter("""
        import sys

        class RecordStart:
            started = []

            def find_spec(self, name, path=None, target=None):
                if name.startswith("vx_encoder"):
                    self.started.append(name)
                return None

        sys.meta_path.insert(0, RecordStart())
        import vx_encoder
        print(" ".join(RecordStart.started))
    """, tmp_path)
    loaded = output.split()
    assert not any(name.startswith("vx_encoder.linear_parser2") for name in loaded)
    order = ["vx_encoder", "vx_encoder.encode", "vx_encoder.encode.expressions", "vx_encoder.core",
             "vx_encoder.core.vx_logger", "vx_encoder.encode.model", "vx_encoder.encode.variables",
             "vx_encoder.core.formula_container", "vx_encoder.core.dumper", "vx_encoder.core.pboperations",
             "vx_encoder.core.formulapb", "vx_encoder.core.manager", "vx_encoder.core.variable",
             "vx_encoder._exceptions", "vx_encoder.linear_parser", "vx_encoder.linear_parser.linear_model",
             "vx_encoder.linear_parser.linear_variables", "vx_encoder.linear_parser.linear_expression",
             "vx_encoder.linear_parser.compiled_linear_expressions", "vx_encoder.version"]
    positions = [loaded.index(name) for name in order]
    assert positions == sorted(positions)
