#pragma once
// The host names a cell by its index values' texts. An index value the reader
// reads as an affine form of the indexes (i - i, 1 + i) is named by one text
// per form, so that the spellings of one cell are one variable on the host as
// they are one occurrence in the reader (occurrence_key).

#include <optional>
#include <string>
#include <string_view>

namespace kelvo::model_text {

// The canonical text of an index value's text, every name in it an index: its
// terms by index name ("2 * i", "-j"), then its constant, which the reader
// reads back as the same form. Nullopt when the reader reads no affine form
// in the text (i ** 2, a name of another kind, a number past 64 bits).
std::optional<std::string> canonical_index_text(std::string_view text);

}  // namespace kelvo::model_text
