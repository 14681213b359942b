#include "vx/variable_map.hpp"

#include <charconv>
#include <limits>
#include <stdexcept>

namespace vx {

std::int64_t cell_count(std::span<const std::int64_t> sizes) {
    std::int64_t count = 1;
    for (const std::int64_t size : sizes) {
        if (size <= 0) return 0;
    }
    for (const std::int64_t size : sizes) {
        if (count > std::numeric_limits<std::int64_t>::max() / size) {
            throw std::overflow_error("The number of cells of the variable is too large");
        }
        count *= size;
    }
    return count;
}

RowMajorKeys::RowMajorKeys(std::string_view name, std::span<const std::int64_t> sizes)
    : sizes_(sizes.begin(), sizes.end()),
      values_(sizes.size(), 0),
      starts_(sizes.size(), 0),
      key_(name),
      done_(cell_count(sizes) == 0) {
    key_.push_back('[');
    if (!starts_.empty()) starts_[0] = key_.size();
    spell_from(0);
}

void RowMajorKeys::advance() {
    std::size_t dimension = sizes_.size();
    while (dimension > 0) {
        --dimension;
        if (++values_[dimension] < sizes_[dimension]) {
            spell_from(dimension);
            return;
        }
        values_[dimension] = 0;
    }
    done_ = true;
}

void RowMajorKeys::spell_from(std::size_t dimension) {
    if (dimension < starts_.size()) key_.resize(starts_[dimension]);
    for (std::size_t d = dimension; d < values_.size(); ++d) {
        if (d > dimension) key_.push_back(',');
        starts_[d] = key_.size();
        char digits[24];
        const auto written = std::to_chars(digits, digits + sizeof digits, values_[d]);
        key_.append(digits, written.ptr);
    }
    key_.push_back(']');
}

}  // namespace vx
