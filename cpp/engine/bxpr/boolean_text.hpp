#pragma once
// The readable text of a formula, as it is logged: a variable is its name, a
// negation "~" before its operand, the constants "1" and "0", connectives
// infix in parentheses ("(a & b)", "(a | ~b)", "(a ^ b)") and
// "ite(c, t, e)". Shared sub-formulas are written out at every use.

#include <cstddef>
#include <limits>
#include <string>

#include "engine/bxpr/boolean_expression.hpp"

namespace kelvo::bxpr {

// Writing stops after max_length characters (the formula may be huge and a
// caller may want only its head).
std::string to_text(const Context& context, Ref root,
                    std::size_t max_length = std::numeric_limits<std::size_t>::max());

}  // namespace kelvo::bxpr
