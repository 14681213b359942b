#pragma once
// A model variable as every reader and instantiator of templates sees it.

#include <cstdint>
#include <string>
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

}  // namespace kelvo
