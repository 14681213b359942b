#pragma once
// Mapping keys of a variable's cells, "name[v1,v2,...]", in row-major order.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Number of cells of a variable with the given dimension sizes: their
// product, 0 when any size is 0 or below, 1 without dimensions.
// Throws std::overflow_error when the product does not fit.
std::int64_t cell_count(std::span<const std::int64_t> sizes);

// Walks every cell in row-major order (the last dimension fastest) and keeps
// the current cell's key spelled out, so that each step rewrites only the
// digits that changed.
class RowMajorKeys {
public:
    RowMajorKeys(std::string_view name, std::span<const std::int64_t> sizes);

    bool done() const { return done_; }
    std::string_view key() const { return key_; }
    void advance();

private:
    void spell_from(std::size_t dimension);

    std::vector<std::int64_t> sizes_;
    std::vector<std::int64_t> values_;
    // Position in key_ where each dimension's value text begins.
    std::vector<std::size_t> starts_;
    std::string key_;
    bool done_;
};

}  // namespace vx
