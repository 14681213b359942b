#pragma once
// A model variable as a clause template calls it: cells numbered row-major from first.

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

struct VariableShape {
    std::string name;
    std::int64_t first = 0;
    std::vector<std::int64_t> sizes;
};

}  // namespace vx
