"""Fixtures and helpers shared by the array-model tests; no tests of its own."""

import importlib

import pytest

import halvex.kelvo_engine as ke


@pytest.fixture
def logged():
    """Messages logged at the error level while the test runs."""
    errors = []
    ke.set_log_sink(lambda message, level: errors.append(message) if level == ke.log_level_type.error else None)
    yield errors
    ke.set_log_sink(None)


@pytest.fixture
def logged_with_levels():
    """Every message logged while the test runs, as (level name, message)."""
    messages = []
    ke.set_log_sink(lambda message, level: messages.append((level.name, message)))
    yield messages
    ke.set_log_sink(None)


class RecordingSolver:
    """The real solver, with every call it receives written down."""

    def __init__(self, solver):
        self._solver = solver
        self.calls = []

    def __getattr__(self, name):
        operation = getattr(self._solver, name)
        if not callable(operation):
            return operation

        def recorded(*args):
            self.calls.append((name, args))
            return operation(*args)

        return recorded

    def named(self, name):
        return [args for called, args in self.calls if called == name]


# Some behaviour differs when DEBUG_SOLVER_MODE was set as the package loaded; the
# debug mode itself is tested by loading the package afresh in each mode.
default_mode_only = pytest.mark.skipif(
    bool(importlib.import_module("vx_encoder.linear_parser2.variable").DEBUG),
    reason="behaviour without DEBUG_SOLVER_MODE",
)
