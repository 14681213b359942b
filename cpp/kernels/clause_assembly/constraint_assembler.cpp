#include "kernels/clause_assembly/constraint_assembler.hpp"

#include <limits>
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
    return compiled(std::move(std::get<kelvo::StructuredClauseTemplate>(reading)), index_names.size());
}

std::variant<ReadConstraint, kelvo::DeclinedReading> ConstraintAssembler::read_soft(
    std::string_view text, std::span<const std::string> index_names, std::int64_t weight, bool minimization) {
    auto reading = kelvo::read_soft_template(text, index_names, reading_, kelvo::PBConfig{});
    if (auto* declined = std::get_if<kelvo::DeclinedReading>(&reading)) return std::move(*declined);
    auto& soft = std::get<kelvo::SoftClauseTemplate>(reading);
    if (soft.coefficients.empty()) return kelvo::DeclinedReading{"the soft constraint has no entries"};
    std::vector<std::uint64_t> weights;
    weights.reserve(soft.coefficients.size());
    for (std::size_t c = 0; c < soft.coefficients.size(); ++c) {
        std::int64_t product = 0;
        if (__builtin_mul_overflow(weight, soft.coefficients[c], &product) ||
            product == std::numeric_limits<std::int64_t>::min()) {
            return kelvo::DeclinedReading{"the weight times a coefficient passes 2^63 - 1"};
        }
        if (product == 0) return kelvo::DeclinedReading{"an entry of the soft constraint weighs nothing"};
        // Each clause is one literal: negated where the entry counts against the direction.
        auto& literal = soft.structure.literals[soft.structure.ends[c] - 1];
        if ((product > 0) == minimization) literal = -literal;
        weights.push_back(static_cast<std::uint64_t>(product < 0 ? -product : product));
    }
    auto read = compiled(std::move(soft.structure), index_names.size());
    read.weights = std::move(weights);
    return read;
}

ReadConstraint ConstraintAssembler::compiled(kelvo::StructuredClauseTemplate structure, std::size_t index_count) const {
    for (std::size_t l = 0; l < structure.kinds.size(); ++l) {
        if (structure.kinds[l] == kelvo::TemplateLiteralKind::cell) --structure.values[l];
    }
    ReadConstraint read;
    read.slots = {structure.pbct, structure.bxpr};
    read.never_holds = structure.never_holds;
    read.index_count = index_count;
    // One that always holds is compiled too: its instances check the cells the text calls.
    if (!read.never_holds) read.compiled.emplace(structure.view(index_count), *model_, read.slots);
    read.structure = std::move(structure);
    read.variables = model_;
    return read;
}

}  // namespace vx
