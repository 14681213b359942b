#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/model_text/clause_template_cache.hpp"
#include "engine/model_text/constraint_template.hpp"
#include "engine/pbct/pb_config.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

namespace {

// Cells are numbered here only to be named again: the model's own numbers
// play no part.
std::vector<model_text::ModelVariable> variables_from_python(py::handle variables) {
    std::vector<model_text::ModelVariable> result;
    std::int64_t next = 1;
    for (const auto item : variables) {
        const auto pair = py::reinterpret_borrow<py::tuple>(item);
        model_text::ModelVariable variable{pair[0].cast<std::string>(), integers_from_python(pair[1], "a size"), {}, next};
        variable.strides.assign(variable.sizes.size(), 1);
        std::int64_t cells = 1;  // a variable without dimensions is one cell
        for (std::size_t d = variable.sizes.size(); d-- > 0;) {
            if (variable.sizes[d] <= 0) throw py::value_error("variable " + variable.name + " has an empty dimension");
            variable.strides[d] = cells;
            if (__builtin_mul_overflow(cells, variable.sizes[d], &cells)) {
                throw py::value_error("the variables have more cells than 64 bits count");
            }
        }
        if (__builtin_add_overflow(next, cells, &next)) throw py::value_error("the variables have more cells than 64 bits count");
        result.push_back(std::move(variable));
    }
    return result;
}

template <typename T>
py::array_t<T> array_of(const std::vector<T>& values) {
    return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

py::object read_clause_template_for_python(py::handle text, const std::vector<std::string>& index_names,
                                           py::handle variables, const PBConfig& config,
                                           ClauseTemplateCache* cache) {
    if (!PyUnicode_Check(text.ptr())) throw py::type_error("the constraint must be text");
    const auto model_variables = variables_from_python(variables);
    const std::string constraint = text.cast<std::string>();
    std::optional<NamedClauseTemplate> read;
    {
        py::gil_scoped_release released;
        read = cache != nullptr ? cache->read(constraint, index_names, model_variables, config)
                                : read_clause_template(constraint, index_names, model_variables, config);
    }
    if (!read) return py::none();
    return py::make_tuple(py::cast(read->names), array_of(read->literals), array_of(read->ends), read->pbct,
                          read->bxpr, read->never_holds);
}

}  // namespace

void bind_clause_template_reader(py::module_& module) {
    py::class_<ClauseTemplateCache>(module, "clause_template_cache",
                                    "The clause templates of the texts read so far, by shape: texts that differ "
                                    "only in their constant cells are read once.")
        .def(py::init<>())
        .def("__len__", &ClauseTemplateCache::size);
    module.def("read_clause_template", &read_clause_template_for_python, py::arg("text"), py::arg("index_names"),
               py::arg("variables"), py::arg("pb_config"), py::arg("cache") = nullptr,
               R"doc(Read a hard constraint's text natively into its clause template, the index names symbolic.

Args:
    text: The constraint's expression text.
    index_names: The names of its foralls indexes.
    variables: (name, sizes) pairs of the model's variables.
    pb_config: The pbct.PBConfig of the encoder.
    cache: A clause_template_cache to read through, or None.

Returns:
    (names, literals, ends, pbct_count, bxpr_count, never_holds): literal
    +-(1 + position in names), ends the end of each clause; None when the host
    must read the text.
)doc");
}

}  // namespace kelvo::bindings
