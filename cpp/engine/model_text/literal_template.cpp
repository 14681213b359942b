#include "engine/model_text/literal_template.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "engine/model_text/model_text_parser.hpp"
#include "engine/model_text/model_text_tokenizer.hpp"
#include "engine/model_text/text_refusals.hpp"
#include "engine/reserved_names.hpp"

namespace kelvo {

using model_text::NodeKind;

namespace {

// A literal the reader leaves to the host, with the reason.
struct Declined {
    std::string reason;
};

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

enum class LiteralKind : std::uint8_t { cell, occurrence, pbct_auxiliary, bxpr_auxiliary };

struct ReadLiteral {
    LiteralKind kind;
    bool negated;
    std::int64_t value;  // the cell's number, the occurrence's position, the auxiliary's n
};

class LiteralReader {
public:
    LiteralReader(std::span<const std::string> index_names, std::span<const model_text::ModelVariable> variables)
        : index_names_(index_names), variables_(variables) {
        for (std::size_t v = 0; v < variables.size(); ++v) variables_by_name_.emplace(variables[v].name, v);
    }

    const ReadLiteral& read(const std::string& raw_text) {
        const auto found = read_.find(raw_text);
        if (found != read_.end()) return found->second;
        return read_.emplace(raw_text, read_text(trimmed(raw_text))).first->second;
    }

    [[nodiscard]] const std::vector<model_text::TemplateOccurrence>& occurrences() const { return occurrences_; }

private:
    std::span<const std::string> index_names_;
    std::span<const model_text::ModelVariable> variables_;
    std::unordered_map<std::string, std::size_t> variables_by_name_;
    std::unordered_map<std::string, ReadLiteral> read_;
    std::vector<model_text::TemplateOccurrence> occurrences_;
    std::unordered_map<std::string, std::size_t> occurrence_ids_;

    ReadLiteral read_text(std::string_view text) {
        if (!text.empty() && (text.front() == '\'' || text.front() == '"')) return auxiliary(text);
        return call(text);
    }

    // "'_pbct_aux_3'", "'~_bxpr_aux_0'": the name the host's evaluation gives.
    static ReadLiteral auxiliary(std::string_view text) {
        // The host reads escapes the model text does not.
        if (text.find('\\') != std::string_view::npos) throw Declined{"an escape in the literal " + std::string(text)};
        const model_text::SyntaxTree tree = model_text::parse_expression(text);
        const auto& root = tree.node(tree.root());
        if (root.kind != NodeKind::string) throw Declined{"the literal " + std::string(text) + " is no name"};
        std::string_view name = tree.string_value(root.value);
        const bool negated = name.starts_with('~');
        if (negated) name.remove_prefix(1);
        if (const auto n = auxiliary_number(name, pbct_auxiliary_prefix)) {
            return {LiteralKind::pbct_auxiliary, negated, *n};
        }
        if (const auto n = auxiliary_number(name, bxpr_auxiliary_prefix)) {
            return {LiteralKind::bxpr_auxiliary, negated, *n};
        }
        throw Declined{"the literal " + std::string(text) + " is no auxiliary name"};
    }

    // "x(i + 1,j)", "-x(2,3)".
    ReadLiteral call(std::string_view text) {
        const model_text::SyntaxTree tree = model_text::parse_expression(text);
        const auto& root = tree.node(tree.root());
        const bool negated = root.kind == NodeKind::negated;
        const auto body = negated ? tree.children(tree.root())[0] : tree.root();
        if (tree.node(body).kind != NodeKind::call) {
            throw Declined{"the literal " + std::string(text) + " is no variable call"};
        }
        const model_text::NameTable names(tree, index_names_, variables_by_name_);
        model_text::check_names(tree, names);
        refuse_builtin_names(tree, names);
        model_text::Evaluator evaluator(tree, names, variables_, PBConfig{});
        const model_text::Value value = index_names_.empty()
                                            ? evaluator.evaluate({}, nullptr)
                                            : evaluator.evaluate_template(index_names_.size(), nullptr);
        const auto number = literal_number(value, negated);
        if (!number) throw Declined{"the literal " + std::string(text) + " is no variable call"};
        if (*number > 0) return {LiteralKind::cell, negated, *number};
        return {LiteralKind::occurrence, negated,
                occurrence_position(evaluator.template_occurrences()[static_cast<std::size_t>(-*number - 1)])};
    }

    // The host's evaluation binds no builtin of the model text: list(i) or
    // range(3) mean something else there.
    static void refuse_builtin_names(const model_text::SyntaxTree& tree, const model_text::NameTable& names) {
        for (model_text::NodeId id = 0; id < tree.size(); ++id) {
            const auto& node = tree.node(id);
            if (node.kind == NodeKind::name &&
                names.meaning(node.value).kind == model_text::NameTable::Meaning::Kind::builtin) {
                throw Declined{"the name " + tree.symbol(node.value) + " means another thing to the host"};
            }
        }
    }

