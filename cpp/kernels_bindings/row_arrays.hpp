#pragma once
// The rows a kernel read, as the arrays the linear solver's row collector
// borrows instead of copying: read-only, int32 starts and column numbers,
// float64 values. A model too large for int32 gets int64 arrays, which the
// collector copies and checks as any other.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "kernels/linear_text/linear_text_evaluation.hpp"

namespace vx::bindings {

// An array that nobody can write to, holding the vector's memory.
template <class Element>
pybind11::array_t<Element> frozen_array(std::vector<Element>&& elements) {
    auto owner = std::make_unique<std::vector<Element>>(std::move(elements));
    const auto size = static_cast<pybind11::ssize_t>(owner->size());
    const Element* data = owner->data();
    pybind11::capsule base(owner.get(), [](void* vector) { delete static_cast<std::vector<Element>*>(vector); });
    owner.release();
    pybind11::array_t<Element> array(size, data, base);
    pybind11::detail::array_proxy(array.ptr())->flags &= ~pybind11::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return array;
}

inline bool fits_int32(const std::vector<std::int64_t>& values) {
    for (const auto value : values) {
        if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
            return false;
        }
    }
    return true;
}

inline pybind11::array frozen_integers(std::vector<std::int64_t>&& values) {
    if (!fits_int32(values)) return frozen_array(std::move(values));
    std::vector<std::int32_t> narrow(values.begin(), values.end());
    return frozen_array(std::move(narrow));
}

// (constants, starts, column numbers, values).
inline pybind11::tuple frozen_row_arrays(TextRows&& rows) {
    return pybind11::make_tuple(frozen_array(std::move(rows.constants)), frozen_integers(std::move(rows.matrix.starts)),
                                frozen_integers(std::move(rows.matrix.indices)),
                                frozen_array(std::move(rows.matrix.values)));
}

}  // namespace vx::bindings
