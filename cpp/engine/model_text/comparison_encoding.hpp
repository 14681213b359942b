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

#include "engine/bxpr/boolean_expression.hpp"
#include "engine/model_text/model_text_evaluator.hpp"
#include "engine/pbct/pb_config.hpp"

namespace kelvo::model_text {

// The formula of the instance with its comparisons encoded.
bxpr::Ref with_comparisons(InstanceContext& instance, bxpr::Ref root, const PBConfig& config);

}  // namespace kelvo::model_text