    // The occurrence's number (a template occurrence's -(t + 1)) when the
    // value is the call itself, or its negation when the text negates it.
    static std::optional<std::int64_t> literal_number(const model_text::Value& value, bool negated) {
        if (const auto* occurrence = std::get_if<model_text::Occurrence>(&value.content)) {
            if (!negated) return occurrence->number;
        }
        if (const auto* term = std::get_if<model_text::Term>(&value.content)) {
            if (negated && term->items.size() == 1 && term->items[0].coefficient == -1) return term->items[0].number;
        }
        return std::nullopt;
    }

    std::int64_t occurrence_position(const model_text::TemplateOccurrence& occurrence) {
        const auto [found, inserted] =
            occurrence_ids_.try_emplace(model_text::occurrence_key(occurrence), occurrences_.size());
        if (inserted) occurrences_.push_back(occurrence);
        return static_cast<std::int64_t>(found->second);
    }
};

StructuredClauseTemplate structured(std::span<const std::vector<std::string>> clauses, std::size_t index_count,
                                    LiteralReader& reader) {
    std::vector<ReadLiteral> literals;
    TemplateClauses template_clauses;
    for (const auto& clause : clauses) {
        for (const auto& text : clause) {
            const auto& literal = reader.read(text);
            literals.push_back(literal);
            if (literal.kind == LiteralKind::pbct_auxiliary) {
                template_clauses.pbct = std::max(template_clauses.pbct, literal.value + 1);
            } else if (literal.kind == LiteralKind::bxpr_auxiliary) {
                template_clauses.bxpr = std::max(template_clauses.bxpr, literal.value + 1);
            }
        }
        template_clauses.ends.push_back(literals.size());
    }
    template_clauses.literals.reserve(literals.size());
    for (const auto& literal : literals) {
        using Kind = TemplateClauses::Kind;
        switch (literal.kind) {
            case LiteralKind::cell:
                template_clauses.literals.push_back({Kind::model, literal.negated, literal.value});
                break;
            case LiteralKind::occurrence:
                template_clauses.literals.push_back({Kind::occurrence, literal.negated, literal.value});
                break;
            case LiteralKind::pbct_auxiliary:
                template_clauses.literals.push_back({Kind::auxiliary, literal.negated, literal.value});
                break;
            case LiteralKind::bxpr_auxiliary:
                template_clauses.literals.push_back(
                    {Kind::auxiliary, literal.negated, template_clauses.pbct + literal.value});
                break;
        }
    }
    return structured_template_of(template_clauses, reader.occurrences(), index_count, false);
}

// A literal as the host road writes it: a call with "-" for its negation, any
// other name quoted, with "~" for its negation.
std::string literal_text(const bxpr::Context& context, bxpr::Ref literal) {
    const std::string_view name = context.name(literal);
    const bool call = name.find('(') != std::string_view::npos;
    std::string text;
    text.reserve(name.size() + 3);
    if (!call) text += '\'';
    if (literal.negated()) text += call ? '-' : '~';
    text += name;
    if (!call) text += '\'';
    return text;
}

}  // namespace

ClauseTemplateReading read_literal_template(std::span<const std::vector<std::string>> clauses,
                                            std::span<const std::string> index_names,
                                            std::span<const model_text::ModelVariable> variables) {
    return read_within_the_grammar(index_names, variables, [&]() -> ClauseTemplateReading {
        LiteralReader reader(index_names, variables);
        try {
            return structured(clauses, index_names.size(), reader);
        } catch (const Declined& declined) {
            return DeclinedReading{declined.reason};
        } catch (const model_text::OperandKindError& refusal) {
            // The host words its own refusal of a call with the wrong number of values.
            return DeclinedReading{refusal.what()};
        }
    });
}

std::vector<std::vector<std::string>> literal_texts_of_clauses(const bxpr::Context& context, bxpr::Ref root) {
    std::vector<std::vector<std::string>> clauses;
    if (root == bxpr::Ref::one()) return clauses;
    if (root == bxpr::Ref::zero()) return {{}};
    const auto literal_clause = [&](std::span<const bxpr::Ref> literals) {
        auto& clause = clauses.emplace_back();
        clause.reserve(literals.size());
        for (const auto literal : literals) {
            if (literal.is_constant() || context.kind(literal) != bxpr::Kind::Variable) {
                throw std::invalid_argument("a clause holds a literal that is no variable");
            }
            clause.push_back(literal_text(context, literal));
        }
    };
    const auto add = [&](bxpr::Ref clause) {
        if (!clause.is_constant() && !clause.negated()) {
            if (context.kind(clause) == bxpr::Kind::Or) return literal_clause(context.args(clause));
            if (context.kind(clause) == bxpr::Kind::Clauses) {
                const auto ends = context.clause_ends(clause);
                for (std::size_t c = 0; c < ends.size(); ++c) literal_clause(context.block_clause(clause, ends, c));
                return;
            }
        }
        literal_clause(std::span<const bxpr::Ref>(&clause, 1));
    };
    if (!root.is_constant() && !root.negated() && context.kind(root) == bxpr::Kind::And) {
        for (const auto clause : context.args(root)) add(clause);
    } else {
        add(root);
    }
    return clauses;
}

}  // namespace kelvo
