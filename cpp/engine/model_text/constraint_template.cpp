#include "engine/model_text/constraint_template.hpp"

#include <algorithm>
#include <array>
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
        // The Tseytin conversion's own variable, named in this instance's context.
        const auto number = auxiliary_number(context.name(variable), bxpr_auxiliary_prefix);
        if (!number) throw std::logic_error("a clause variable is neither a model variable nor an auxiliary");
        const auto n = *number;
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

// Gathers each distinct literal once, with its kind, value and forms.
class TemplateStructure {
public:
    TemplateStructure(std::size_t index_count, std::span<const model_text::TemplateOccurrence> occurrences,
                      const TemplateClauses& clauses)
        : index_count_(index_count), occurrences_(occurrences), clauses_(clauses) {}

    StructuredClauseTemplate structured(bool every_occurrence) {
        result_.pbct = clauses_.pbct;
        result_.bxpr = clauses_.bxpr;
        result_.literals.reserve(clauses_.literals.size());
        if (every_occurrence) {
            for (std::size_t t = 0; t < occurrences_.size(); ++t) {
                const TemplateClauses::Entry entry{TemplateClauses::Kind::occurrence, false, static_cast<std::int64_t>(t)};
                positions_[static_cast<std::size_t>(entry.kind)].emplace(entry.value, result_.kinds.size());
                add_distinct(entry);
            }
        }
        for (const auto& entry : clauses_.literals) {
            auto& of_kind = positions_[static_cast<std::size_t>(entry.kind)];
            if (of_kind.empty()) of_kind.reserve(clauses_.literals.size());
            const auto [found, inserted] = of_kind.try_emplace(entry.value, result_.kinds.size());
            if (inserted) add_distinct(entry);
            const auto literal = static_cast<std::int32_t>(found->second + 1);
            result_.literals.push_back(entry.negated ? -literal : literal);
        }
        result_.ends.assign(clauses_.ends.begin(), clauses_.ends.end());
        return std::move(result_);
    }

private:
    using Kind = StructuredClauseTemplate::Kind;

    std::size_t index_count_;
    std::span<const model_text::TemplateOccurrence> occurrences_;
    const TemplateClauses& clauses_;
    // By kind and value: a value is unique within its kind.
    std::array<std::unordered_map<std::int64_t, std::size_t>, 3> positions_;
    StructuredClauseTemplate result_;

    void add_distinct(const TemplateClauses::Entry& entry) {
        switch (entry.kind) {
            case TemplateClauses::Kind::model:
                add(Kind::cell, entry.value);
                break;
            case TemplateClauses::Kind::occurrence: {
                const auto& occurrence = occurrences_[static_cast<std::size_t>(entry.value)];
                for (const auto& form : occurrence.forms) add_form(form);
                add(Kind::occurrence, static_cast<std::int64_t>(occurrence.variable));
                break;
            }
            case TemplateClauses::Kind::auxiliary:
                if (entry.value < clauses_.pbct) {
                    add(Kind::pbct_auxiliary, entry.value);
                } else {
                    add(Kind::bxpr_auxiliary, entry.value - clauses_.pbct);
                }
                break;
        }
    }

    void add(Kind kind, std::int64_t value) {
        result_.kinds.push_back(kind);
        result_.values.push_back(value);
        result_.form_ends.push_back(static_cast<std::int64_t>(result_.forms.size()));
    }

    void add_form(const model_text::Affine& form) {
        result_.forms.push_back(form.constant);
        const auto first = result_.forms.size();
        result_.forms.resize(first + index_count_, 0);
        for (const auto& [slot, coefficient] : form.terms) result_.forms[first + slot] = coefficient;
    }
};

StructuredClauseTemplate read_once(std::span<const std::string> index_names,
                              std::span<const model_text::ModelVariable> variables, const PBConfig& config,
                              const model_text::SyntaxTree& tree, const model_text::NameTable& names) {
    model_text::Evaluator evaluator(tree, names, variables, config);
    InstanceContext instance;
    const Value value = index_names.empty() ? evaluator.evaluate({}, &instance)
                                            : evaluator.evaluate_template(index_names.size(), &instance);
    const auto clauses = hard_clauses_of(value, instance, config);
    if (!clauses) {
        StructuredClauseTemplate never;
        never.never_holds = true;
        return never;
    }
    // Every occurrence the text calls, so that each instance checks its cells
    // whether a clause keeps them or the encoding folded them away.
    return structured_template_of(*clauses, evaluator.template_occurrences(), index_names.size(), true);
}

}  // namespace

ClauseTemplateReading read_within_the_grammar(std::span<const std::string> index_names,
                                              std::span<const model_text::ModelVariable> variables,
                                              const std::function<ClauseTemplateReading()>& read) {
    for (const auto& name : index_names) {
        for (const auto& variable : variables) {
            if (variable.name == name) return DeclinedReading{"the index " + name + " shares its name with a variable"};
        }
    }
    try {
        return read();
    } catch (const model_text::NeedsInstances&) {
        return DeclinedReading{"its shape depends on the index values"};
    } catch (const model_text::TextError& refusal) {
        return DeclinedReading{refusal.what()};
    } catch (const model_text::CellOutOfRange& refusal) {
        return DeclinedReading{refusal.what()};
    } catch (const model_text::NumberOutOfRange& refusal) {
        return DeclinedReading{refusal.what()};
    }
}

StructuredTemplateView StructuredClauseTemplate::view(std::size_t index_count) const {
    // The kinds are bytes: an unsigned char may view any object.
    return {{reinterpret_cast<const std::uint8_t*>(kinds.data()), kinds.size()}, values, forms, form_ends, literals, ends,
            index_count};
}

