// canonical_index_text: the text by which the host names a cell's index
// value, as the engine's reader reads it.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "engine/model_text/canonical_index_text.hpp"
#include "engine_bindings.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

void bind_index_text(py::module_& module) {
    module.def("canonical_index_text", &model_text::canonical_index_text, py::arg("text"),
               R"doc(The canonical text of an index value's text, every name in it an index.

One text per affine form the model text's reader reads ("i - i" and "0",
"i + 1" and "1 + i"): its terms by index name, then its constant, which the
reader reads back as the same form.

Args:
    text: An index value as the host writes it, such as "2 * i - j + 1".

Returns:
    The canonical text, or None when the reader reads no affine form in the
    text (i ** 2, a number past 64 bits, text outside its grammar).
)doc");
}

}  // namespace kelvo::bindings
