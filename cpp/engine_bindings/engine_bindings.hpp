#pragma once
// Each part of the engine's Python interface binds itself into a module.

#include <pybind11/pybind11.h>

namespace kelvo::bindings {

void bind_logger(pybind11::module_& module);
void bind_storage(pybind11::module_& module);
void bind_var_mapping(pybind11::module_& module);
void bind_witness_interpreter(pybind11::module_& module);
void bind_manager(pybind11::module_& module);
void bind_bxpr(pybind11::module_& module);
void bind_linsolver_rows(pybind11::module_& module);
void bind_pbct(pybind11::module_& module);
void bind_formula_encoder(pybind11::module_& module);
void bind_clauses_to_formula(pybind11::module_& module);
void bind_clause_template_reader(pybind11::module_& module);

}  // namespace kelvo::bindings
