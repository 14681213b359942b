// bxpr.clauses_to_formula and bxpr.clauses_to_formula_and_variables: the
// clauses of a pseudo-Boolean clause database as one formula, in one call,
// with the caller's variable numbers mapped to formulas of a context and
// every unknown number made a new named variable. The second call keeps the
// new variables in the engine (bx.NewVariables) and makes their Python
// objects only when asked, since a large comparison makes a hundred thousand;
// bx.NewVariableRegistry finds them again across the conversions of a model.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bxpr_handles.hpp"
#include "engine/bxpr/new_variable_index.hpp"
#include "engine/bxpr/numbered_clauses_formula.hpp"
#include "engine/pbct/vector_clause_database.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;
using bxpr::Ref;

namespace {

std::string type_name(py::handle value) { return py::str(py::type::of(value).attr("__name__")); }

// A host list of count items, item k made by item_at(k).
template <typename ItemAt>
py::list list_of(std::size_t count, const ItemAt& item_at) {
    py::list items(count);
    for (std::size_t k = 0; k < count; ++k) items[k] = item_at(k);
    return items;
}

// The variables that one conversion made for the numbers it did not know,
// in order of first occurrence: number k has the name prefix_(first + k).
class NewVariables {
public:
    NewVariables(std::shared_ptr<ContextState> state, std::string prefix, std::uint64_t first,
                 std::vector<Literal> numbers, std::vector<Ref> variables)
        : state_(std::move(state)),
          prefix_(std::move(prefix)),
          first_(first),
          variables_(std::move(variables)) {
        index_.add_block(prefix_, first_, numbers);
    }

    [[nodiscard]] std::size_t size() const { return variables_.size(); }
    [[nodiscard]] const std::shared_ptr<ContextState>& state() const { return state_; }
    [[nodiscard]] const std::string& prefix() const { return prefix_; }
    [[nodiscard]] std::uint64_t first() const { return first_; }
    [[nodiscard]] std::span<const Literal> numbers() const { return index_.numbers(); }
    [[nodiscard]] const NewVariableIndex& index() const { return index_; }
    // The block at a place of its own index: itself.
    [[nodiscard]] const NewVariables& block(const NewVariableIndex::Place&) const { return *this; }

    [[nodiscard]] std::string name(std::size_t position) const {
        return prefix_ + "_" + std::to_string(first_ + position);
    }
    [[nodiscard]] py::object variable(std::size_t position) const { return wrap(state_, variables_[position]); }
    [[nodiscard]] Ref variable_ref(std::size_t position) const { return variables_[position]; }

    [[nodiscard]] py::list number_list() const {
        return list_of(size(), [this](std::size_t k) { return py::int_(numbers()[k]); });
    }
    [[nodiscard]] py::list name_list() const {
        return list_of(size(), [this](std::size_t k) { return py::str(name(k)); });
    }
    [[nodiscard]] py::list variable_list() const {
        return list_of(size(), [this](std::size_t k) { return variable(k); });
    }

private:
    std::shared_ptr<ContextState> state_;
    std::string prefix_;
    std::uint64_t first_;
    std::vector<Ref> variables_;
    NewVariableIndex index_;  // of its one block, which holds the numbers
};

// A host value as a number to look up, if it is an integer at all.
std::optional<std::int64_t> number_of_host_value(py::handle value) {
    if (!PyLong_Check(value.ptr())) return std::nullopt;
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0) return std::nullopt;
    return static_cast<std::int64_t>(number);
}

std::optional<NewVariableIndex::Place> place_of_number(const NewVariableIndex& index, py::handle number) {
    const auto value = number_of_host_value(number);
    return value ? index.find_number(*value) : std::nullopt;
}

std::optional<NewVariableIndex::Place> place_of_name(const NewVariableIndex& index, py::handle name) {
    if (!PyUnicode_Check(name.ptr())) return std::nullopt;
    return index.find_name(name.cast<std::string>());
}

// The new variables of every conversion of a model, the blocks of
// bx.NewVariables kept alive and found by number or name at a cost that
// does not grow with the number of blocks.
class NewVariableRegistry {
public:
    // Adding the block added last again changes nothing, so that the maps
    // that share one registry may each add it.
    void add(const py::object& block_object) {
        const auto& block = block_object.cast<const NewVariables&>();
        if (!blocks_.empty() && blocks_.back() == &block) return;
        if (!blocks_.empty() && block.state() != blocks_.front()->state()) {
            throw py::value_error("NewVariableRegistry: the new variables belong to another context");
        }
        index_.add_block(block.prefix(), block.first(), block.numbers());
        owners_.push_back(block_object);
        blocks_.push_back(&block);
    }

