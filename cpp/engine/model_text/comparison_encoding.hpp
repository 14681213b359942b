#pragma once
// Comparisons inside Boolean formulas. Each comparison of an instance first
// stands for a placeholder variable; once the instance's formula is complete,
// a comparison that the formula requires outright (the formula itself, or a
// conjunct of it) is replaced by its clauses, and any other is tied to its
// placeholder by polarity: clauses "placeholder -> comparison" where it
// occurs positively and "not placeholder -> negated comparison" where it
// occurs negatively. So a comparison under ~, ^, eq_s, an implication's
// premise or an ite's condition means what it says, not merely "its clauses
// can be satisfied".

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/bxpr/boolean_expression.hpp"
#include "engine/model_text/model_text_evaluator.hpp"
#include "engine/pbct/pb_config.hpp"
#include "engine/pbct/pb_constraint.hpp"

namespace kelvo::model_text {

// The formula of the instance with its comparisons encoded.
bxpr::Ref with_comparisons(InstanceContext& instance, bxpr::Ref root, const PBConfig& config);

// The comparisons of a formula the host evaluated, each standing for a
// placeholder variable of the host's context; a term's variable number n is
// variables[n - 1]. A placeholder that stays in the formula and every
// auxiliary of the encoder become _pbct_aux variables, named from
// first_auxiliary on in the order the engine numbers them in its own texts.
class HostComparisons {
public:
    HostComparisons(bxpr::Context& context, std::vector<bxpr::Ref> variables, std::int64_t first_auxiliary);

    // Throws std::invalid_argument for a placeholder that is no variable, a
    // term literal that names no variable given, or two different bounds.
    void add(bxpr::Ref placeholder, const PBConstraint& comparison);
    [[nodiscard]] std::int64_t auxiliaries_made() const { return next_auxiliary_ - first_auxiliary_; }

    // What the polarity pass asks of its site.
    bxpr::Context& context;
    std::vector<PendingComparison> comparisons;
    [[nodiscard]] bool is_comparison(bxpr::Ref variable) const { return placeholders_.contains(variable.node()); }
    [[nodiscard]] bxpr::Ref variable(std::int64_t number) const { return variables_[static_cast<std::size_t>(number - 1)]; }
    bxpr::Ref new_pbct_auxiliary();
    void adopt_as_auxiliary(bxpr::Ref placeholder) { adopted_.emplace(placeholder.node(), new_pbct_auxiliary()); }
    // The placeholders that stay, by node, with their auxiliaries.
    [[nodiscard]] const std::unordered_map<std::uint32_t, bxpr::Ref>& adopted() const { return adopted_; }

private:
    std::vector<bxpr::Ref> variables_;
    std::unordered_map<std::uint32_t, bxpr::Ref> adopted_;
    std::unordered_set<std::uint32_t> placeholders_;
    std::int64_t next_auxiliary_;
    std::int64_t first_auxiliary_;
};

// The host's formula with its comparisons encoded by the same polarity rules.
bxpr::Ref with_comparisons(HostComparisons& host, bxpr::Ref root, const PBConfig& config);

}  // namespace kelvo::model_text
