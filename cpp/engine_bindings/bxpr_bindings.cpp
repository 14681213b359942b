// halvex.kelvo_engine.bxpr: Boolean formulas. Python objects are light handles
// (a context and a node reference) made only when asked for, so a formula of
// millions of clauses is not millions of Python objects.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/bxpr/boolean_builders.hpp"
#include "engine/bxpr/boolean_expression.hpp"
#include "engine/bxpr/boolean_queries.hpp"
#include "engine/bxpr/boolean_text.hpp"
#include "engine/bxpr/tseytin.hpp"
#include "bxpr_handles.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;
using bxpr::Kind;
using bxpr::Ref;

namespace {

std::string describe(py::handle value) {
    return std::string(py::str(py::type::of(value).attr("__name__"))) + " " + std::string(py::repr(value));
}

// Formulas of one context, as references of that context.
struct Operands {
    std::shared_ptr<ContextState> state;
    std::vector<Ref> refs;
};

// position(i) names operand i in messages ("item 2", "argument 1").
Operands operands_of(const std::vector<py::handle>& items, const std::string& function,
                     const std::function<std::string(std::size_t)>& position) {
    std::vector<const Formula*> formulas;
    formulas.reserve(items.size());
    const std::shared_ptr<ContextState>* target = nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
        py::detail::make_caster<Formula> caster;
        if (!caster.load(items[i], false)) {
            throw py::type_error(function + " takes formulas (bx.BaseExpr), but " + position(i) + " is " +
                                 describe(items[i]));
        }
        const Formula& formula = py::detail::cast_op<const Formula&>(caster);
        formulas.push_back(&formula);
        if (formula.state == floating_state()) continue;
        if (target == nullptr) target = &formula.state;
        else if (formula.state != *target) {
            throw py::value_error(function + ": " + position(i) +
                                  " belongs to another context than the formulas before it");
        }
    }
    Operands operands{target != nullptr ? *target : floating_state(), {}};
    operands.refs.reserve(formulas.size());
    for (const Formula* formula : formulas) {
        const bool adopted = formula->state != operands.state && !formula->ref.is_constant();
        operands.refs.push_back(adopted ? operands.state->core.import_formula(formula->state->core, formula->ref)
                                        : formula->ref);
    }
    return operands;
}

Operands operands_of_list(py::handle formulas, const std::string& function) {
    py::detail::make_caster<Formula> formula_caster;
    if (PyUnicode_Check(formulas.ptr()) || formula_caster.load(formulas, false) ||
        !py::isinstance<py::iterable>(formulas)) {
        throw py::type_error(function + " takes one list of formulas, not " + describe(formulas));
    }
    const py::list items = PyList_Check(formulas.ptr()) ? py::reinterpret_borrow<py::list>(formulas)
                                                          : py::list(py::reinterpret_borrow<py::iterable>(formulas));
    std::vector<py::handle> handles(items.size());
    for (std::size_t i = 0; i < handles.size(); ++i) handles[i] = items[i];
    return operands_of(handles, function, [](std::size_t i) { return "item " + std::to_string(i); });
}

Operands operands_of_arguments(std::vector<py::handle> arguments, const std::string& function) {
    return operands_of(arguments, function, [](std::size_t i) { return "argument " + std::to_string(i + 1); });
}

using ListBuilder = Ref (*)(bxpr::Context&, std::span<const Ref>);

py::object build_from_list(py::handle formulas, const char* function, ListBuilder builder) {
    const Operands operands = operands_of_list(formulas, function);
    return wrap(operands.state, builder(operands.state->core, operands.refs));
}

py::object tseytin_of(const Formula& self, py::handle context, py::handle prefix) {
    if (!py::isinstance<ContextHandle>(context)) {
        throw py::type_error("tseytin takes a bx.Context as its first argument, not " + describe(context));
    }
    if (!PyUnicode_Check(prefix.ptr())) throw py::type_error("tseytin takes a text prefix, not " + describe(prefix));
    const auto& state = context.cast<const ContextHandle&>().state;
    Ref root = self.ref;
    if (self.state == floating_state()) {
        root = state->core.import_formula(self.state->core, self.ref);
    } else if (self.state != state) {
        throw py::value_error("tseytin: the formula belongs to another context than the one given");
    }
    return wrap(state, bxpr::tseytin(state->core, root, prefix.cast<std::string>()));
}

// A clause block's operands are its clauses, each made a disjunction (or
// left a literal) when asked for.
py::list clauses_of_block(const Formula& self) {
    auto& context = self.state->core;
    const auto ends = context.clause_ends(self.ref);
    py::list clauses(ends.size());
    // The block owns its literals, so making a disjunction leaves them in place.
    for (std::size_t c = 0; c < ends.size(); ++c) {
        const auto clause = context.block_clause(self.ref, ends, c);
        clauses[c] = wrap(self.state, clause.size() == 1 ? clause.front() : context.make_node(Kind::Or, clause));
    }
    return clauses;
}

