#pragma once
// Clause form of a formula by the polarity-aware (Plaisted-Greenbaum)
// definitional conversion.

#include <string_view>

#include "engine/bxpr/boolean_expression.hpp"

namespace kelvo::bxpr {

// A formula in clause form (a conjunction of disjunctions of literals, one
// disjunction, one literal, or a constant) satisfied by exactly those
// assignments of the formula's own variables that satisfy the formula, once
// extended to the new variables. The new variables are made with
// context.fresh_variable(prefix), so in a fresh context they are prefix_0 to
// prefix_{B-1}, and every one of them occurs in the result. A formula already
// in clause form is returned unchanged; nothing recurses, so any depth works.
Ref tseytin(Context& context, Ref root, std::string_view prefix);

}  // namespace kelvo::bxpr
