// The row half of halvex.kelvo_engine.linsolver.LinearSolver: rows are
// converted and checked here, one call each, and taken by the Python layer as
// one block for HiGHS.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "engine/linsolver/row_block.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

namespace {

using SharedRowBlock = std::shared_ptr<RowBlock>;

// A one-dimensional array of numbers, read in place when it is a contiguous
// NumPy array of a native integer, bool, float or double type, otherwise
// through one NumPy conversion.
class NumberArrayView {
public:
    NumberArrayView(py::handle object, const char* what) : what_(what) {
        if (view_in_place(object)) return;
        converted_ = numpy_array_of_numbers(object);
        if (!view_in_place(converted_)) throw py::type_error(std::string(what_) + " must be an array of numbers");
    }

    [[nodiscard]] std::size_t size() const { return size_; }

    [[nodiscard]] IndexSpan indices() const {
        switch (kind_) {
            case 'i': return signed_span<IndexSpan>();
            case 'u': return unsigned_span<IndexSpan>();
            default:
                if (size_ == 0) return std::span<const std::int64_t>();
                throw py::type_error(std::string(what_) + " must be integers, not " +
                                     (kind_ == 'b' ? "bool" : "floating-point values"));
        }
    }

    [[nodiscard]] ValueSpan values() const {
        switch (kind_) {
            case 'i': return signed_span<ValueSpan>();
            case 'u':
            case 'b': return unsigned_span<ValueSpan>();
            default:
                if (itemsize_ == 4) return span_of<float, ValueSpan>();
                return span_of<double, ValueSpan>();
        }
    }

private:
    bool view_in_place(py::handle object) {
        if (!py::isinstance<py::array>(object)) return false;
        const auto array = py::reinterpret_borrow<py::array>(object);
        if (array.ndim() != 1) throw py::value_error(std::string(what_) + " must be one-dimensional");
        if (!(array.flags() & py::array::c_style)) return false;
        const auto dtype = array.dtype();
        if (dtype.byteorder() == '>') return false;
        kind_ = dtype.kind();
        itemsize_ = static_cast<std::size_t>(dtype.itemsize());
        const bool readable = ((kind_ == 'i' || kind_ == 'u') && itemsize_ <= 8) || (kind_ == 'b' && itemsize_ == 1) ||
                              (kind_ == 'f' && (itemsize_ == 4 || itemsize_ == 8));
        if (!readable) return false;
        data_ = array.data();
        size_ = static_cast<std::size_t>(array.shape(0));
        return true;
    }

    [[nodiscard]] py::object numpy_array_of_numbers(py::handle object) const {
        const auto numpy = py::module_::import("numpy");
        py::object array = numpy.attr("asarray")(object);
        const auto dtype = array.attr("dtype");
        const std::string kind = py::str(dtype.attr("kind"));
        if (kind == "f") return numpy.attr("ascontiguousarray")(array, "float64");
        if (kind == "i" || kind == "u" || kind == "b") {
            return numpy.attr("ascontiguousarray")(array, dtype.attr("newbyteorder")("="));
        }
        if (py::len(array) == 0) return numpy.attr("zeros")(0);
        throw py::type_error(std::string(what_) + " must hold numbers, not " + std::string(py::str(dtype)));
    }

    template <class Element, class Span>
    [[nodiscard]] Span span_of() const {
        return std::span<const Element>(static_cast<const Element*>(data_), size_);
    }

    template <class Span>
    [[nodiscard]] Span signed_span() const {
        switch (itemsize_) {
            case 1: return span_of<std::int8_t, Span>();
            case 2: return span_of<std::int16_t, Span>();
            case 4: return span_of<std::int32_t, Span>();
            default: return span_of<std::int64_t, Span>();
        }
    }

    template <class Span>
    [[nodiscard]] Span unsigned_span() const {
        switch (itemsize_) {
            case 1: return span_of<std::uint8_t, Span>();
            case 2: return span_of<std::uint16_t, Span>();
            case 4: return span_of<std::uint32_t, Span>();
            default: return span_of<std::uint64_t, Span>();
        }
    }

