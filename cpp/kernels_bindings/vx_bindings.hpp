#pragma once
// Each kernel of the package binds itself into the private native module.

#include <pybind11/pybind11.h>

namespace vx::bindings {

void bind_variable_map(pybind11::module_& module);
void bind_instantiation(pybind11::module_& module);
void bind_linear_text_kernels(pybind11::module_& module);
void bind_linear_terms(pybind11::module_& module);
void bind_untracked_instance(pybind11::module_& module);
void bind_cell_occurrence(pybind11::module_& module);
void bind_text_pieces(pybind11::module_& module);
void bind_constraint_assembler(pybind11::module_& module);

}  // namespace vx::bindings
