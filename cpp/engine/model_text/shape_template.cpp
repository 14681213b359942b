#include "engine/model_text/shape_template.hpp"

#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <variant>

namespace kelvo {

namespace {

// The reading with each cell's number replaced by its order among the
// text's cells; nullopt for a cell the text does not call as such: its
// shape does not carry it.
std::optional<ShapeTemplate> shape_template_of(StructuredClauseTemplate read, std::span<const std::int64_t> cells,
                                               std::size_t parameter_count) {
    std::unordered_map<std::int64_t, std::size_t> order_of_cell;
    for (std::size_t c = 0; c < cells.size(); ++c) order_of_cell.emplace(cells[c], c);
    for (std::size_t l = 0; l < read.kinds.size(); ++l) {
        if (read.kinds[l] != StructuredClauseTemplate::Kind::cell) continue;
        const auto cell = order_of_cell.find(read.values[l]);
        if (cell == order_of_cell.end()) return std::nullopt;
        read.values[l] = static_cast<std::int64_t>(cell->second);
    }
    return ShapeTemplate{std::move(read), parameter_count, {}, false};
}

const StructuredClauseTemplate* structure_of(const ClauseTemplateReading& reading) {
    return std::get_if<StructuredClauseTemplate>(&reading);
}

const StructuredClauseTemplate* structure_of(const SoftTemplateReading& reading) {
    const auto* soft = std::get_if<SoftClauseTemplate>(&reading);
    return soft == nullptr ? nullptr : &soft->structure;
}

std::vector<std::int64_t> coefficients_of(const ClauseTemplateReading&) { return {}; }

std::vector<std::int64_t> coefficients_of(const SoftTemplateReading& reading) {
    return std::get<SoftClauseTemplate>(reading).coefficients;
}

// read(text, index names) is the reader: the first text read as it is when
// it has no parameters, and otherwise with them named as indexes.
template <typename Reading, typename Read>
FirstReading<Reading> first_reading(const TextShape& shape, std::string_view text,
                                    std::span<const std::string> index_names, const Read& read) {
    if (shape.parameters.empty()) {
        auto reading = read(text, index_names);
        const auto* structure = structure_of(reading);
        if (structure == nullptr) return {std::move(reading), std::nullopt};
        auto kept = shape_template_of(*structure, shape.cells, 0);
        if (kept) kept->coefficients = coefficients_of(reading);
        return {std::move(reading), std::move(kept)};
    }
    std::vector<std::string> names(index_names.begin(), index_names.end());
    for (std::size_t p = 0; p < shape.parameters.size(); ++p) names.push_back(parameter_name(p));
    const auto parameterized = read(shape.parameterized, names);
    auto own = read(text, index_names);
    const auto* structure = structure_of(parameterized);
    if (structure == nullptr) {
        ShapeTemplate read_directly;
        read_directly.read_directly = true;
        return {std::move(own), std::move(read_directly)};
    }
    auto kept = shape_template_of(*structure, shape.cells, shape.parameters.size());
    if (kept) kept->coefficients = coefficients_of(parameterized);
    return {std::move(own), std::move(kept)};
}

// The constant of the form at forms[form] with the parameters' values folded
// in (its coefficients of the parameters follow those of the indexes); nullopt past 64 bits.
std::optional<std::int64_t> constant_with_parameters(std::span<const std::int64_t> forms, std::size_t form,
                                                     std::size_t index_count, std::span<const std::int64_t> parameters) {
    std::int64_t constant = forms[form];
    for (std::size_t p = 0; p < parameters.size(); ++p) {
        std::int64_t term = 0;
        if (__builtin_mul_overflow(forms[form + 1 + index_count + p], parameters[p], &term) ||
            __builtin_add_overflow(constant, term, &constant)) {
            return std::nullopt;
        }
    }
    return constant;
}

}  // namespace

bool parameters_fit(const StructuredClauseTemplate& structure, std::span<const std::int64_t> parameters,
                    std::size_t index_count) {
    if (parameters.empty()) return true;
    const std::size_t width = 1 + index_count + parameters.size();
    std::size_t begin = 0;
    for (const auto end : structure.form_ends) {
        for (auto form = begin; form + width <= static_cast<std::size_t>(end); form += width) {
            if (!constant_with_parameters(structure.forms, form, index_count, parameters)) return false;
        }
        begin = static_cast<std::size_t>(end);
    }
    return true;
}

StructuredClauseTemplate served(const StructuredClauseTemplate& structure, std::span<const std::int64_t> cells,
                                std::span<const std::int64_t> parameters, std::size_t index_count) {
    StructuredClauseTemplate text{structure.kinds, structure.values, {}, {}, structure.literals, structure.ends,
                                  structure.pbct, structure.bxpr, structure.never_holds};
    for (std::size_t l = 0; l < text.kinds.size(); ++l) {
        if (text.kinds[l] == StructuredClauseTemplate::Kind::cell) {
            text.values[l] = cells[static_cast<std::size_t>(text.values[l])];
        }
    }
    if (parameters.empty()) {
        text.forms = structure.forms;
        text.form_ends = structure.form_ends;
        return text;
    }
    // Each dimension's form over the indexes and then the parameters: the
    // parameters' values go into its constant.
    const std::size_t width = 1 + index_count + parameters.size();
    text.forms.reserve(structure.forms.size() / width * (1 + index_count));
    text.form_ends.reserve(structure.form_ends.size());
    std::size_t begin = 0;
    for (const auto end : structure.form_ends) {
        for (auto form = begin; form + width <= static_cast<std::size_t>(end); form += width) {
            const auto constant = constant_with_parameters(structure.forms, form, index_count, parameters);
            if (!constant) throw std::overflow_error("a parameter's arithmetic passes 64 bits");
            text.forms.push_back(*constant);
            text.forms.insert(text.forms.end(), structure.forms.begin() + static_cast<std::ptrdiff_t>(form + 1),
                              structure.forms.begin() + static_cast<std::ptrdiff_t>(form + 1 + index_count));
        }
        text.form_ends.push_back(static_cast<std::int64_t>(text.forms.size()));
        begin = static_cast<std::size_t>(end);
    }
    return text;
}

FirstReading<ClauseTemplateReading> first_hard_reading(const TextShape& shape, std::string_view text,
                                                       std::span<const std::string> index_names,
                                                       std::span<const model_text::ModelVariable> variables,
                                                       const PBConfig& config) {
    return first_reading<ClauseTemplateReading>(
        shape, text, index_names, [&](std::string_view read, std::span<const std::string> names) {
            return read_clause_template(read, names, variables, config);
        });
}

FirstReading<SoftTemplateReading> first_soft_reading(const TextShape& shape, std::string_view text,
                                                     std::span<const std::string> index_names,
                                                     std::span<const model_text::ModelVariable> variables) {
    return first_reading<SoftTemplateReading>(
        shape, text, index_names, [&](std::string_view read, std::span<const std::string> names) {
            return read_soft_template(read, names, variables, PBConfig{});
        });
}

}  // namespace kelvo
