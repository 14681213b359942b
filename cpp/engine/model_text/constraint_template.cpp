#include "engine/model_text/constraint_template.hpp"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "engine/model_text/comparison_encoding.hpp"
#include "engine/model_text/model_text_parser.hpp"
#include "engine/model_text/model_text_tokenizer.hpp"
#include "engine/model_text/text_refusals.hpp"
#include "engine/bxpr/tseytin.hpp"

namespace kelvo {

using model_text::InstanceContext;
using model_text::Value;

namespace {

bxpr::Ref hard_root_of(const Value& value, InstanceContext& instance) {
    if (const auto* formula = std::get_if<model_text::FormulaValue>(&value.content)) return formula->ref;
    if (const auto* cell = std::get_if<model_text::Occurrence>(&value.content)) return instance.variable(cell->number);
    throw model_text::NotAFormula("a hard constraint must be a comparison or a Boolean formula, not " +
                                  std::string(model_text::kind_of(value)));
}

TemplateClauses template_clauses(const InstanceContext& instance, bxpr::Ref root) {
    TemplateClauses result;
    result.pbct = instance.pbct_count();
    const auto& context = instance.context;
    const auto literal_of = [&](bxpr::Ref literal) {
        const bxpr::Ref variable = literal.positive();
        if (const auto model = instance.model_number(variable)) {
            if (*model > 0) return TemplateClauses::Entry{TemplateClauses::Kind::model, literal.negated(), *model};
            return TemplateClauses::Entry{TemplateClauses::Kind::occurrence, literal.negated(), -*model - 1};
        }
        if (const auto pbct = instance.pbct_index(variable)) {
            return TemplateClauses::Entry{TemplateClauses::Kind::auxiliary, literal.negated(), *pbct};
        }
        const std::string_view name = context.name(variable);
        const auto n = std::strtoll(std::string(name.substr(bxpr_auxiliary_prefix.size() + 1)).c_str(), nullptr, 10);
        result.bxpr = std::max<std::int64_t>(result.bxpr, n + 1);
        return TemplateClauses::Entry{TemplateClauses::Kind::auxiliary, literal.negated(), result.pbct + n};
    };
    const auto add_clause = [&](bxpr::Ref clause) {
        if (!clause.negated() && context.kind(clause) == bxpr::Kind::Or) {
            for (const auto literal : context.args(clause)) result.literals.push_back(literal_of(literal));
        } else {
            result.literals.push_back(literal_of(clause));
        }
        result.ends.push_back(result.literals.size());
    };
    if (!root.negated() && context.kind(root) == bxpr::Kind::And) {
        for (const auto clause : context.args(root)) add_clause(clause);
    } else {
        add_clause(root);
    }
    return result;
}

// The host has no such names: a text using them is the host's to refuse.
std::optional<std::string> name_unknown_to_the_host(const model_text::SyntaxTree& tree,
                                                    const model_text::NameTable& names) {
    for (std::size_t s = 0; s < tree.symbols().size(); ++s) {
        const auto& symbol = tree.symbols()[s];
        if ((symbol == "np" || symbol == "numpy" || symbol == "array") &&
            names.meaning(static_cast<std::int64_t>(s)).kind == model_text::NameTable::Meaning::Kind::builtin) {
            return symbol;
        }
    }
    return std::nullopt;
}

// On the host a variable hides an index of its name; here the index would win.
std::optional<std::string> index_named_like_a_variable(std::span<const std::string> index_names,
                                                       std::span<const model_text::ModelVariable> variables) {
    for (const auto& name : index_names) {
        for (const auto& variable : variables) {
            if (variable.name == name) return name;
        }
    }
    return std::nullopt;
}

// "i", "2 * i - j + 1", "0": index arithmetic the clause template reads back.
std::string affine_text(const model_text::Affine& form, std::span<const std::string> index_names) {
    std::string text;
    for (const auto& [slot, coefficient] : form.terms) {
        if (coefficient == 0) continue;
        if (!text.empty()) text += coefficient < 0 ? " - " : " + ";
        else if (coefficient < 0) text += '-';
        const auto magnitude = coefficient < 0 ? -coefficient : coefficient;
        if (magnitude != 1) text += std::to_string(magnitude) + " * ";
        text += index_names[slot];
    }
    if (text.empty()) return std::to_string(form.constant);
    if (form.constant != 0) text += (form.constant < 0 ? " - " : " + ") + std::to_string(std::llabs(form.constant));
    return text;
}

std::string cell_text(std::span<const model_text::ModelVariable> variables, std::int64_t number) {
    for (const auto& variable : variables) {
        const std::int64_t cells = variable.sizes.empty() ? 1 : variable.strides[0] * variable.sizes[0];
        if (number < variable.first_number || number >= variable.first_number + cells) continue;
        std::int64_t offset = number - variable.first_number;
        std::string text = variable.name + "(";
        for (std::size_t d = 0; d < variable.sizes.size(); ++d) {
            if (d > 0) text += ',';
            text += std::to_string(offset / variable.strides[d]);
            offset %= variable.strides[d];
        }
        return text + ")";
    }
    throw std::out_of_range("number " + std::to_string(number) + " is no cell of a model variable");
}

class ClauseNamer {
public:
    ClauseNamer(std::span<const std::string> index_names, std::span<const model_text::ModelVariable> variables,
                const std::vector<model_text::TemplateOccurrence>& occurrences, const TemplateClauses& clauses)
        : index_names_(index_names), variables_(variables), occurrences_(occurrences), clauses_(clauses) {}

