// bxpr.clauses_to_formula and bxpr.clauses_to_formula_and_variables: the
// clauses of a pseudo-Boolean clause database as one formula, in one call,
// with the caller's variable numbers mapped to formulas of a context and
// every unknown number made a new named variable. The second call keeps the
// new variables in the engine (bx.NewVariables) and makes their Python
// objects only when asked, since a large comparison makes a hundred thousand.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bxpr_handles.hpp"
#include "engine/numbered_clauses_formula.hpp"
#include "engine/vector_clause_database.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;
using bxpr::Ref;

namespace {

std::string type_name(py::handle value) { return py::str(py::type::of(value).attr("__name__")); }

// The variables that one conversion made for the numbers it did not know,
// in order of first occurrence: number k has the name prefix_(first + k).
class NewVariables {
public:
    NewVariables(std::shared_ptr<ContextState> state, std::string prefix, std::uint64_t first,
                 std::vector<Literal> numbers, std::vector<Ref> variables)
        : state_(std::move(state)),
          prefix_(std::move(prefix)),
          first_(first),
          numbers_(std::move(numbers)),
          variables_(std::move(variables)) {}

    [[nodiscard]] std::size_t size() const { return numbers_.size(); }
    [[nodiscard]] const std::shared_ptr<ContextState>& state() const { return state_; }
    [[nodiscard]] const std::vector<Literal>& numbers() const { return numbers_; }

    [[nodiscard]] std::string name(std::size_t position) const {
        return prefix_ + "_" + std::to_string(first_ + position);
    }
    [[nodiscard]] py::object variable(std::size_t position) const { return wrap(state_, variables_[position]); }
    [[nodiscard]] Ref variable_ref(std::size_t position) const { return variables_[position]; }

    // The position of a host value, if it is a number this block made.
    [[nodiscard]] std::optional<std::size_t> position_of_number(py::handle value) const {
        if (!PyLong_Check(value.ptr())) return std::nullopt;
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        if (overflow != 0) return std::nullopt;
        return position_of_number(static_cast<std::int64_t>(number));
    }

    // The position of a number, if this block made it.
    [[nodiscard]] std::optional<std::size_t> position_of_number(std::int64_t number) const {
        if (!index_) index_ = build_index();
        const auto found = index_->find(number);
        if (found == index_->end()) return std::nullopt;
        return found->second;
    }

    // The position of a name, if it is one of this block's names.
    [[nodiscard]] std::optional<std::size_t> position_of_name(std::string_view name) const {
        if (name.size() <= prefix_.size() + 1 || !name.starts_with(prefix_) || name[prefix_.size()] != '_') {
            return std::nullopt;
        }
        const std::string_view digits = name.substr(prefix_.size() + 1);
        if (digits.size() > 1 && digits.front() == '0') return std::nullopt;
        std::uint64_t index = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
        if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
        if (index < first_ || index - first_ >= numbers_.size()) return std::nullopt;
        return index - first_;
    }

private:
    std::shared_ptr<ContextState> state_;
    std::string prefix_;
    std::uint64_t first_;
    std::vector<Literal> numbers_;
    std::vector<Ref> variables_;
    // Made on the first look-up by number: most blocks are never asked.
    mutable std::optional<std::unordered_map<std::int64_t, std::size_t>> index_;

