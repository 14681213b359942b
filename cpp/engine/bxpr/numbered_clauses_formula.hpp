#pragma once
// The clauses of a pseudo-Boolean encoder, whose literals are signed variable
// numbers, as one formula of a context, made in one pass: a number the caller
// knows gives its formula, every other number becomes a new variable named
// prefix_n, n counting up in the order in which the numbers first occur.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/bxpr/boolean_expression.hpp"
#include "engine/support/clause_buffer.hpp"

namespace kelvo::bxpr {

struct NumberedClausesFormula {
    // The conjunction of one disjunction per clause, literal -n the negation
    // of number n: a clause block when every number stands for a variable.
    Ref formula;
    // The numbers that became new variables, in order of first occurrence,
    // and their variables: new_variables[k] is prefix_(first_index + k).
    std::vector<Literal> new_numbers;
    std::vector<Ref> new_variables;
};

// The caller's formula of a number, or nothing when the number is unknown.
using KnownFormula = std::function<std::optional<Ref>(Literal number)>;

// Asks known once per distinct number, in order of first occurrence; known
// must not make nodes (std::logic_error). A name that exists already in the
// context gives that variable. Throws std::invalid_argument for a literal 0
// or the smallest int32 (which has no negation), before anything is made in
// the context.
NumberedClausesFormula formula_of_numbered_clauses(Context& context, const ClauseBuffer& clauses,
                                                   const KnownFormula& known, std::string_view prefix,
                                                   std::uint64_t first_index);

}  // namespace kelvo::bxpr
