#pragma once
// Where the elements of a linear variable lie among the solver columns: a
// block of consecutive columns in which the first index varies fastest.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vx {

class ElementLayout {
public:
    ElementLayout(std::int64_t first_column, std::vector<std::int64_t> sizes);

    // The column of the element with these index values; nothing when their
    // number differs from the rank or a value lies outside its dimension.
    [[nodiscard]] std::optional<std::int64_t> column_of(std::span<const std::int64_t> values) const;
    // The index values of the element in a column of the block, which must hold it.
    void index_values_of(std::int64_t column, std::vector<std::int64_t>& values) const;
    [[nodiscard]] std::size_t rank() const { return sizes_.size(); }
    // 1 for the first dimension, then the product of the sizes before each.
    [[nodiscard]] std::span<const std::int64_t> strides() const { return strides_; }

private:
    std::int64_t first_column_;
    std::vector<std::int64_t> sizes_;
    std::vector<std::int64_t> strides_;
};

}  // namespace vx
