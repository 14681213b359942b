#include "kernels/clause_assembly/auxiliary_names.hpp"

#include <algorithm>

namespace vx {

std::int64_t AuxiliaryNames::largest_number() const {
    std::int64_t largest = 0;
    for (const auto& use : uses_) largest = std::max(largest, block_.number(use.instance, use.slot));
    return largest;
}

std::vector<AuxiliaryNames::Run> AuxiliaryNames::runs() const {
    std::vector<Run> runs;
    for (const auto& use : uses_) {
        const bool pseudo_boolean = use.slot < block_.pb_count;
        const std::int64_t prefix = pseudo_boolean ? 0 : 1;
        const std::int64_t index = pseudo_boolean ? use.slot : use.slot - block_.pb_count;
        const std::int64_t number = block_.number(use.instance, use.slot);
        if (!runs.empty()) {
            Run& last = runs.back();
            if (last.prefix == prefix && last.instance == use.instance && last.first_index + last.count == index &&
                last.first_number + last.count == number) {
                ++last.count;
                continue;
            }
        }
        runs.push_back({prefix, use.instance, index, 1, number});
    }
    return runs;
}

}  // namespace vx
