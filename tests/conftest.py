import pytest

import halvex.kelvo_engine as ke


@pytest.fixture
def log():
    """Every message of the engine's logger during the test, at every level, as (level name, message)."""
    lines = []
    threshold = ke.get_log_level()
    ke.set_log_level(ke.log_level_type.trace)
    ke.set_log_sink(lambda message, level: lines.append((level.name, message)))
    yield lines
    ke.set_log_sink(None)
    ke.set_log_level(threshold)
