#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "kernels/linear_text/element_layout.hpp"
#include "kernels/linear_text/linear_text_evaluation.hpp"
#include "kernels/linear_text/linear_text_syntax.hpp"
#include "kernels/linear_text/sparse_row_accumulator.hpp"
#include "row_arrays.hpp"
#include "vx_bindings.hpp"

namespace vx::bindings {

namespace py = pybind11;

namespace {

template <class T>
using InputArray = py::array_t<T, py::array::c_style | py::array::forcecast>;

template <class T>
std::span<const T> view(const InputArray<T>& array) {
    if (array.ndim() != 1) throw py::value_error("expected a one-dimensional array");
    return {array.data(), static_cast<std::size_t>(array.size())};
}

template <class T>
py::array_t<T> to_array(const std::vector<T>& values) {
    return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

py::tuple to_arrays(const CompressedMatrix& matrix) {
    return py::make_tuple(to_array(matrix.starts), to_array(matrix.indices), to_array(matrix.values));
}

// A host integer (or anything with __index__) as a 64-bit value; nothing for
// other values and for integers beyond 64 bits.
std::optional<std::int64_t> index_value(py::handle item) {
    if (!PyIndex_Check(item.ptr())) return std::nullopt;
    const auto as_integer = py::reinterpret_steal<py::object>(PyNumber_Index(item.ptr()));
    if (!as_integer) throw py::error_already_set();
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(as_integer.ptr(), &overflow);
    if (overflow != 0) return std::nullopt;
    if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
    return value;
}

// The coefficients of one element, or None when the index values name no
// element (the caller then says why).
py::object element_terms(const ElementLayout& layout, const py::tuple& items) {
    std::vector<std::int64_t> values;
    values.reserve(items.size());
    for (const auto item : items) {
        const auto value = index_value(item);
        if (!value) return py::none();
        values.push_back(*value);
    }
    const auto column = layout.column_of(values);
    if (!column) return py::none();
    return py::cast(SparseRowAccumulator::single_column(*column));
}

// The names a text may use: variables (name to ElementLayout) and sequences
// (name to a one-dimensional int64 or float64 array).
LinearTextNames text_names(const py::dict& variables, const py::dict& sequences) {
    LinearTextNames names;
    for (const auto& [name, layout] : variables) {
        names.variables.emplace(py::cast<std::string>(name), &py::cast<const ElementLayout&>(layout));
    }
    for (const auto& [name, values] : sequences) {
        const auto array = py::cast<py::array>(values);
        std::vector<TextNumber> numbers;
        if (array.dtype().kind() == 'f') {
            for (const auto value : view(py::cast<InputArray<double>>(array))) numbers.push_back({false, 0, value});
        } else {
            for (const auto value : view(py::cast<InputArray<std::int64_t>>(array))) numbers.push_back({true, value, 0.0});
        }
        names.sequences.emplace(py::cast<std::string>(name), std::move(numbers));
    }
    return names;
}

py::object to_python(const TextNumber& number) {
    if (number.integral) return py::int_(number.integer);
    return py::float_(number.real);
}

// What evaluate makes of the text, or nothing when the host must evaluate it.
template <class Evaluate>
auto natively(std::string_view text, const py::dict& variables, const py::dict& sequences, Evaluate evaluate)
    -> std::optional<decltype(evaluate(LinearSyntaxTree(text), LinearTextNames{}))> {
    const auto names = text_names(variables, sequences);
    // The names point into the layouts: held here, another thread's change
    // of the dict cannot free one while the text is read unlocked.
    const py::list held_layouts(variables.attr("values")());
    try {
        py::gil_scoped_release unlocked;
        return evaluate(LinearSyntaxTree(text), names);
    } catch (const OutsideNativeText&) {
        return std::nullopt;
    }
}

// (constants, starts, indices, values) of the rows of a constraint text, or
// None when the host must evaluate the text.
py::object read_rows(std::string_view text, const py::dict& variables, const py::dict& sequences) {
    auto rows = natively(text, variables, sequences, evaluate_linear_rows);
    if (!rows) return py::none();
    return frozen_row_arrays(std::move(*rows));
}

// (constant, terms, integral) of an expression text, or None when the host
// must evaluate the text.
py::object read_expression(std::string_view text, const py::dict& variables, const py::dict& sequences) {
    auto expression = natively(text, variables, sequences, evaluate_linear_expression);
    if (!expression) return py::none();
    return py::make_tuple(to_python(expression->constant), py::cast(std::move(expression->terms)),
                          py::bool_(expression->integral));
}

}  // namespace

void bind_linear_text_kernels(py::module_& module) {
    py::class_<ElementLayout>(module, "ElementLayout", "The solver columns of the elements of a linear variable")
        .def(py::init<std::int64_t, std::vector<std::int64_t>>(), py::arg("first_column"), py::arg("sizes"))
        .def("element_terms", &element_terms, py::arg("items"),
             "The coefficient 1 at the element's column, or None for index values that name no element")
        .def_property_readonly("rank", &ElementLayout::rank)
        .def_property_readonly("strides", [](const ElementLayout& layout) {
            const auto strides = layout.strides();
            return std::vector<std::int64_t>(strides.begin(), strides.end());
        });

    module.def("read_linear_rows", &read_rows, py::arg("text"), py::arg("variables"), py::arg("sequences"),
               "(constants, starts, indices, values) of the rows of a constraint text, merged by row; "
               "None for text the host must evaluate");
    module.def("read_linear_expression", &read_expression, py::arg("text"), py::arg("variables"),
               py::arg("sequences"),
               "(constant, terms, integral) of an expression text; None for text the host must evaluate");

    py::class_<SparseRowAccumulator>(module, "SparseRowAccumulator",
                                     "Unmerged coefficients of a compiled linear or quadratic expression")
        .def(py::init<>())
        .def_static("single_column", &SparseRowAccumulator::single_column, py::arg("column"))
        .def_static(
            "from_terms",
            [](const InputArray<std::int64_t>& columns, const InputArray<double>& coefficients, std::int64_t length) {
                return SparseRowAccumulator::from_terms(view(columns), view(coefficients), length);
            },
            py::arg("columns"), py::arg("coefficients"), py::arg("length"))
        .def_static(
            "sum",
            [](const std::vector<const SparseRowAccumulator*>& parts) { return SparseRowAccumulator::sum(parts); },
            py::arg("parts"))
        .def(
            "with_quadratic_part",
            [](const SparseRowAccumulator& self, const InputArray<std::int64_t>& rows,
               const InputArray<std::int64_t>& columns, const InputArray<double>& values, std::int64_t size) {
                return self.with_quadratic_part(view(rows), view(columns), view(values), size);
            },
            py::arg("rows"), py::arg("columns"), py::arg("values"), py::arg("size"))
        .def("plus", &SparseRowAccumulator::plus, py::arg("other"), py::arg("sign"))
        .def("scaled", &SparseRowAccumulator::scaled, py::arg("factor"))
        .def("times", &SparseRowAccumulator::times, py::arg("other"), py::arg("own_constant"),
             py::arg("other_constant"))
        .def_property_readonly("length", &SparseRowAccumulator::length)
        .def_property_readonly("has_quadratic_part", &SparseRowAccumulator::has_quadratic_part)
        .def_property_readonly("quadratic_size", &SparseRowAccumulator::quadratic_size)
        .def(
            "merged_linear_part",
            [](const SparseRowAccumulator& self) {
                const auto merged = self.merged_linear_part();
                return py::make_tuple(to_array(merged.indices), to_array(merged.values));
            },
            "(columns, coefficients): ascending distinct columns, zero sums left out")
        .def(
            "merged_quadratic_part",
            [](const SparseRowAccumulator& self) {
                const auto merged = self.merged_quadratic_part();
                return py::make_tuple(to_array(merged.rows), to_array(merged.columns), to_array(merged.values));
            },
            "(rows, columns, values) of the quadratic part, duplicates summed")
        .def(
            "quadratic_part_by_column",
            [](const SparseRowAccumulator& self, double factor, std::int64_t dimension) {
                return to_arrays(self.quadratic_part_by_column(factor, dimension));
            },
            py::arg("factor"), py::arg("dimension"),
            "(starts, indices, values) of factor times the quadratic part, compressed by column")
        .def_static(
            "rows_by_row",
            [](const std::vector<const SparseRowAccumulator*>& rows) {
                return to_arrays(SparseRowAccumulator::rows_by_row(rows));
            },
            py::arg("rows"), "(starts, indices, values) of the merged linear parts, compressed by row");
}

}  // namespace vx::bindings
