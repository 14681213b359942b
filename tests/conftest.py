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


@pytest.fixture(params=["engine reads the text", "host evaluates the text"])
def text_reading(request, monkeypatch):
    """Runs a test on either road of a hard constraint's text into its clause
    template on the clause-assembly path."""
    if request.param == "host evaluates the text":
        monkeypatch.delattr(ke, "read_clause_template")
    return request.param
