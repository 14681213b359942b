#pragma once
// A hard constraint's text read into clauses once for all its instances:
// literals are model variables, template occurrences (a variable called with
// index expressions) or auxiliaries of the instance's block, the _pbct_aux
// ones first. The formula encoder instantiates such clauses itself; the
// clause assembly of the package takes them as a named clause template.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/bxpr/boolean_expression.hpp"
#include "engine/model_text/model_text_evaluator.hpp"
#include "engine/model_text/model_text_values.hpp"
#include "engine/pbct/pb_config.hpp"
#include "engine/reserved_names.hpp"

namespace kelvo {

struct TemplateClauses {
    enum class Kind : std::uint8_t { model, occurrence, auxiliary };
    struct Entry {
        Kind kind;
        bool negated;
        std::int64_t value;  // the number, the occurrence, or the offset in the instance's block
    };
    std::vector<Entry> literals;
    std::vector<std::size_t> ends;
    std::int64_t pbct = 0;
    std::int64_t bxpr = 0;
};

// The clauses of a hard constraint's value, its comparisons encoded and the
// whole in clause form: nullopt when it can never hold, no clauses when it
// always holds. Throws std::invalid_argument when the value is no formula.
std::optional<TemplateClauses> hard_clauses_of(const model_text::Value& value, model_text::InstanceContext& instance,
                                               const PBConfig& config);

// The clauses of one text with its variables named as the package writes
// them: x(3,4) for a cell, x(i + 1,j) for a template occurrence, _pbct_aux_n
// and _bxpr_aux_n for the auxiliaries.
struct NamedClauseTemplate {
    std::vector<std::string> names;      // the distinct variables, in order of first use
    std::vector<std::int32_t> literals;  // +-(1 + position in names)
    std::vector<std::int64_t> ends;      // clause c ends before literals[ends[c]]
    std::int64_t pbct = 0;
    std::int64_t bxpr = 0;
    bool never_holds = false;
    // The number of each name that is a cell of a model variable (as the
    // variables number them), -1 for the others: the reader knew it already,
    // so the cell need not be read back from its name.
    std::vector<std::int64_t> cells;
};

// Why the reader leaves a text to the host: the text lies outside the grammar
// it reads for all instances at once (a shape that depends on the index
// values, a name it does not know, a refusal the host words itself).
struct DeclinedReading {
    std::string reason;
};

using ClauseTemplateReading = std::variant<NamedClauseTemplate, DeclinedReading>;

// The text read once with index_names symbolic, or declined. Any failure
// other than the text's being outside the grammar is thrown.
ClauseTemplateReading read_clause_template(std::string_view text, std::span<const std::string> index_names,
                                           std::span<const model_text::ModelVariable> variables,
                                           const PBConfig& config);

}  // namespace kelvo