    [[nodiscard]] std::unordered_map<std::int64_t, std::size_t> build_index() const {
        std::unordered_map<std::int64_t, std::size_t> index;
        index.reserve(numbers_.size());
        for (std::size_t k = 0; k < numbers_.size(); ++k) index.emplace(numbers_[k], k);
        return index;
    }
};

const std::shared_ptr<ContextState>& state_of_context(py::handle context) {
    if (!py::isinstance<ContextHandle>(context)) {
        throw py::type_error("clauses_to_formula takes a bx.Context first, not " + type_name(context));
    }
    return context.cast<const ContextHandle&>().state;
}

const VectorClauseDatabase& database_of(py::handle database) {
    if (!py::isinstance<VectorClauseDatabase>(database)) {
        throw py::type_error("clauses_to_formula takes a pbct.VectorClauseDatabase second, not " +
                             type_name(database));
    }
    return database.cast<const VectorClauseDatabase&>();
}

Ref formula_of_context(py::handle value, const std::shared_ptr<ContextState>& state, Literal number) {
    py::detail::make_caster<Formula> caster;
    if (!caster.load(value, false)) {
        throw py::type_error("clauses_to_formula: the known value of number " + std::to_string(number) +
                             " is no formula but " + type_name(value));
    }
    const Formula& formula = py::detail::cast_op<const Formula&>(caster);
    if (formula.state != state && !formula.ref.is_constant()) {
        throw py::value_error("clauses_to_formula: the known formula of number " + std::to_string(number) +
                              " belongs to another context");
    }
    return formula.ref;
}

// The caller's formulas by number: a dict from number to formula, and blocks
// of new variables of earlier conversions. A dict smaller than the clauses is
// read once; a larger one is asked per number, so that the cost follows the
// clauses either way.
class KnownFormulas {
public:
    KnownFormulas(py::handle known, std::vector<const NewVariables*> blocks, std::shared_ptr<ContextState> state,
                  std::size_t literal_count)
        : known_(known), blocks_(std::move(blocks)), state_(std::move(state)) {
        if (!PyDict_Check(known.ptr())) {
            throw py::type_error("clauses_to_formula takes a dict from variable number to formula third, not " +
                                 type_name(known));
        }
        for (const NewVariables* block : blocks_) {
            if (block->state() != state_) {
                throw py::value_error("clauses_to_formula: known new variables belong to another context");
            }
        }
        if (static_cast<std::size_t>(PyDict_Size(known.ptr())) <= literal_count) read_dict();
    }

    std::optional<Ref> operator()(Literal number) const {
        for (const NewVariables* block : blocks_) {
            if (const auto position = block->position_of_number(number)) return block->variable_ref(*position);
        }
        PyObject* value = nullptr;
        if (read_) {
            const auto found = values_.find(number);
            if (found != values_.end()) value = found->second;
        } else {
            const py::int_ key(number);
            value = PyDict_GetItemWithError(known_.ptr(), key.ptr());
            if (value == nullptr && PyErr_Occurred()) throw py::error_already_set();
        }
        if (value == nullptr) return std::nullopt;
        return formula_of_context(value, state_, number);
    }

private:
    py::handle known_;
    std::vector<const NewVariables*> blocks_;
    std::shared_ptr<ContextState> state_;
    bool read_ = false;
    std::unordered_map<Literal, PyObject*> values_;  // borrowed from the dict, which outlives the call

    // Keys that are no integer of the literal range cannot be asked for.
    void read_dict() {
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t position = 0;
        values_.reserve(static_cast<std::size_t>(PyDict_Size(known_.ptr())));
        while (PyDict_Next(known_.ptr(), &position, &key, &value)) {
            if (!PyLong_Check(key)) continue;
            int overflow = 0;
            const long long number = PyLong_AsLongLongAndOverflow(key, &overflow);
            if (overflow != 0 || number <= 0 || number > std::numeric_limits<Literal>::max()) continue;
            values_.emplace(static_cast<Literal>(number), value);
        }
        read_ = true;
    }
};

struct Conversion {
    py::object formula;
    NewVariables new_variables;
};

Conversion convert(py::handle context, py::handle database, py::handle known,
                   std::vector<const NewVariables*> known_blocks, py::handle prefix, py::handle first_index) {
    const auto& state = state_of_context(context);
    const auto& clauses = database_of(database).clauses();
    const KnownFormulas known_formulas(known, std::move(known_blocks), state, clauses.literal_count());
    if (!PyUnicode_Check(prefix.ptr())) {
        throw py::type_error("clauses_to_formula takes a text prefix fourth, not " + type_name(prefix));
    }
    const std::int64_t first = integer_from_python(first_index, "the first index of new names");
    if (first < 0) {
        throw py::value_error("the first index of new names must not be negative, got " + std::to_string(first));
    }
    const auto name_prefix = prefix.cast<std::string>();
    auto converted = bxpr::formula_of_numbered_clauses(
        state->core, clauses, [&known_formulas](Literal number) { return known_formulas(number); }, name_prefix,
        static_cast<std::uint64_t>(first));
    return {wrap(state, converted.formula),
            NewVariables(state, name_prefix, static_cast<std::uint64_t>(first), std::move(converted.new_numbers),
                         std::move(converted.new_variables))};
}

py::tuple clauses_to_formula(py::handle context, py::handle database, py::handle known, py::handle prefix,
                             py::handle first_index) {
    const Conversion conversion = convert(context, database, known, {}, prefix, first_index);
    const NewVariables& made = conversion.new_variables;
    py::list numbers(made.size());
    py::list names(made.size());
    py::list variables(made.size());
    for (std::size_t k = 0; k < made.size(); ++k) {
        numbers[k] = py::int_(made.numbers()[k]);
        names[k] = py::str(made.name(k));
        variables[k] = made.variable(k);
    }
    return py::make_tuple(conversion.formula, numbers, names, variables);
}

}  // namespace

