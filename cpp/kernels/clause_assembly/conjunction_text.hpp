#pragma once
// The clause template of a conjunction of clauses, cut from the engine's text
// of it: "(c1 & c2 & ...)", each clause "(l1 | l2 | ...)" or a lone literal.
// Literal texts become the template's: a model variable's call ("x(i,j)",
// "~x(i,j)") is written with a leading "-" for negation, an auxiliary name is
// quoted.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// conjunction: whether the text is a conjunction (of more than one clause);
// otherwise it is one clause. No literal text starts with "("; " & " and
// " | " separate only outside parentheses.
std::vector<std::vector<std::string>> clause_template_of_text(std::string_view text, bool conjunction);

// An engine literal ("x(i,j)", "~x(i,j)", "_pbct_aux_0") as the template writes it.
std::string template_literal(std::string_view literal);

}  // namespace vx
