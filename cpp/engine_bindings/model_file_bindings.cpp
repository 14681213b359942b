// Model files of halvex.kelvo_engine.linsolver: the native rewriting of what
// HiGHS writes.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <span>
#include <string>
#include <string_view>

#include "engine/linsolver/mps_integer_markers.hpp"
#include "engine_bindings.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

namespace {

using FlagArray = py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast>;

py::bytes exact_integer_markers(const py::bytes& mps, const FlagArray& integer) {
    const std::string_view text = mps;
    const std::span<const std::uint8_t> flags(integer.data(), static_cast<std::size_t>(integer.size()));
    std::string rewritten;
    {
        py::gil_scoped_release unlocked;
        rewritten = with_exact_integer_markers(text, flags);
    }
    return py::bytes(rewritten);
}

}  // namespace

void bind_model_files(py::module_& module) {
    auto files = module.def_submodule("_linsolver_files", "Model files of the linear solver, rewritten natively");
    files.def("with_exact_integer_markers", &exact_integer_markers, py::arg("mps"), py::arg("integer"),
              "The MPS text with the markers of its COLUMNS section set by each column's kind: column k "
              "lies between INTORG and INTEND exactly when integer[k] is true. Raises ValueError when the "
              "section does not name len(integer) columns.");
}

}  // namespace kelvo::bindings
