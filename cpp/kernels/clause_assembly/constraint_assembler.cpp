#include "kernels/clause_assembly/constraint_assembler.hpp"

#include <stdexcept>
#include <utility>

namespace vx {

void ConstraintAssembler::add_variable(std::string name, std::vector<std::int64_t> sizes, std::int64_t first) {
    for (const auto size : sizes) {
        if (size <= 0) throw std::invalid_argument("variable " + name + " has an empty dimension");
    }
    auto model = kelvo::variable_cells_of(name, first, sizes);
    auto reading = kelvo::variable_cells_of(std::move(name), first + 1, std::move(sizes));
    if (!model || !reading) throw std::invalid_argument("the variables have more cells than 64 bits count");
    auto grown = std::make_shared<std::vector<kelvo::VariableCells>>(*model_);
    grown->push_back(std::move(*model));
    model_ = std::move(grown);
    reading_.push_back(std::move(*reading));
}

std::variant<ReadConstraint, kelvo::DeclinedReading> ConstraintAssembler::read_hard(
    std::string_view text, std::span<const std::string> index_names, const kelvo::PBConfig& config) {
    auto reading = cache_.read(text, index_names, reading_, config);
    if (auto* declined = std::get_if<kelvo::DeclinedReading>(&reading)) return std::move(*declined);
    auto& structure = std::get<kelvo::StructuredClauseTemplate>(reading);
    for (std::size_t l = 0; l < structure.kinds.size(); ++l) {
        if (structure.kinds[l] == kelvo::TemplateLiteralKind::cell) --structure.values[l];
    }
    ReadConstraint read;
    read.slots = {structure.pbct, structure.bxpr};
    read.never_holds = structure.never_holds;
    read.index_count = index_names.size();
    // One that always holds is compiled too: its instances check the cells the text calls.
    if (!read.never_holds) read.compiled.emplace(structure.view(index_names.size()), *model_, read.slots);
    read.structure = std::move(structure);
    read.variables = model_;
    return read;
}

}  // namespace vx
