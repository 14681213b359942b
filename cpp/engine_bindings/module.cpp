#include <pybind11/pybind11.h>

#include <system_error>

#include "engine/model_text/text_refusals.hpp"
#include "engine_bindings.hpp"

namespace py = pybind11;

PYBIND11_MODULE(_kelvo_engine, module) {
    module.doc() = "The engine: logger, clause storage, variable mapping, witness interpreter and manager";
    py::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error) std::rethrow_exception(error);
        } catch (const std::system_error& failure) {
            PyErr_SetString(PyExc_OSError, failure.what());
        } catch (const kelvo::model_text::OperandKindError& refusal) {
            PyErr_SetString(PyExc_TypeError, refusal.what());
        }
    });
    kelvo::bindings::bind_logger(module);
    kelvo::bindings::bind_storage(module);
    kelvo::bindings::bind_var_mapping(module);
    kelvo::bindings::bind_witness_interpreter(module);
    kelvo::bindings::bind_formula_encoder(module);
    kelvo::bindings::bind_manager(module);
    kelvo::bindings::bind_bxpr(module);
    kelvo::bindings::bind_linsolver_rows(module);
    kelvo::bindings::bind_model_files(module);
    kelvo::bindings::bind_pbct(module);
    kelvo::bindings::bind_clauses_to_formula(module);
    kelvo::bindings::bind_clause_template_reader(module);
    kelvo::bindings::bind_index_text(module);
}
