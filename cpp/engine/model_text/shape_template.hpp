#pragma once
// The reading of the first text of a shape (text_shape.hpp), kept for every
// text of the shape: its cells stand as the order of their first appearance
// and its parameters as indexes after the index names (the first text is read
// with them as indexes), so that a later text of the shape gets the first
// one's clauses with its own cells and values in their places.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model_text/constraint_template.hpp"
#include "engine/model_text/text_shape.hpp"
#include "engine/pbct/pb_config.hpp"

namespace kelvo {

struct ShapeTemplate {
    // A cell's value is its order among the text's cells; an occurrence's
    // forms are over the index names and then the parameters.
    StructuredClauseTemplate structure;
    std::size_t parameter_count = 0;
    std::vector<std::int64_t> coefficients;  // a soft constraint's, one per clause
    // Read with its parameters as indexes the shape lies outside the grammar:
    // each text is read as it is.
    bool read_directly = false;
};

// Whether a text's parameters go into the forms' constants of its shape's
// structure within 64 bits; a text whose parameters do not is read as it is.
[[nodiscard]] bool parameters_fit(const StructuredClauseTemplate& shape, std::span<const std::int64_t> parameters,
                                  std::size_t index_count);
// The text's own template from its shape's structure: its cells' numbers and
// its parameters in their places. Throws std::overflow_error unless the
// parameters fit.
[[nodiscard]] StructuredClauseTemplate served(const StructuredClauseTemplate& shape,
                                              std::span<const std::int64_t> cells,
                                              std::span<const std::int64_t> parameters, std::size_t index_count);

// What the first text of a shape gives: its own reading, read as it is, and
// the shape's template for the later texts of the shape, or nullopt when the
// shape cannot be kept (the reading is declined, or calls a cell other than
// as a constant cell call). A shape with parameters is read twice, so that
// its first text reads as it does without the cache.
template <typename Reading>
struct FirstReading {
    Reading reading;
    std::optional<ShapeTemplate> shape;
};

FirstReading<ClauseTemplateReading> first_hard_reading(const TextShape& shape, std::string_view text,
                                                       std::span<const std::string> index_names,
                                                       std::span<const model_text::ModelVariable> variables,
                                                       const PBConfig& config);

// As first_hard_reading, by read_soft_template with the default settings.
FirstReading<SoftTemplateReading> first_soft_reading(const TextShape& shape, std::string_view text,
                                                     std::span<const std::string> index_names,
                                                     std::span<const model_text::ModelVariable> variables);

}  // namespace kelvo
