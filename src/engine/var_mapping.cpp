#include "engine/var_mapping.hpp"

#include <algorithm>

#include "engine/cell_keys.hpp"

namespace kelvo {

void VarMapping::set_var_map(std::vector<std::pair<std::string, VariableNumber>> entries) {
    entries_.clear();
    names_.clear();
    numbers_.clear();
    add_entries(std::move(entries));
}

void VarMapping::add_entry(std::string_view name, VariableNumber number) {
    const auto [place, added] = names_.try_emplace(std::string(name), entries_.size());
    if (added) {
        entries_.emplace_back(name, number);
    } else {
        entries_[place->second].second = number;
    }
}

// Room for more entries, doubling: a mapping is often put together from
// thousands of small parts, and an exact reserve for each would copy it each time.
void VarMapping::make_room(std::size_t more) {
    const std::size_t needed = entries_.size() + more;
    if (needed <= entries_.capacity()) return;
    const std::size_t room = std::max(needed, 2 * entries_.capacity());
    entries_.reserve(room);
    names_.reserve(room);
}

void VarMapping::add_entries(std::vector<std::pair<std::string, VariableNumber>> entries) {
    make_room(entries.size());
    for (const auto& [name, number] : entries) add_entry(name, number);
    inverse_built_ = false;
}

void VarMapping::add_variable_cells(std::string_view name, std::span<const std::int64_t> sizes,
                                    VariableNumber first) {
    make_room(static_cast<std::size_t>(cell_count(sizes)));
    VariableNumber number = first;
    for (RowMajorKeys keys(name, sizes); !keys.done(); keys.advance()) add_entry(keys.key(), number++);
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
    return entries_[found->second].second;
}

std::optional<std::string_view> VarMapping::name_of(VariableNumber number) {
    if (!inverse_built_) build_inverse_map();
    const auto found = numbers_.find(number);
    if (found == numbers_.end()) return std::nullopt;
    return std::string_view(entries_[found->second].first);
}

}  // namespace kelvo
