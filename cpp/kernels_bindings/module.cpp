#include <pybind11/pybind11.h>

#include "vx_bindings.hpp"

PYBIND11_MODULE(_vx_native, module) {
    module.doc() = "Native kernels of vx_encoder (private)";
    vx::bindings::bind_variable_map(module);
    vx::bindings::bind_instantiation(module);
    vx::bindings::bind_linear_text_kernels(module);
    vx::bindings::bind_linear_terms(module);
    vx::bindings::bind_untracked_instance(module);
    vx::bindings::bind_cell_occurrence(module);
    vx::bindings::bind_text_pieces(module);
    vx::bindings::bind_constraint_assembler(module);
}
