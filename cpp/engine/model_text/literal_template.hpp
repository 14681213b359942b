#pragma once
// A clause template given as literal texts, as the host road writes them: a
// variable call over integer index arithmetic ("x(i + 1,j)", "-x(2,3)" when
// negated) or an auxiliary name between quotes ("'_pbct_aux_0'",
// "'~_bxpr_aux_1'" when negated). Each distinct text is read once by the model
// text's own parser and evaluator, its index names symbolic, into the
// structured template the constraint reader gives.

#include <span>
#include <string>
#include <vector>

#include "engine/bxpr/boolean_expression.hpp"
#include "engine/model_text/constraint_template.hpp"
#include "engine/model_text/model_text_evaluator.hpp"

namespace kelvo {

// The template read, or declined with the reason when a literal lies outside
// what the reader reads for all instances at once (index arithmetic other
// than + - * by a constant, a name it does not know, a cell outside its
// variable, a number past 64 bits): the host evaluates such texts itself.
// An auxiliary's value is its n; the counts are one past the largest n.
ClauseTemplateReading read_literal_template(std::span<const std::vector<std::string>> clauses,
                                            std::span<const std::string> index_names,
                                            std::span<const model_text::ModelVariable> variables);

// The literal texts of a formula in clause form: a conjunction of clauses,
// one clause, one literal, or a constant (one: no clause; zero: one empty
// clause). Throws std::invalid_argument for a formula of any other form.
std::vector<std::vector<std::string>> literal_texts_of_clauses(const bxpr::Context& context, bxpr::Ref root);

}  // namespace kelvo
