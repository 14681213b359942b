#include "engine/var_mapping.hpp"

#include <algorithm>
#include <stdexcept>

#include "engine/cell_keys.hpp"

namespace kelvo {

void VarMapping::set_var_map(const std::vector<std::pair<std::string, VariableNumber>>& entries) {
    entries_.clear();
    names_.clear();
    add_entries(entries);
}

void VarMapping::add_entry(std::string_view name, VariableNumber number) {
    const auto name_at = [this](std::size_t position) { return entries_.name(position); };
    const auto [place, added] = names_.insert(name, entries_.size(), name_at);
    if (added) {
        entries_.append(name, number);
    } else {
        entries_.set_number(place, number);
    }
    inverse_built_ = false;
}

// A mapping is often put together from thousands of small parts: both grow by doubling.
void VarMapping::make_room(std::size_t more, std::size_t letters) {
    entries_.make_room(more, letters);
    names_.reserve(entries_.size() + more);
}

void VarMapping::add_entries(const std::vector<std::pair<std::string, VariableNumber>>& entries) {
    std::size_t letters = 0;
    for (const auto& entry : entries) letters += entry.first.size();
    make_room(entries.size(), letters);
    for (const auto& [name, number] : entries) add_entry(name, number);
}

void VarMapping::add_named_numbers(std::string_view text, std::span<const std::int64_t> ends,
                                   std::span<const VariableNumber> numbers) {
    if (ends.size() != numbers.size()) throw std::invalid_argument("every name needs one number");
    std::int64_t begin = 0;
    for (const auto end : ends) {
        if (end < begin || static_cast<std::size_t>(end) > text.size()) {
            throw std::invalid_argument("name ends must rise within the text");
        }
        begin = end;
    }
    make_room(numbers.size(), text.size());
    begin = 0;
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        add_entry(text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(ends[k] - begin)), numbers[k]);
        begin = ends[k];
    }
}

void VarMapping::add_variable_cells(std::string_view name, std::span<const std::int64_t> sizes,
                                    VariableNumber first) {
    const auto cells = static_cast<std::size_t>(cell_count(sizes));
    make_room(cells, cells * (name.size() + 2 + 4 * sizes.size()));
    VariableNumber number = first;
    for (RowMajorKeys keys(name, sizes); !keys.done(); keys.advance()) add_entry(keys.key(), number++);
}

void VarMapping::build_inverse_map() {
    dense_inverse_.clear();
    sorted_inverse_.clear();
    VariableNumber smallest = 0;
    VariableNumber largest = 0;
    const auto& numbers = entries_.numbers();
    for (const auto number : numbers) {
        smallest = std::min(smallest, number);
        largest = std::max(largest, number);
    }
    // The first name given for a number is the one reported for it.
    if (smallest >= 0 && static_cast<std::size_t>(largest) <= 4 * numbers.size() + 1024) {
        dense_inverse_.assign(static_cast<std::size_t>(largest) + 1, 0);
        for (std::size_t position = 0; position < numbers.size(); ++position) {
            auto& slot = dense_inverse_[static_cast<std::size_t>(numbers[position])];
            if (slot == 0) slot = static_cast<std::uint32_t>(position + 1);
        }
    } else {
        sorted_inverse_.reserve(numbers.size());
        for (std::size_t position = 0; position < numbers.size(); ++position) {
            sorted_inverse_.emplace_back(numbers[position], static_cast<std::uint32_t>(position));
        }
        std::stable_sort(sorted_inverse_.begin(), sorted_inverse_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    inverse_built_ = true;
}

std::optional<std::size_t> VarMapping::position_of_number(VariableNumber number) const {
    if (!dense_inverse_.empty() || sorted_inverse_.empty()) {
        if (number < 0 || static_cast<std::size_t>(number) >= dense_inverse_.size()) return std::nullopt;
        const auto slot = dense_inverse_[static_cast<std::size_t>(number)];
        if (slot == 0) return std::nullopt;
        return slot - 1;
    }
    const auto found = std::lower_bound(sorted_inverse_.begin(), sorted_inverse_.end(), number,
                                        [](const auto& entry, VariableNumber n) { return entry.first < n; });
    if (found == sorted_inverse_.end() || found->first != number) return std::nullopt;
    return found->second;
}

std::optional<VariableNumber> VarMapping::number_of(std::string_view name) const {
    const auto position = names_.find(name, [this](std::size_t p) { return entries_.name(p); });
    if (!position) return std::nullopt;
    return entries_.number(*position);
}

std::optional<std::string_view> VarMapping::name_of(VariableNumber number) {
    if (!inverse_built_) build_inverse_map();
    const auto position = position_of_number(number);
    if (!position) return std::nullopt;
    return entries_.name(*position);
}

}  // namespace kelvo