    void clear() {
        index_.clear();
        blocks_.clear();
        owners_.clear();
    }

    [[nodiscard]] std::size_t size() const { return blocks_.size(); }
    [[nodiscard]] const NewVariableIndex& index() const { return index_; }
    [[nodiscard]] const NewVariables& block(const NewVariableIndex::Place& place) const {
        return *blocks_[place.block];
    }
    [[nodiscard]] const std::shared_ptr<ContextState>* state() const {
        return blocks_.empty() ? nullptr : &blocks_.front()->state();
    }

private:
    NewVariableIndex index_;
    std::vector<const NewVariables*> blocks_;
    std::vector<py::object> owners_;  // keep the blocks alive
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

// The caller's formulas by number: a dict from number to formula, and the
// new variables of earlier conversions. A dict smaller than the clauses is
// read once, into a table by number when its numbers are dense; a larger one
// is asked per number, so that the cost follows the clauses either way.
class KnownFormulas {
public:
    KnownFormulas(py::handle known, const NewVariableRegistry& registry, std::shared_ptr<ContextState> state,
                  std::size_t literal_count)
        : known_(known), registry_(registry), state_(std::move(state)) {
        if (!PyDict_Check(known.ptr())) {
            throw py::type_error("clauses_to_formula takes a dict from variable number to formula third, not " +
                                 type_name(known));
        }
        if (registry.state() != nullptr && *registry.state() != state_) {
            throw py::value_error("clauses_to_formula: known new variables belong to another context");
        }
        if (static_cast<std::size_t>(PyDict_Size(known.ptr())) <= literal_count) read_dict();
    }

    std::optional<Ref> operator()(Literal number) const {
        if (registry_.size() > 0) {
            if (const auto place = registry_.index().find_number(number)) {
                return registry_.block(*place).variable_ref(place->position);
            }
        }
        PyObject* const value = value_of(number);
        if (value == nullptr) return std::nullopt;
        return formula_of_context(value, state_, number);
    }

private:
    py::handle known_;
    const NewVariableRegistry& registry_;
    std::shared_ptr<ContextState> state_;
    bool read_ = false;
    // Borrowed from the dict, which outlives the call.
    std::vector<PyObject*> dense_values_;
    std::unordered_map<Literal, PyObject*> sparse_values_;

    [[nodiscard]] PyObject* value_of(Literal number) const {
        if (!read_) {
            const py::int_ key(number);
            PyObject* const value = PyDict_GetItemWithError(known_.ptr(), key.ptr());
            if (value == nullptr && PyErr_Occurred()) throw py::error_already_set();
            return value;
        }
        if (static_cast<std::size_t>(number) < dense_values_.size()) return dense_values_[number];
        // Most numbers are new ones beyond every key.
        if (sparse_values_.empty()) return nullptr;
        const auto found = sparse_values_.find(number);
        return found == sparse_values_.end() ? nullptr : found->second;
    }

    // Keys that are no integer of the literal range cannot be asked for.
    void read_dict() {
        const auto size = static_cast<std::size_t>(PyDict_Size(known_.ptr()));
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t position = 0;
        while (PyDict_Next(known_.ptr(), &position, &key, &value)) {
            if (!PyLong_Check(key)) continue;
            int overflow = 0;
            const long long number = PyLong_AsLongLongAndOverflow(key, &overflow);
            if (overflow != 0 || number <= 0 || number > std::numeric_limits<Literal>::max()) continue;
            if (static_cast<std::size_t>(number) <= 2 * size + 1024) {
                if (static_cast<std::size_t>(number) >= dense_values_.size()) {
                    dense_values_.resize(std::max<std::size_t>(2 * size + 1025, number + 1), nullptr);
                }
                dense_values_[static_cast<std::size_t>(number)] = value;
            } else {
                sparse_values_.emplace(static_cast<Literal>(number), value);
            }
        }
        read_ = true;
    }
};

struct Conversion {
    py::object formula;
    NewVariables new_variables;
};

Conversion convert(py::handle context, py::handle database, py::handle known, const NewVariableRegistry& registry,
                   py::handle prefix, py::handle first_index) {
    const auto& state = state_of_context(context);
    const auto& clauses = database_of(database).clauses();
    const KnownFormulas known_formulas(known, registry, state, clauses.literal_count());
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
    const Conversion conversion = convert(context, database, known, NewVariableRegistry(), prefix, first_index);
    const NewVariables& made = conversion.new_variables;
    return py::make_tuple(conversion.formula, made.number_list(), made.name_list(), made.variable_list());
}

// variable(number), name(number) and number(name) of a holder of blocks of
// new variables: its index() finds the place, its block(place) the block.
template <typename Holder>
void bind_lookups(py::class_<Holder>& holder) {
    holder
        .def(
            "variable",
            [](const Holder& self, py::handle number) -> py::object {
                const auto place = place_of_number(self.index(), number);
                return place ? self.block(*place).variable(place->position) : py::none();
            },
            py::arg("number"), R"doc(The variable made for a number.

Args:
    number: A variable number.

Returns:
    The bx.Variable, or None when none was made for it.
)doc")
        .def(
            "name",
            [](const Holder& self, py::handle number) -> py::object {
                const auto place = place_of_number(self.index(), number);
                return place ? py::object(py::str(self.block(*place).name(place->position))) : py::none();
            },
            py::arg("number"), R"doc(The name of the variable made for a number.

Args:
    number: A variable number.

Returns:
    The name, or None when no variable was made for it.
)doc")
        .def(
            "number",
            [](const Holder& self, py::handle name) -> py::object {
                const auto place = place_of_name(self.index(), name);
                return place ? py::object(py::int_(self.block(*place).numbers()[place->position])) : py::none();
            },
            py::arg("name"), R"doc(The number whose variable has a name.

Args:
    name: A variable name.

Returns:
    The number, or None when no variable has that name.
)doc");
}

}  // namespace

