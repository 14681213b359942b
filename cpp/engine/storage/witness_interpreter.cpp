#include "engine/storage/witness_interpreter.hpp"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace kelvo {

bool WitnessInterpreter::build_mapping_tables(bool leave_out_auxiliaries) {
    table_ = VarMapping();
    largest_number_ = 0;
    tables_built_ = false;
    if (!mapping_ || mapping_->empty()) return false;
    // A copy: the tables keep what the mapping held when they were built.
    table_ = leave_out_auxiliaries ? mapping_->without_prefixes(auxiliary_prefixes_) : *mapping_;
    largest_number_ = table_.largest_number();
    tables_built_ = true;
    return true;
}

std::vector<std::pair<std::string, bool>> WitnessInterpreter::interpret(std::span<const std::int64_t> model) const {
    if (!tables_built_) throw std::logic_error("the witness interpreter's mapping tables are not built");
    std::vector<signed char> value(static_cast<std::size_t>(largest_number_) + 1, 0);
    for (const auto literal : model) {
        const auto number = std::llabs(literal);
        if (number <= largest_number_) value[static_cast<std::size_t>(number)] = literal > 0 ? 1 : 0;
    }
    std::vector<std::pair<std::string, bool>> result;
    result.reserve(table_.size());
    for (std::size_t position = 0; position < table_.size(); ++position) {
        const auto number = table_.number_at(position);
        result.emplace_back(table_.name_at(position), number >= 0 && value[static_cast<std::size_t>(number)] == 1);
    }
    return result;
}

}  // namespace kelvo
