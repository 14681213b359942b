import pytest

import halvex.kelvo_engine as ke

LEVELS = ["critical", "error", "warning", "info", "debug", "trace"]


@pytest.fixture
def sink():
    captured = []
    threshold = ke.get_log_level()
    ke.set_log_sink(lambda message, level: captured.append((message, level)))
    yield captured
    ke.set_log_sink(None)
    ke.set_log_level(threshold)


def test_default_threshold_shows_warning_and_above(sink):
    for name in LEVELS:
        ke.log_encoder(name, getattr(ke.log_level_type, name))
    assert [message for message, _ in sink] == ["critical", "error", "warning"]
    assert [level for _, level in sink] == [ke.log_level_type.critical, ke.log_level_type.error,
                                            ke.log_level_type.warning]


@pytest.mark.parametrize("threshold, shown", [
    ("critical", ["critical"]),
    ("info", ["critical", "error", "warning", "info"]),
    ("trace", LEVELS),
])
def test_threshold_can_be_changed(sink, threshold, shown):
    ke.set_log_level(getattr(ke.log_level_type, threshold))
    for name in LEVELS:
        ke.log_encoder(name, getattr(ke.log_level_type, name))
    assert [message for message, _ in sink] == shown


def test_non_text_message_is_shown_as_text(sink):
    ke.log_encoder(12.5, ke.log_level_type.error)
    assert sink == [("12.5", ke.log_level_type.error)]


def test_default_sink_is_standard_error(capfd):
    ke.log_encoder("to standard error", ke.log_level_type.error)
    ke.log_encoder("hidden", ke.log_level_type.info)
    captured = capfd.readouterr()
    assert captured.err == "[error] to standard error\n"
    assert captured.out == ""


def test_sink_must_be_callable():
    with pytest.raises(TypeError):
        ke.set_log_sink(5)


def test_python_version_is_the_hosts():
    import platform

    assert ke.get_python_version() == platform.python_version()