    const char* what_;
    py::object converted_;
    const void* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t itemsize_ = 0;
    char kind_ = 0;
};

double bound_from_python(py::handle value, const char* what) {
    if (PyFloat_Check(value.ptr())) return PyFloat_AS_DOUBLE(value.ptr());
    if (PyBool_Check(value.ptr()) || PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr())) {
        throw py::type_error(std::string(what) + " must be a number, not " +
                             std::string(py::str(py::type::of(value).attr("__name__"))));
    }
    const double number = PyFloat_AsDouble(value.ptr());
    if (number == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return number;
}

std::size_t count_from_python(py::handle value, const char* what) {
    const auto count = integer_from_python(value, what);
    if (count < 0) throw py::value_error(std::string(what) + " must not be negative, got " + std::to_string(count));
    return static_cast<std::size_t>(count);
}

void add_row(RowBlock& rows, py::handle lower, py::handle upper, py::handle nnz, py::handle indices,
             py::handle values) {
    const double lower_bound = bound_from_python(lower, "lower");
    const double upper_bound = bound_from_python(upper, "upper");
    const auto count = count_from_python(nnz, "nnz");
    const NumberArrayView index_view(indices, "indices");
    const NumberArrayView value_view(values, "values");
    if (index_view.size() < count || value_view.size() < count) {
        throw py::value_error("nnz is " + std::to_string(count) + " but the row has " +
                              std::to_string(index_view.size()) + " indices and " +
                              std::to_string(value_view.size()) + " values");
    }
    rows.append_row(lower_bound, upper_bound, first_entries(index_view.indices(), count),
                    first_entries(value_view.values(), count));
}

// C++ failures as the Python errors pybind11 would raise for them.
void set_python_error() {
    try {
        throw;
    } catch (py::error_already_set& failure) {
        failure.restore();
    } catch (const py::builtin_exception& failure) {
        failure.set_error();
    } catch (const std::out_of_range& failure) {
        PyErr_SetString(PyExc_IndexError, failure.what());
    } catch (const std::invalid_argument& failure) {
        PyErr_SetString(PyExc_ValueError, failure.what());
    } catch (const std::length_error& failure) {
        PyErr_SetString(PyExc_ValueError, failure.what());
    } catch (const std::exception& failure) {
        PyErr_SetString(PyExc_RuntimeError, failure.what());
    }
}

constexpr const char* kRowBlockCapsule = "kelvo.RowBlock";

// addRow as a plain CPython function bound to one collector: a row costs one
// C call instead of pybind11's argument dispatch, which would take several
// times longer than HiGHS's own work on the row.
PyObject* add_row_fast(PyObject* capsule, PyObject* const* arguments, Py_ssize_t count) {
    if (count != 5) {
        PyErr_Format(PyExc_TypeError, "addRow takes 5 arguments (lower, upper, nnz, indices, values), %zd given",
                     count);
        return nullptr;
    }
    try {
        auto& rows = **static_cast<SharedRowBlock*>(PyCapsule_GetPointer(capsule, kRowBlockCapsule));
        add_row(rows, arguments[0], arguments[1], arguments[2], arguments[3], arguments[4]);
    } catch (...) {
        set_python_error();
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyMethodDef add_row_definition{
    "addRow", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&add_row_fast)), METH_FASTCALL,
    "addRow(lower, upper, nnz, indices, values)\n\n"
    "Append the row lower <= sum(values[k] * x[indices[k]]) <= upper over the first nnz entries\n"
    "(buffered until the next run or writeModel). Raises IndexError for a column outside the\n"
    "model, ValueError for a repeated column, a value that is not finite, a NaN bound or arrays\n"
    "shorter than nnz, TypeError for input that is not numeric."};

py::object row_adder(const SharedRowBlock& rows) {
    // The capsule owns a second handle on the rows, so the function stays
    // valid for as long as anyone holds it.
    auto owner = std::make_unique<SharedRowBlock>(rows);
    py::capsule capsule(owner.get(), kRowBlockCapsule,
                        [](PyObject* object) { delete static_cast<SharedRowBlock*>(PyCapsule_GetPointer(object, kRowBlockCapsule)); });
    owner.release();
    return py::reinterpret_steal<py::object>(PyCFunction_New(&add_row_definition, capsule.ptr()));
}

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// m bounds from an array of m or from one number for every row.
std::vector<double> bounds_from_python(const DoubleArray& bounds, std::size_t row_count, const char* what) {
    if (bounds.ndim() == 0) return std::vector<double>(row_count, *bounds.data());
    if (bounds.ndim() != 1 || static_cast<std::size_t>(bounds.size()) != row_count) {
        throw py::value_error(std::string(what) + " must hold m = " + std::to_string(row_count) + " bounds");
    }
    return {bounds.data(), bounds.data() + row_count};
}

// A read-only, contiguous one-dimensional array of exactly this element type
// and length: one whose elements nobody can change while it is borrowed.
template <class Element>
std::optional<std::span<const Element>> frozen_view(py::handle object, std::size_t length) {
    if (!py::isinstance<py::array_t<Element>>(object)) return std::nullopt;
    const auto array = py::reinterpret_borrow<py::array_t<Element>>(object);
    if (array.ndim() != 1 || static_cast<std::size_t>(array.shape(0)) != length ||
        (array.flags() & py::array::c_style) == 0 || array.writeable()) {
        return std::nullopt;
    }
    return std::span<const Element>(array.data(), length);
}

// The arrays of a borrowed block, released under the interpreter lock
// whenever the last handle on them goes.
std::shared_ptr<const void> owner_of(py::tuple arrays) {
    return {new py::tuple(std::move(arrays)), [](const void* held) {
                py::gil_scoped_acquire locked;
                delete static_cast<const py::tuple*>(held);
            }};
}

// Rows whose arrays are frozen, of int32 starts (m + 1) and column numbers
// and float64 values, each row's columns ascending, are borrowed, not copied.
bool borrowed(RowBlock& rows, const std::vector<double>& lower, const std::vector<double>& upper,
              std::size_t entry_count, py::handle starts, py::handle indices, py::handle values) {
    const auto starts_view = frozen_view<std::int32_t>(starts, lower.size() + 1);
    const auto index_view = frozen_view<ColumnIndex>(indices, entry_count);
    const auto value_view = frozen_view<double>(values, entry_count);
    if (!starts_view || !index_view || !value_view) return false;
    return rows.borrow_sorted_rows(lower, upper, *starts_view, *index_view, *value_view,
                                   owner_of(py::make_tuple(starts, indices, values)));
}

void add_rows(RowBlock& rows, py::handle m, const DoubleArray& lower, const DoubleArray& upper, py::handle nnz,
              py::handle starts, py::handle indices, py::handle values) {
    const auto row_count = count_from_python(m, "m");
    const auto entry_count = count_from_python(nnz, "nnz");
    if (row_count == 0) return;
    const auto lower_bounds = bounds_from_python(lower, row_count, "lower");
    const auto upper_bounds = bounds_from_python(upper, row_count, "upper");
    if (borrowed(rows, lower_bounds, upper_bounds, entry_count, starts, indices, values)) return;
    const auto given_starts = integer_array_from_python(starts, "starts");
    const NumberArrayView index_view(indices, "indices");
    const NumberArrayView value_view(values, "values");
    if (index_view.size() < entry_count || value_view.size() < entry_count) {
        throw py::value_error("nnz is " + std::to_string(entry_count) + " but there are " +
                              std::to_string(index_view.size()) + " indices and " +
                              std::to_string(value_view.size()) + " values");
    }
    // HiGHS's own convention leaves out the last start, implied by nnz.
    std::vector<std::int64_t> all_starts(given_starts.data(), given_starts.data() + given_starts.size());
    if (all_starts.size() == row_count) all_starts.push_back(static_cast<std::int64_t>(entry_count));
    if (all_starts.size() != row_count + 1) {
        throw py::value_error("starts must hold m + 1 = " + std::to_string(row_count + 1) + " entries, not " +
                              std::to_string(given_starts.size()));
    }
    rows.append_rows(lower_bounds, upper_bounds, all_starts, first_entries(index_view.indices(), entry_count),
                     first_entries(value_view.values(), entry_count));
}

// A NumPy array that takes over the vector's memory instead of copying it.
template <class Element>
py::array_t<Element> to_numpy(std::vector<Element>&& elements) {
    auto owner = std::make_unique<std::vector<Element>>(std::move(elements));
    const auto size = static_cast<py::ssize_t>(owner->size());
    const Element* data = owner->data();
    py::capsule base(owner.get(), [](void* vector) { delete static_cast<std::vector<Element>*>(vector); });
    owner.release();
    return py::array_t<Element>(size, data, base);
}

py::tuple arrays_of(RowBlockArrays&& block) {
    return py::make_tuple(to_numpy(std::move(block.lower)), to_numpy(std::move(block.upper)),
                          to_numpy(std::move(block.starts)), to_numpy(std::move(block.indices)),
                          to_numpy(std::move(block.values)));
}

// A borrowed block hands back its owner's arrays themselves.
py::tuple arrays_of(BorrowedRows&& block) {
    const auto& owned = *static_cast<const py::tuple*>(block.owner.get());
    return py::make_tuple(to_numpy(std::move(block.lower)), to_numpy(std::move(block.upper)), owned[0], owned[1],
                          owned[2]);
}

py::list take_rows(RowBlock& rows) {
    py::list blocks;
    for (auto& block : rows.take()) {
        blocks.append(std::visit([](auto&& taken) { return arrays_of(std::move(taken)); }, std::move(block)));
    }
    return blocks;
}

}  // namespace

