#include "kernels/linear_text/element_layout.hpp"

#include <stdexcept>
#include <utility>

namespace vx {

ElementLayout::ElementLayout(std::int64_t first_column, std::vector<std::int64_t> sizes)
    : first_column_(first_column), sizes_(std::move(sizes)) {
    if (first_column_ < 0) throw std::invalid_argument("the first column must not be negative");
    std::int64_t stride = 1;
    strides_.reserve(sizes_.size());
    for (const auto size : sizes_) {
        if (size < 0) throw std::invalid_argument("a dimension size must not be negative");
        strides_.push_back(stride);
        stride *= size;
    }
}

std::optional<std::int64_t> ElementLayout::column_of(std::span<const std::int64_t> values) const {
    if (values.size() != sizes_.size()) return std::nullopt;
    std::int64_t column = first_column_;
    for (std::size_t dimension = 0; dimension < values.size(); ++dimension) {
        if (values[dimension] < 0 || values[dimension] >= sizes_[dimension]) return std::nullopt;
        column += values[dimension] * strides_[dimension];
    }
    return column;
}

void ElementLayout::index_values_of(std::int64_t column, std::vector<std::int64_t>& values) const {
    values.clear();
    auto offset = column - first_column_;
    for (const auto size : sizes_) {
        values.push_back(offset % size);
        offset /= size;
    }
}

}  // namespace vx