void bind_clauses_to_formula(py::module_& module) {
    py::module_ bxpr = module.attr("bxpr");
    py::class_<NewVariables>(bxpr, "NewVariables",
                             "The variables one clause conversion made for the numbers it did not know, in order "
                             "of first occurrence; their Python objects are made when asked for.")
        .def("__len__", &NewVariables::size)
        .def("numbers", [](const NewVariables& self) { return self.numbers(); }, "The numbers, in order.")
        .def(
            "names",
            [](const NewVariables& self) {
                py::list names(self.size());
                for (std::size_t k = 0; k < self.size(); ++k) names[k] = py::str(self.name(k));
                return names;
            },
            "The names of the variables, in order.")
        .def(
            "variables",
            [](const NewVariables& self) {
                py::list variables(self.size());
                for (std::size_t k = 0; k < self.size(); ++k) variables[k] = self.variable(k);
                return variables;
            },
            "The variables, in order.")
        .def(
            "variable",
            [](const NewVariables& self, py::handle number) -> py::object {
                const auto position = self.position_of_number(number);
                return position ? self.variable(*position) : py::none();
            },
            py::arg("number"), "The variable made for the number, or None.")
        .def(
            "name",
            [](const NewVariables& self, py::handle number) -> py::object {
                const auto position = self.position_of_number(number);
                return position ? py::object(py::str(self.name(*position))) : py::none();
            },
            py::arg("number"), "The name of the variable made for the number, or None.")
        .def(
            "number",
            [](const NewVariables& self, py::handle name) -> py::object {
                if (!PyUnicode_Check(name.ptr())) return py::none();
                const auto position = self.position_of_name(name.cast<std::string>());
                return position ? py::object(py::int_(self.numbers()[*position])) : py::none();
            },
            py::arg("name"), "The number whose variable has that name, or None.");

    bxpr.def("clauses_to_formula", &clauses_to_formula, py::arg("context"), py::arg("database"), py::arg("known"),
             py::arg("prefix"), py::arg("first_index"),
             "and_s of one or_s per clause of a pbct.VectorClauseDatabase, in one call. A variable number that "
             "`known` maps gives that formula; every other number becomes the context's variable prefix_n, n "
             "counting from first_index in the order in which the numbers first occur. Returns (formula, new "
             "numbers, their names, their variables), the last three in that order.");
    bxpr.def(
        "clauses_to_formula_and_variables",
        [](py::handle context, py::handle database, py::handle known, const std::vector<const NewVariables*>& blocks,
           py::handle prefix, py::handle first_index) {
            Conversion conversion = convert(context, database, known, blocks, prefix, first_index);
            return py::make_tuple(conversion.formula, std::move(conversion.new_variables));
        },
        py::arg("context"), py::arg("database"), py::arg("known"), py::arg("known_new_variables"), py::arg("prefix"),
        py::arg("first_index"),
        "As clauses_to_formula, where the numbers of the bx.NewVariables of earlier conversions are known too; "
        "returns (formula, bx.NewVariables).");
}

}  // namespace kelvo::bindings
