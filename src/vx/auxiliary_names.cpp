#include "vx/auxiliary_names.hpp"

#include <algorithm>

namespace vx {

std::int64_t AuxiliaryNames::largest_number() const {
    std::int64_t largest = 0;
    for (const auto& use : uses_) largest = std::max(largest, block_.number(use.instance, use.slot));
    return largest;
}

}  // namespace vx
