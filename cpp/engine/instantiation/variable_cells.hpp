#pragma once
// A model variable as every reader and instantiator of templates sees it.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvo {

// A model variable as the template calls it: cells numbered row-major from first.
struct VariableCells {
    std::string name;
    std::int64_t first = 0;
    std::vector<std::int64_t> sizes;
    std::vector<std::int64_t> strides;

    [[nodiscard]] std::int64_t cell_count() const { return sizes.empty() ? 1 : strides[0] * sizes[0]; }
};

// The variable with its row-major strides; nullopt when a size is negative
// or its numbers do not fit 64 bits.
inline std::optional<VariableCells> variable_cells_of(std::string name, std::int64_t first,
                                                      std::vector<std::int64_t> sizes) {
    VariableCells variable{std::move(name), first, std::move(sizes), {}};
    variable.strides.assign(variable.sizes.size(), 1);
    std::int64_t stride = 1;
    for (std::size_t d = variable.sizes.size(); d-- > 0;) {
        variable.strides[d] = stride;
        if (variable.sizes[d] < 0 || __builtin_mul_overflow(stride, variable.sizes[d], &stride)) return std::nullopt;
    }
    std::int64_t last = 0;
    if (__builtin_add_overflow(first, stride, &last)) return std::nullopt;
    return variable;
}

}  // namespace kelvo