    NamedClauseTemplate named() {
        NamedClauseTemplate result;
        result.pbct = clauses_.pbct;
        result.bxpr = clauses_.bxpr;
        result.literals.reserve(clauses_.literals.size());
        for (const auto& entry : clauses_.literals) {
            const auto [found, inserted] = positions_.try_emplace({entry.kind, entry.value}, names_.size());
            if (inserted) {
                names_.push_back(name_of(entry));
                result.cells.push_back(entry.kind == TemplateClauses::Kind::model ? entry.value : -1);
            }
            const auto literal = static_cast<std::int32_t>(found->second + 1);
            result.literals.push_back(entry.negated ? -literal : literal);
        }
        result.ends.assign(clauses_.ends.begin(), clauses_.ends.end());
        result.names = std::move(names_);
        return result;
    }

private:
    std::span<const std::string> index_names_;
    std::span<const model_text::ModelVariable> variables_;
    const std::vector<model_text::TemplateOccurrence>& occurrences_;
    const TemplateClauses& clauses_;
    std::map<std::pair<TemplateClauses::Kind, std::int64_t>, std::size_t> positions_;
    std::vector<std::string> names_;

    std::string name_of(const TemplateClauses::Entry& entry) const {
        switch (entry.kind) {
            case TemplateClauses::Kind::model: return cell_text(variables_, entry.value);
            case TemplateClauses::Kind::occurrence: return occurrence_text(occurrences_[static_cast<std::size_t>(entry.value)]);
            case TemplateClauses::Kind::auxiliary: break;
        }
        if (entry.value < clauses_.pbct) return std::string(pbct_auxiliary_prefix) + "_" + std::to_string(entry.value);
        return std::string(bxpr_auxiliary_prefix) + "_" + std::to_string(entry.value - clauses_.pbct);
    }

    std::string occurrence_text(const model_text::TemplateOccurrence& occurrence) const {
        std::string text = variables_[occurrence.variable].name + "(";
        for (std::size_t d = 0; d < occurrence.forms.size(); ++d) {
            if (d > 0) text += ',';
            text += affine_text(occurrence.forms[d], index_names_);
        }
        return text + ")";
    }
};

NamedClauseTemplate read_once(std::span<const std::string> index_names,
                              std::span<const model_text::ModelVariable> variables, const PBConfig& config,
                              const model_text::SyntaxTree& tree, const model_text::NameTable& names) {
    model_text::Evaluator evaluator(tree, names, variables, config);
    InstanceContext instance;
    const Value value = index_names.empty() ? evaluator.evaluate({}, &instance)
                                            : evaluator.evaluate_template(index_names.size(), &instance);
    const auto clauses = hard_clauses_of(value, instance, config);
    if (!clauses) {
        NamedClauseTemplate never;
        never.never_holds = true;
        return never;
    }
    return ClauseNamer(index_names, variables, evaluator.template_occurrences(), *clauses).named();
}

}  // namespace

std::optional<TemplateClauses> hard_clauses_of(const Value& value, InstanceContext& instance, const PBConfig& config) {
    const bxpr::Ref root = bxpr::tseytin(instance.context,
                                         model_text::with_comparisons(instance, hard_root_of(value, instance), config),
                                         bxpr_auxiliary_prefix);
    if (root == bxpr::Ref::zero()) return std::nullopt;
    if (root == bxpr::Ref::one()) return TemplateClauses{};
    return template_clauses(instance, root);
}

ClauseTemplateReading read_clause_template(std::string_view text, std::span<const std::string> index_names,
                                           std::span<const model_text::ModelVariable> variables,
                                           const PBConfig& config) {
    if (const auto index = index_named_like_a_variable(index_names, variables)) {
        return DeclinedReading{"the index " + *index + " shares its name with a variable"};
    }
    try {
        const model_text::SyntaxTree tree = model_text::parse_expression(text);
        std::unordered_map<std::string, std::size_t> variables_by_name;
        for (std::size_t v = 0; v < variables.size(); ++v) variables_by_name.emplace(variables[v].name, v);
        const model_text::NameTable names(tree, index_names, variables_by_name);
        model_text::check_names(tree, names);
        if (const auto name = name_unknown_to_the_host(tree, names)) {
            return DeclinedReading{"the name " + *name + " is the formula encoder's only"};
        }
        return read_once(index_names, variables, config, tree, names);
    } catch (const model_text::NeedsInstances&) {
        return DeclinedReading{"its shape depends on the index values"};
    } catch (const model_text::TextError& refusal) {
        return DeclinedReading{refusal.what()};
    } catch (const model_text::CellOutOfRange& refusal) {
        return DeclinedReading{refusal.what()};
    } catch (const model_text::NumberOutOfRange& refusal) {
        return DeclinedReading{refusal.what()};
    } catch (const model_text::NotAFormula& refusal) {
        return DeclinedReading{refusal.what()};
    }
}

}  // namespace kelvo
