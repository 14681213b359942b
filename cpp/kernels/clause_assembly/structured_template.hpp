#pragma once
// The literal texts of a structured clause template (the engine's
// StructuredTemplateView), printed only for the host's evaluation of index
// values past 64 bits; the kernels instantiate the template without any text.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/instantiation/structured_template_view.hpp"
#include "engine/instantiation/variable_cells.hpp"

namespace vx {

// The template's clauses as literal texts ("x(2 * i - j + 1,0)", "-x(3,4)",
// "'_pbct_aux_0'"), variables named by position, cells by their number as
// the shapes number them.
std::vector<std::vector<std::string>> clause_texts_of(const kelvo::StructuredTemplateView& structure,
                                                      std::span<const kelvo::VariableCells> variables,
                                                      std::span<const std::string> index_names);

}  // namespace vx
