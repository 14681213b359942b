#pragma once
// The Python handles of bxpr: a context with the Python objects of its
// variables, and formulas as a context and a node reference. Shared by the
// bindings that hand formulas to Python.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "engine/bxpr/boolean_expression.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

// A context with the Python objects of its variables, held weakly, so that
// the same variable is the same object while anyone holds it.
struct ContextState {
    bxpr::Context core;
    std::unordered_map<std::uint32_t, py::weakref> variable_objects;
};

// Formulas built from constants alone (bx.one(), bx.and_([])) belong to no
// context; they join the context of whatever they are combined with.
inline const std::shared_ptr<ContextState>& floating_state() {
    static const auto state = std::make_shared<ContextState>();
    return state;
}

struct Formula {
    std::shared_ptr<ContextState> state;
    bxpr::Ref ref;
};
// One C++ type per Python class, so that isinstance tells the shape.
struct VariableFormula : Formula {};
struct NotFormula : Formula {};
struct AndFormula : Formula {};
struct OrFormula : Formula {};
struct XorFormula : Formula {};
struct IteFormula : Formula {};
struct OneFormula : Formula {};
struct ZeroFormula : Formula {};

struct ContextHandle {
    std::shared_ptr<ContextState> state = std::make_shared<ContextState>();
};

inline py::object variable_object(const std::shared_ptr<ContextState>& state, bxpr::Ref variable) {
    auto& cached = state->variable_objects[variable.node()];
    if (cached) {
        py::object alive = cached();
        if (!alive.is_none()) return alive;
    }
    py::object created = py::cast(VariableFormula{{state, variable}});
    cached = py::weakref(created);
    return created;
}

inline py::object wrap(const std::shared_ptr<ContextState>& state, bxpr::Ref ref) {
    if (ref == bxpr::Ref::one()) return py::cast(OneFormula{{floating_state(), ref}});
    if (ref == bxpr::Ref::zero()) return py::cast(ZeroFormula{{floating_state(), ref}});
    if (ref.negated()) return py::cast(NotFormula{{state, ref}});
    switch (state->core.kind(ref)) {
        case bxpr::Kind::Variable: return variable_object(state, ref);
        case bxpr::Kind::And:
        case bxpr::Kind::Clauses: return py::cast(AndFormula{{state, ref}});
        case bxpr::Kind::Or: return py::cast(OrFormula{{state, ref}});
        case bxpr::Kind::Xor: return py::cast(XorFormula{{state, ref}});
        default: return py::cast(IteFormula{{state, ref}});
    }
}

}  // namespace kelvo::bindings
