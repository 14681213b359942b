"""The host names a cell by the engine's canonical text of each index value:
one text per affine form, which the engine's literal reader reads back as the
same cell; any other value keeps its spelling."""

import pytest

import halvex.kelvo_engine as ke

SHAPES = [("x", [20, 20], 1)]


def read(index_texts):
    """The engine's structured template of the literal x(values), its arrays as lists."""
    reading = ke.read_literal_template([[f"x({','.join(index_texts)})"]], ["i", "j"], SHAPES)
    assert not isinstance(reading, str), reading
    return [part.tolist() if hasattr(part, "tolist") else part for part in reading]


@pytest.mark.parametrize("spellings", [
    ["i - i", "0", "(i - i) ** 2", "i * 0", "True - 1"],
    ["i + 1", "1 + i", "0 + i - 0 + 1", "2 * i - i + 1", "-(-i) + 1"],
    ["j - 2 * i + 7", "7 + j - i - i", "-2 * i + j + 7", "(j + 7) - 2 * i"],
    ["-i + 2", "2 - i", "-(i - 2)"],
    ["8", "2 ** 3", "~(-9)", "12 & 10 | 0"],
])
def test_the_spellings_of_one_form_have_one_text_which_reads_back_as_that_form(spellings):
    texts = {ke.canonical_index_text(spelling) for spelling in spellings}
    assert len(texts) == 1
    (text,) = texts
    assert text in spellings  # one of the spellings the engine reads
    for spelling in spellings:
        assert read([spelling, "j"]) == read([text, "j"])


@pytest.mark.parametrize("spelling", [
    "i ** 2", "~i", "i & 1", "i * j", "2 ** 70", "i + 2 ** 70 - 2 ** 70", "-9223372036854775807 - 1", "1.5",
    "None", "'i'", "x(1)", "[i]", "i +",
])
def test_a_value_that_is_no_affine_form_has_no_canonical_text(spelling):
    assert ke.canonical_index_text(spelling) is None
