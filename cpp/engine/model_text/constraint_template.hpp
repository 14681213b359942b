#pragma once
// A hard constraint's text read into clauses once for all its instances:
// literals are model variables, template occurrences (a variable called with
// index expressions) or auxiliaries of the instance's block, the _pbct_aux
// ones first. As a structured clause template they are data that the
// engine's instantiator (engine/instantiation/) numbers for every instance,
// in the formula encoder and, through the package, in the kernels.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/bxpr/boolean_expression.hpp"
#include "engine/instantiation/structured_template_view.hpp"
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

// The clauses of one text as the package's clause assembly takes them: each
// distinct literal once, positive, and the clauses referring to it by position.
struct StructuredClauseTemplate {
    using Kind = TemplateLiteralKind;
    std::vector<Kind> kinds;  // per distinct literal, in order of first use
    // A cell: its number, as the variables number their cells; an
    // occurrence: its variable's position; an auxiliary: n of its kind.
    std::vector<std::int64_t> values;
    // An occurrence's index values, per dimension a constant and then one
    // coefficient per index name: literal l's at forms[form_ends[l - 1]] up to
    // forms[form_ends[l]] (from 0 for l = 0); nothing for the other kinds.
    std::vector<std::int64_t> forms;
    std::vector<std::int64_t> form_ends;
    std::vector<std::int32_t> literals;  // +-(1 + position of the distinct literal)
    std::vector<std::int64_t> ends;      // clause c ends before literals[ends[c]]
    std::int64_t pbct = 0;
    std::int64_t bxpr = 0;
    bool never_holds = false;

    [[nodiscard]] StructuredTemplateView view(std::size_t index_count) const;
};

// Why the reader leaves a text to the host: the text lies outside the grammar
// it reads for all instances at once (a shape that depends on the index
// values, a name it does not know, a refusal the host words itself).
struct DeclinedReading {
    std::string reason;
};

using ClauseTemplateReading = std::variant<StructuredClauseTemplate, DeclinedReading>;

// Each distinct literal of the clauses once, in order of first use: an
// occurrence's value is its position in occurrences, an auxiliary's its offset
// in the instance's block (the clauses.pbct _pbct_aux ones first). With
// every_occurrence, each occurrence the text calls comes first, in the order
// of the text and whether a clause uses it or not, so that numbering an
// instance meets every cell the text calls in it.
StructuredClauseTemplate structured_template_of(const TemplateClauses& clauses,
                                                std::span<const model_text::TemplateOccurrence> occurrences,
                                                std::size_t index_count, bool every_occurrence);

// The clauses of one instance read with its values, no occurrences among
// them, as a structured template without indexes: each literal its own
// distinct literal, since nothing is numbered twice.
StructuredClauseTemplate structured_instance_of(const TemplateClauses& clauses);

// What read gives, or the reason it declines what lies outside the grammar
// read for all instances at once: an index named like a variable (on the host
// the variable hides the index), a shape that depends on the index values, a
// text the tokenizer refuses, a cell or a number out of range. Any other
// failure surfaces; a reader declines its own refusals inside read.
ClauseTemplateReading read_within_the_grammar(std::span<const std::string> index_names,
                                              std::span<const model_text::ModelVariable> variables,
                                              const std::function<ClauseTemplateReading()>& read);

// The text read once with index_names symbolic, or declined; the template
// holds every occurrence the text calls, kept by a clause or not, so that
// each instance checks its cells. Any failure
// other than the text's being outside the grammar is thrown.
ClauseTemplateReading read_clause_template(std::string_view text, std::span<const std::string> index_names,
                                           std::span<const model_text::ModelVariable> variables,
                                           const PBConfig& config);

// A soft constraint's term read once for all its instances: one unit clause
// per entry of the term, in the text's order, its literal positive, with the
// entry's coefficient; nothing merged or dropped.
struct SoftClauseTemplate {
    StructuredClauseTemplate structure;
    std::vector<std::int64_t> coefficients;  // one per clause
};

using SoftTemplateReading = std::variant<SoftClauseTemplate, DeclinedReading>;

// The soft constraint's text (a sum or a variable occurrence) read with
// index_names symbolic, or declined as read_clause_template declines; a text
// that is no pseudo-Boolean sum is declined too, for the host to refuse.
SoftTemplateReading read_soft_template(std::string_view text, std::span<const std::string> index_names,
                                       std::span<const model_text::ModelVariable> variables, const PBConfig& config);

}  // namespace kelvo