py::list args_of(const Formula& self) {
    if (self.ref.is_constant()) return py::list();
    if (self.ref.negated()) {
        py::list operand;
        operand.append(wrap(self.state, ~self.ref));
        return operand;
    }
    auto& context = self.state->core;
    if (context.kind(self.ref) == Kind::Clauses) return clauses_of_block(self);
    const auto args = context.args(self.ref);
    py::list items(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) items[i] = wrap(self.state, args[i]);
    return items;
}

py::set support_of(const Formula& self) {
    py::set variables;
    for (const Ref variable : bxpr::support(self.state->core, self.ref)) variables.add(wrap(self.state, variable));
    return variables;
}

// An empty list reaches NumPy as floats; it is an empty array of integers all the same.
py::array_t<std::int64_t, py::array::c_style> integers_of(py::handle values, const char* what) {
    const py::array array = py::module_::import("numpy").attr("asarray")(values);
    if (array.size() == 0 && array.ndim() == 1) return py::array_t<std::int64_t, py::array::c_style>(0);
    return integer_array_from_python(array, what);
}

py::object from_clauses(py::handle literals, py::handle offsets, py::handle variables) {
    const auto literal_values = integers_of(literals, "literals");
    const auto offset_values = integers_of(offsets, "offsets");
    const Operands operands = operands_of_list(variables, "from_clauses");
    const auto& state = operands.state;
    const Ref result = bxpr::and_of_clauses(
        state->core, {literal_values.data(), static_cast<std::size_t>(literal_values.size())},
        {offset_values.data(), static_cast<std::size_t>(offset_values.size())}, operands.refs);
    return wrap(state, result);
}

template <typename Shape>
void bind_shape(py::module_& module, const char* name, const char* doc) {
    py::class_<Shape, Formula>(module, name, doc);
}

constexpr std::string_view list_arguments_doc = R"doc(
Args:
    formulas: A list of formulas of one context.
)doc";

// The docstring of a builder: its summary, its arguments and what every builder
// returns and raises (pybind11 copies it).
std::string builder_doc(std::string_view summary, std::string_view arguments) {
    constexpr std::string_view result = R"doc(
Returns:
    The formula.

Raises:
    TypeError: An argument is not a formula.
    ValueError: The formulas belong to two contexts.
)doc";
    std::string doc(summary);
    doc.append("\n").append(arguments).append(result);
    return doc;
}

std::string list_builder_doc(std::string_view summary) { return builder_doc(summary, list_arguments_doc); }

}  // namespace

