#include "engine/witness_interpreter.hpp"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace kelvo {

bool WitnessInterpreter::is_auxiliary(std::string_view name) const {
    return std::any_of(auxiliary_prefixes_.begin(), auxiliary_prefixes_.end(),
                       [name](const std::string& prefix) { return name.starts_with(prefix); });
}

bool WitnessInterpreter::build_mapping_tables(bool leave_out_auxiliaries) {
    table_.clear();
    largest_number_ = 0;
    tables_built_ = false;
    if (!mapping_ || mapping_->empty()) return false;
    const auto& entries = mapping_->entries();
    for (std::size_t position = 0; position < entries.size(); ++position) {
        const auto name = entries.name(position);
        if (leave_out_auxiliaries && is_auxiliary(name)) continue;
        table_.make_room(1, name.size());
        table_.append(name, entries.number(position));
        largest_number_ = std::max(largest_number_, entries.number(position));
    }
    tables_built_ = true;
    return true;
}

std::vector<std::pair<std::string_view, bool>> WitnessInterpreter::interpret(
    std::span<const std::int64_t> model) const {
    if (!tables_built_) throw std::logic_error("the witness interpreter's mapping tables are not built");
    std::vector<signed char> value(static_cast<std::size_t>(largest_number_) + 1, 0);
    for (const auto literal : model) {
        const auto number = std::llabs(literal);
        if (number <= largest_number_) value[static_cast<std::size_t>(number)] = literal > 0 ? 1 : 0;
    }
    std::vector<std::pair<std::string_view, bool>> result;
    result.reserve(table_.size());
    for (std::size_t position = 0; position < table_.size(); ++position) {
        const auto number = table_.number(position);
        result.emplace_back(table_.name(position), number >= 0 && value[static_cast<std::size_t>(number)] == 1);
    }
    return result;
}

}  // namespace kelvo