void bind_clauses_to_formula(py::module_& module) {
    py::module_ bxpr = module.attr("bxpr");
    py::class_<NewVariables> new_variables(bxpr, "NewVariables",
                                           "The variables one clause conversion made for the numbers it did not "
                                           "know, in order of first occurrence; their Python objects are made when "
                                           "asked for.");
    new_variables.def("__len__", &NewVariables::size)
        .def("numbers", &NewVariables::number_list, "The numbers, in order.")
        .def("names", &NewVariables::name_list, "The names of the variables, in order.")
        .def("variables", &NewVariables::variable_list, "The variables, in order.");
    bind_lookups(new_variables);

    py::class_<NewVariableRegistry> registry(bxpr, "NewVariableRegistry",
                                             "The bx.NewVariables of every conversion of a model, found by number or "
                                             "by name at a cost that does not grow with the number of conversions; "
                                             "where two blocks share a number or a name, the one added first is "
                                             "found.");
    registry.def(py::init<>())
        .def("add", &NewVariableRegistry::add, py::arg("new_variables"), R"doc(Add the new variables of a conversion.

Args:
    new_variables: The bx.NewVariables a conversion returned.
)doc")
        .def("clear", &NewVariableRegistry::clear, "Forget every block added.")
        .def("__len__", &NewVariableRegistry::size, "The number of blocks added.");
    bind_lookups(registry);

    bxpr.def("clauses_to_formula", &clauses_to_formula, py::arg("context"), py::arg("database"), py::arg("known"),
             py::arg("prefix"), py::arg("first_index"),
             R"doc(and_s of one or_s per clause of a pbct.VectorClauseDatabase, in one call.

Args:
    context: The bx.Context of the formula.
    database: The clauses.
    known: A dict from variable numbers to their formulas.
    prefix: Every number `known` lacks becomes the variable prefix_n.
    first_index: The first n; n counts in the order the numbers first occur.

Returns:
    (formula, new numbers, their names, their variables).

Raises:
    TypeError: An argument has the wrong type.
    ValueError: A formula belongs to another context.
)doc");
    bxpr.def(
        "clauses_to_formula_and_variables",
        [](py::handle context, py::handle database, py::handle known, const NewVariableRegistry& registry,
           py::handle prefix, py::handle first_index) {
            Conversion conversion = convert(context, database, known, registry, prefix, first_index);
            return py::make_tuple(conversion.formula, std::move(conversion.new_variables));
        },
        py::arg("context"), py::arg("database"), py::arg("known"), py::arg("known_new_variables"), py::arg("prefix"),
        py::arg("first_index"),
        R"doc(As clauses_to_formula, where the new variables of earlier conversions are known too.

Args:
    context: The bx.Context of the formula.
    database: The clauses.
    known: A dict from variable numbers to their formulas.
    known_new_variables: The bx.NewVariableRegistry of earlier conversions.
    prefix: Every number still unknown becomes the variable prefix_n.
    first_index: The first n; n counts in the order the numbers first occur.

Returns:
    (formula, bx.NewVariables).

Raises:
    TypeError: An argument has the wrong type.
    ValueError: A formula belongs to another context.
)doc");
}

}  // namespace kelvo::bindings
