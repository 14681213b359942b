#pragma once
// A formula with some of its variables replaced by other formulas, its shape
// kept node for node (no simplification), shared sub-formulas rebuilt once.

#include <cstdint>
#include <unordered_map>

#include "engine/bxpr/boolean_expression.hpp"

namespace kelvo::bxpr {

// replacements: variable node -> the formula standing in its place. A clause
// block's variables may be replaced only by variables.
Ref with_variables_replaced(Context& context, Ref root, const std::unordered_map<std::uint32_t, Ref>& replacements);

}  // namespace kelvo::bxpr
