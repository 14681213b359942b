#include "engine/var_mapping.hpp"

namespace kelvo {

void VarMapping::set_var_map(std::vector<std::pair<std::string, VariableNumber>> entries) {
    entries_ = std::move(entries);
    names_.clear();
    names_.reserve(entries_.size());
    for (const auto& [name, number] : entries_) names_.insert_or_assign(name, number);
    numbers_.clear();
    inverse_built_ = false;
}

void VarMapping::build_inverse_map() {
    numbers_.clear();
    numbers_.reserve(entries_.size());
    // The first name given for a number is the one reported for it.
    for (std::size_t position = 0; position < entries_.size(); ++position) {
        numbers_.try_emplace(entries_[position].second, position);
    }
    inverse_built_ = true;
}

std::optional<VariableNumber> VarMapping::number_of(std::string_view name) const {
    const auto found = names_.find(name);
    if (found == names_.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string_view> VarMapping::name_of(VariableNumber number) {
    if (!inverse_built_) build_inverse_map();
    const auto found = numbers_.find(number);
    if (found == numbers_.end()) return std::nullopt;
    return std::string_view(entries_[found->second].first);
}

}  // namespace kelvo