void bind_linsolver_rows(py::module_& module) {
    auto rows = module.def_submodule("_linsolver_rows", "Rows of the linear solver, checked and collected natively");
    py::class_<RowBlock, SharedRowBlock>(rows, "RowCollector",
                                         "Collects constraint rows; the linear solver sends them to HiGHS as one block.")
        .def(py::init<>())
        .def("addRows", &add_rows, py::arg("m"), py::arg("lower"), py::arg("upper"), py::arg("nnz"),
             py::arg("starts"), py::arg("indices"), py::arg("values"),
             "Append m rows in compressed-row form (m + 1 starts, or m with the last implied by nnz; "
             "bounds as arrays of m or one number). Every row is checked as by addRow; a refused block "
             "adds nothing. Read-only arrays of int32 starts and indices and float64 values, a thousand "
             "entries or more, whose rows ascend by column are kept, not copied, until the rows are taken.")
        .def("set_column_count", &RowBlock::set_column_count, py::arg("count"))
        .def("take_rows", &take_rows,
             "The pending rows as blocks in the order they came, each (lower, upper, starts, indices, "
             "values), starts holding m + 1 entries; they count as taken from now on.")
        .def_property_readonly("pending_rows", &RowBlock::pending_rows)
        .def_property_readonly("rows_taken", &RowBlock::rows_taken);
    rows.def("row_adder", &row_adder, py::arg("rows"),
             "addRow(lower, upper, nnz, indices, values) bound to these rows, as a plain C function.");
}

}  // namespace kelvo::bindings