void bind_bxpr(py::module_& parent) {
    auto module = parent.def_submodule(
        "bxpr", "Boolean formulas with structural sharing, simplifying builders and Tseytin conversion");

    py::class_<ContextHandle>(module, "Context", "Owns formulas and their variables.")
        .def(py::init<>())
        .def(
            "get_var",
            [](const ContextHandle& self, py::handle name) {
                if (!PyUnicode_Check(name.ptr())) {
                    throw py::type_error("a variable name must be text, not " + describe(name));
                }
                const auto text = name.cast<std::string>();
                if (text.empty()) throw py::value_error("a variable name must not be empty");
                return wrap(self.state, self.state->core.get_var(text));
            },
            py::arg("name"), R"doc(The variable of that name in this context, the same object for the same name.

Args:
    name: The variable's name, non-empty text.

Returns:
    The Variable.

Raises:
    TypeError: The name is not text.
    ValueError: The name is empty.
)doc")
        .def(
            "fresh_variable_count",
            [](const ContextHandle& self, const std::string& prefix) { return self.state->core.fresh_count(prefix); },
            py::arg("prefix"), R"doc(How many new variables the context has named with the prefix (prefix_0, prefix_1, ...).

After a tseytin conversion in a fresh context: the number of its new variables.

Args:
    prefix: The prefix given to tseytin.
)doc");

    py::class_<Formula>(module, "BaseExpr", "A formula: immutable, shared by structure within its context.")
        .def("__invert__", [](const Formula& self) { return wrap(self.state, ~self.ref); })
        .def("get_args", &args_of, R"doc(The operands, in order (none for a variable or a constant).

Returns:
    A tuple of formulas.
)doc")
        .def("support", &support_of, R"doc(The variables of the formula.

Returns:
    A set of Variable.
)doc")
        .def("tseytin", &tseytin_of, py::arg("context"), py::arg("prefix"),
             R"doc(The polarity-aware definitional conversion into clause form.

Projection-equivalent: a formula already in clause form gets no new variable.

Args:
    context: The context of the new variables; a reused one continues after
        the names it holds.
    prefix: The new variables are prefix_0, prefix_1, ...

Returns:
    An And of Or clauses (or a constant) over the formula's variables and the
    new ones.
)doc")
        .def("__str__", [](const Formula& self) { return bxpr::to_text(self.state->core, self.ref); })
        .def("__repr__",
             [](const Formula& self) {
                 constexpr std::size_t shown = 1000;
                 auto text = bxpr::to_text(self.state->core, self.ref, shown + 1);
                 if (text.size() > shown) text.replace(shown, std::string::npos, "...");
                 return text;
             })
        .def("__eq__",
             [](const Formula& self, py::handle other) {
                 py::detail::make_caster<Formula> caster;
                 if (!caster.load(other, false)) return false;
                 const Formula& formula = py::detail::cast_op<const Formula&>(caster);
                 return formula.state == self.state && formula.ref == self.ref;
             })
        .def("__hash__", [](const Formula& self) {
            return std::hash<const void*>{}(self.state.get()) ^ (std::hash<std::uint32_t>{}(self.ref.bits()) * 31U);
        });

    py::class_<VariableFormula, Formula>(module, "Variable", "A variable of a context.")
        .def_property_readonly("name", [](const Formula& self) { return self.state->core.name(self.ref); },
                               "The variable's name.");
    bind_shape<NotFormula>(module, "Not", "The negation of a formula; ~x of a variable x is a negated literal.");
    bind_shape<AndFormula>(module, "And", "A conjunction.");
    bind_shape<OrFormula>(module, "Or", "A disjunction.");
    bind_shape<XorFormula>(module, "Xor", "An exclusive disjunction (odd parity).");
    bind_shape<IteFormula>(module, "Ite", "If-then-else: get_args() gives condition, then, else.");
    bind_shape<OneFormula>(module, "One", "The constant true.");
    bind_shape<ZeroFormula>(module, "Zero", "The constant false.");

    module.def("one", [] { return wrap(floating_state(), Ref::one()); },
               "The constant true; it joins the context of whatever it is combined with.");
    module.def("zero", [] { return wrap(floating_state(), Ref::zero()); },
               "The constant false; it joins the context of whatever it is combined with.");
    module.def(
        "and_s", [](py::handle formulas) { return build_from_list(formulas, "and_s", &bxpr::and_s); },
        py::arg("formulas"),
        list_builder_doc("Simplified conjunction of one list of formulas.").c_str());
    module.def(
        "or_s", [](py::handle formulas) { return build_from_list(formulas, "or_s", &bxpr::or_s); },
        py::arg("formulas"),
        list_builder_doc("Simplified disjunction of one list of formulas.").c_str());
    module.def(
        "xor_s", [](py::handle formulas) { return build_from_list(formulas, "xor_s", &bxpr::xor_s); },
        py::arg("formulas"),
        list_builder_doc("Simplified exclusive disjunction of one list of formulas.").c_str());
    module.def(
        "eq_s", [](py::handle formulas) { return build_from_list(formulas, "eq_s", &bxpr::eq_s); },
        py::arg("formulas"),
        list_builder_doc("True when all formulas of the list are equal, simplified.").c_str());
    module.def(
        "and_", [](py::handle formulas) { return build_from_list(formulas, "and_", &bxpr::and_exact); },
        py::arg("formulas"),
        list_builder_doc("Conjunction keeping its arguments exactly, in order and count.").c_str());
    module.def(
        "impl_s",
        [](py::handle premise, py::handle conclusion) {
            const Operands operands = operands_of_arguments({premise, conclusion}, "impl_s");
            return wrap(operands.state, bxpr::impl_s(operands.state->core, operands.refs[0], operands.refs[1]));
        },
        py::arg("a"), py::arg("b"), builder_doc("Simplified implication a -> b.", R"doc(
Args:
    a: The premise.
    b: The conclusion.
)doc").c_str());
    module.def(
        "ite_s",
        [](py::handle condition, py::handle then_branch, py::handle else_branch) {
            const Operands operands = operands_of_arguments({condition, then_branch, else_branch}, "ite_s");
            const auto& refs = operands.refs;
            return wrap(operands.state, bxpr::ite_s(operands.state->core, refs[0], refs[1], refs[2]));
        },
        py::arg("a"), py::arg("b"), py::arg("c"), builder_doc("Simplified if a then b else c.", R"doc(
Args:
    a: The condition.
    b: The formula where a holds.
    c: The formula where a does not hold.
)doc").c_str());
    module.def("from_clauses", &from_clauses, py::arg("literals"), py::arg("offsets"), py::arg("variables"),
               R"doc(and_s of one or_s per clause of a flat clause buffer, in one call.

Args:
    literals: All literals, an integer array.
    offsets: Clause boundaries: clause c is literals[offsets[c]:offsets[c + 1]].
    variables: The formulas of the numbers: literal n > 0 is variables[n - 1],
        -n its negation.

Returns:
    The formula.

Raises:
    TypeError: An argument has the wrong type.
    ValueError: Offsets are malformed or a literal has no variable.
)doc");
}

}  // namespace kelvo::bindings
