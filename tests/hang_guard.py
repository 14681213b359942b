"""Ends the test run with every thread's traceback instead of letting a solve hang it."""

import contextlib
import faulthandler
import os


@contextlib.contextmanager
def fails_instead_of_hanging(request, seconds: float = 300.0):
    """After `seconds` the run exits with status 1, the traceback written to the real
    standard error (the one pytest's capturing hides would be lost with the process)."""
    capturing = request.config.pluginmanager.getplugin("capturemanager")
    with capturing.global_and_fixture_disabled():
        real_standard_error = os.dup(2)
    with os.fdopen(real_standard_error, "w") as stream:
        faulthandler.dump_traceback_later(seconds, exit=True, file=stream)
        try:
            yield
        finally:
            faulthandler.cancel_dump_traceback_later()
