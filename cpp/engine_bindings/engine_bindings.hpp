#pragma once
// Each part of the engine's Python interface binds itself into a module.

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>

namespace kelvo::bindings {

// An engine object that may not exist yet, returned as such: the binding's
// signature (and so its stub) says the caller may get None.
template <typename Object>
std::optional<std::shared_ptr<Object>> held_or_none(std::shared_ptr<Object> object) {
    if (!object) return std::nullopt;
    return object;
}

template <typename Object>
std::shared_ptr<Object> held_or_null(std::optional<std::shared_ptr<Object>> object) {
    return object.value_or(nullptr);
}

void bind_logger(pybind11::module_& module);
void bind_storage(pybind11::module_& module);
void bind_var_mapping(pybind11::module_& module);
void bind_witness_interpreter(pybind11::module_& module);
void bind_manager(pybind11::module_& module);
void bind_bxpr(pybind11::module_& module);
void bind_linsolver_rows(pybind11::module_& module);
void bind_model_files(pybind11::module_& module);
void bind_pbct(pybind11::module_& module);
void bind_formula_encoder(pybind11::module_& module);
void bind_clauses_to_formula(pybind11::module_& module);
void bind_clause_template_reader(pybind11::module_& module);
void bind_index_text(pybind11::module_& module);

}  // namespace kelvo::bindings
