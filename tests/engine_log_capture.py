"""A pytest fixture that shows the engine's debug lines and collects them."""

import pytest

import halvex.kelvo_engine as ke


@pytest.fixture
def debug_lines():
    lines = []
    threshold = ke.get_log_level()
    ke.set_log_level(ke.log_level_type.debug)
    ke.set_log_sink(lambda message, level: lines.append(message))
    yield lines
    ke.set_log_sink(None)
    ke.set_log_level(threshold)
