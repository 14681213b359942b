#pragma once
// Questions about a whole formula, answered without recursion.

#include <vector>

#include "engine/bxpr/boolean_expression.hpp"

namespace kelvo::bxpr {

// The variables of the formula (positive references), each once, in the order
// of their first occurrence from left to right.
std::vector<Ref> support(const Context& context, Ref root);

// True for a formula in clause form: a constant, a literal, a disjunction of
// literals, or a non-empty conjunction whose arguments are literals or
// disjunctions of literals.
bool is_clause_form(const Context& context, Ref root);

}  // namespace kelvo::bxpr
