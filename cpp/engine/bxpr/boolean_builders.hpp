#pragma once
// Builders of formulas. The _s builders simplify as they build: constants
// dominate or vanish, nested conjunctions and disjunctions (and exclusive
// disjunctions) flatten, duplicates merge keeping the first occurrence, and a
// complementary pair gives the constant. Argument order is otherwise kept.

#include <cstdint>
#include <span>

#include "engine/bxpr/boolean_expression.hpp"

namespace kelvo::bxpr {

Ref and_s(Context& context, std::span<const Ref> args);
Ref or_s(Context& context, std::span<const Ref> args);
Ref xor_s(Context& context, std::span<const Ref> args);
// All arguments equal: true for fewer than two distinct arguments.
Ref eq_s(Context& context, std::span<const Ref> args);
Ref impl_s(Context& context, Ref premise, Ref conclusion);
Ref ite_s(Context& context, Ref condition, Ref then_branch, Ref else_branch);
// A conjunction that keeps its arguments exactly, in order and count; callers
// pair them with weights by position.
Ref and_exact(Context& context, std::span<const Ref> args);

// and_s of one or_s per clause. Clause c holds literals[offsets[c]] up to
// literals[offsets[c + 1]]; a literal n > 0 stands for variables[n - 1] and
// -n for its negation. Throws std::out_of_range for a literal beyond the variables, std::invalid_argument
// for a literal 0 or offsets that do not start at 0, rise and end at
// literals.size().
Ref and_of_clauses(Context& context, std::span<const std::int64_t> literals, std::span<const std::int64_t> offsets,
                   std::span<const Ref> variables);

}  // namespace kelvo::bxpr