StructuredClauseTemplate structured_instance_of(const TemplateClauses& clauses) {
    using Kind = StructuredClauseTemplate::Kind;
    StructuredClauseTemplate result;
    result.pbct = clauses.pbct;
    result.bxpr = clauses.bxpr;
    const auto count = clauses.literals.size();
    result.kinds.reserve(count);
    result.values.reserve(count);
    result.form_ends.assign(count, 0);
    result.literals.reserve(count);
    for (const auto& entry : clauses.literals) {
        if (entry.kind == TemplateClauses::Kind::occurrence) {
            throw std::invalid_argument("the clauses of one instance call no occurrences");
        }
        const bool pbct = entry.kind == TemplateClauses::Kind::auxiliary && entry.value < clauses.pbct;
        result.kinds.push_back(entry.kind == TemplateClauses::Kind::model ? Kind::cell
                               : pbct                                      ? Kind::pbct_auxiliary
                                                                           : Kind::bxpr_auxiliary);
        result.values.push_back(entry.kind == TemplateClauses::Kind::model || pbct ? entry.value
                                                                                   : entry.value - clauses.pbct);
        const auto literal = static_cast<std::int32_t>(result.kinds.size());
        result.literals.push_back(entry.negated ? -literal : literal);
    }
    result.ends.assign(clauses.ends.begin(), clauses.ends.end());
    return result;
}

StructuredClauseTemplate structured_template_of(const TemplateClauses& clauses,
                                                std::span<const model_text::TemplateOccurrence> occurrences,
                                                std::size_t index_count, bool every_occurrence) {
    return TemplateStructure(index_count, occurrences, clauses).structured(every_occurrence);
}

std::optional<TemplateClauses> hard_clauses_of(const Value& value, InstanceContext& instance, const PBConfig& config) {
    const bxpr::Ref root = bxpr::tseytin(instance.context,
                                         model_text::with_comparisons(instance, hard_root_of(value, instance), config),
                                         bxpr_auxiliary_prefix);
    if (root == bxpr::Ref::zero()) return std::nullopt;
    if (root == bxpr::Ref::one()) return TemplateClauses{};
    return template_clauses(instance, root);
}

namespace {

// The entries of a soft constraint's value, as the formula encoder reads them.
const model_text::Term* soft_term_of(const Value& value, model_text::Term& single) {
    if (const auto* whole = std::get_if<model_text::Term>(&value.content)) return whole;
    if (const auto* weighted = std::get_if<model_text::WeightedVariable>(&value.content)) {
        single.items = {*weighted};
        return &single;
    }
    if (const auto* cell = std::get_if<model_text::Occurrence>(&value.content)) {
        single.items = {{cell->number, 1}};
        return &single;
    }
    return nullptr;
}


// The text parsed with its names resolved, handed to `read`; a name only the
// formula encoder knows declines it first.
template <typename Read>
ClauseTemplateReading read_with_names(std::string_view text, std::span<const std::string> index_names,
                                      std::span<const model_text::ModelVariable> variables, Read&& read) {
    const model_text::SyntaxTree tree = model_text::parse_expression(text);
    std::unordered_map<std::string, std::size_t> variables_by_name;
    for (std::size_t v = 0; v < variables.size(); ++v) variables_by_name.emplace(variables[v].name, v);
    const model_text::NameTable names(tree, index_names, variables_by_name);
    model_text::check_names(tree, names);
    if (const auto name = name_unknown_to_the_host(tree, names)) {
        return DeclinedReading{"the name " + *name + " is the formula encoder's only"};
    }
    return read(tree, names);
}

}  // namespace

SoftTemplateReading read_soft_template(std::string_view text, std::span<const std::string> index_names,
                                       std::span<const model_text::ModelVariable> variables, const PBConfig& config) {
    SoftClauseTemplate soft;
    const auto reading = read_within_the_grammar(index_names, variables, [&]() -> ClauseTemplateReading {
        return read_with_names(text, index_names, variables, [&](const model_text::SyntaxTree& tree,
                                                               const model_text::NameTable& names)
                                                               -> ClauseTemplateReading {
            model_text::Evaluator evaluator(tree, names, variables, config);
            const Value value = evaluator.evaluate_template(index_names.size(), nullptr);
            model_text::Term single;
            const auto* term = soft_term_of(value, single);
            if (term == nullptr) return DeclinedReading{"a soft constraint must be a pseudo-Boolean sum"};
            TemplateClauses clauses;
            for (const auto& item : term->items) {
                clauses.literals.push_back(item.number > 0
                                               ? TemplateClauses::Entry{TemplateClauses::Kind::model, false, item.number}
                                               : TemplateClauses::Entry{TemplateClauses::Kind::occurrence, false,
                                                                        -item.number - 1});
                clauses.ends.push_back(clauses.literals.size());
                soft.coefficients.push_back(item.coefficient);
            }
            return structured_template_of(clauses, evaluator.template_occurrences(), index_names.size(), false);
        });
    });
    if (const auto* declined = std::get_if<DeclinedReading>(&reading)) return *declined;
    soft.structure = std::get<StructuredClauseTemplate>(reading);
    return soft;
}

ClauseTemplateReading read_clause_template(std::string_view text, std::span<const std::string> index_names,
                                           std::span<const model_text::ModelVariable> variables,
                                           const PBConfig& config) {
    return read_within_the_grammar(index_names, variables, [&]() -> ClauseTemplateReading {
        return read_with_names(text, index_names, variables, [&](const model_text::SyntaxTree& tree,
                                                               const model_text::NameTable& names)
                                                               -> ClauseTemplateReading {
            try {
                return read_once(index_names, variables, config, tree, names);
            } catch (const model_text::NotAFormula& refusal) {
                return DeclinedReading{refusal.what()};
            }
        });
    });
}

}  // namespace kelvo
