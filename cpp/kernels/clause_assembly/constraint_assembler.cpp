#include "kernels/clause_assembly/constraint_assembler.hpp"

#include <limits>
#include <stdexcept>
#include <utility>

namespace vx {

namespace {

// The literals of the largest shape held compiled; a larger one is compiled for each text.
constexpr std::size_t largest_shape_held_compiled = 1024;

// A soft constraint's weight per entry, |weight * coefficient|, or why the host words it.
std::variant<std::vector<std::uint64_t>, kelvo::DeclinedReading> weights_of(std::span<const std::int64_t> coefficients,
                                                                           std::int64_t weight) {
    if (coefficients.empty()) return kelvo::DeclinedReading{"the soft constraint has no entries"};
    std::vector<std::uint64_t> weights;
    weights.reserve(coefficients.size());
    for (const auto coefficient : coefficients) {
        std::int64_t product = 0;
        if (__builtin_mul_overflow(weight, coefficient, &product) ||
            product == std::numeric_limits<std::int64_t>::min()) {
            return kelvo::DeclinedReading{"the weight times a coefficient passes 2^63 - 1"};
        }
        if (product == 0) return kelvo::DeclinedReading{"an entry of the soft constraint weighs nothing"};
        weights.push_back(static_cast<std::uint64_t>(product < 0 ? -product : product));
    }
    return weights;
}

// Whether an entry of positive coefficient counts against the direction:
// the entry weight * c does when it is positive and the sum is minimized.
bool positive_entries_negated(std::int64_t weight, bool minimization) { return (weight > 0) == minimization; }

// Each clause is one literal: negated where its entry counts against the direction.
void orient(kelvo::StructuredClauseTemplate& structure, std::span<const std::int64_t> coefficients,
            bool positive_negated) {
    for (std::size_t c = 0; c < coefficients.size(); ++c) {
        auto& literal = structure.literals[static_cast<std::size_t>(structure.ends[c]) - 1];
        if ((coefficients[c] > 0) == positive_negated) literal = -literal;
    }
}

}  // namespace

kelvo::StructuredClauseTemplate ReadConstraint::structure() const {
    if (!reading->per_text) return reading->structure;
    return kelvo::served(reading->structure, cells, parameters, reading->index_count);
}

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
    scanner_.add_variable(std::move(*reading));
}

std::variant<ReadConstraint, kelvo::DeclinedReading> ConstraintAssembler::read_hard(
    std::string_view text, std::span<const std::string> index_names, const kelvo::PBConfig& config) {
    const auto variables = scanner_.variables();
    const auto index_count = index_names.size();
    if (!scanner_.scan(text, index_names, config, shape_)) {
        return hard_of(kelvo::read_clause_template(text, index_names, variables, config), index_count);
    }
    auto found = hard_shapes_.find(shape_.key);
    if (found == hard_shapes_.end()) {
        auto first = kelvo::first_hard_reading(shape_, text, index_names, variables, config);
        if (first.shape) {
            hard_shapes_.emplace(shape_.key, first.shape->read_directly
                                                 ? nullptr
                                                 : compiled_shape(std::move(first.shape->structure), index_count,
                                                                  first.shape->parameter_count));
        }
        return hard_of(std::move(first.reading), index_count);
    }
    const auto& shape = found->second;
    if (!shape || !kelvo::parameters_fit(shape->structure, shape_.parameters, index_count)) {
        return hard_of(kelvo::read_clause_template(text, index_names, variables, config), index_count);
    }
    return bound(shape, {});
}

std::variant<ReadConstraint, kelvo::DeclinedReading> ConstraintAssembler::read_soft(
    std::string_view text, std::span<const std::string> index_names, std::int64_t weight, bool minimization) {
    const auto variables = scanner_.variables();
    const auto index_count = index_names.size();
    const kelvo::PBConfig config;
    if (!scanner_.scan(text, index_names, config, shape_)) {
        return soft_of(kelvo::read_soft_template(text, index_names, variables, config), index_count, weight,
                       minimization);
    }
    auto found = soft_shapes_.find(shape_.key);
    if (found == soft_shapes_.end()) {
        auto first = kelvo::first_soft_reading(shape_, text, index_names, variables);
        if (first.shape) soft_shapes_.emplace(shape_.key, SoftShape{std::move(*first.shape), {}});
        return soft_of(std::move(first.reading), index_count, weight, minimization);
    }
    auto& soft = found->second;
    if (soft.shape.read_directly || !kelvo::parameters_fit(soft.shape.structure, shape_.parameters, index_count)) {
        return soft_of(kelvo::read_soft_template(text, index_names, variables, config), index_count, weight,
                       minimization);
    }
    auto weights = weights_of(soft.shape.coefficients, weight);
    if (auto* declined = std::get_if<kelvo::DeclinedReading>(&weights)) return std::move(*declined);
    const bool positive_negated = positive_entries_negated(weight, minimization);
    auto& oriented = soft.oriented[positive_negated ? 1 : 0];
    if (!oriented) {
        auto structure = soft.shape.structure;
        orient(structure, soft.shape.coefficients, positive_negated);
        oriented = compiled_shape(std::move(structure), index_count, soft.shape.parameter_count);
    }
    return bound(oriented, std::move(std::get<std::vector<std::uint64_t>>(weights)));
}

std::variant<ReadConstraint, kelvo::DeclinedReading> ConstraintAssembler::hard_of(kelvo::ClauseTemplateReading reading,
                                                                                 std::size_t index_count) const {
    if (auto* declined = std::get_if<kelvo::DeclinedReading>(&reading)) return std::move(*declined);
    return ReadConstraint{compiled(std::move(std::get<kelvo::StructuredClauseTemplate>(reading)), index_count),
                          nullptr, {}, {}, {}};
}

std::variant<ReadConstraint, kelvo::DeclinedReading> ConstraintAssembler::soft_of(kelvo::SoftTemplateReading reading,
                                                                                 std::size_t index_count,
                                                                                 std::int64_t weight,
                                                                                 bool minimization) const {
    if (auto* declined = std::get_if<kelvo::DeclinedReading>(&reading)) return std::move(*declined);
    auto& soft = std::get<kelvo::SoftClauseTemplate>(reading);
    auto weights = weights_of(soft.coefficients, weight);
    if (auto* declined = std::get_if<kelvo::DeclinedReading>(&weights)) return std::move(*declined);
    orient(soft.structure, soft.coefficients, positive_entries_negated(weight, minimization));
    return ReadConstraint{compiled(std::move(soft.structure), index_count), nullptr, {}, {},
                          std::move(std::get<std::vector<std::uint64_t>>(weights))};
}

std::shared_ptr<const CompiledReading> ConstraintAssembler::compiled(kelvo::StructuredClauseTemplate structure,
                                                                     std::size_t index_count) const {
    for (std::size_t l = 0; l < structure.kinds.size(); ++l) {
        if (structure.kinds[l] == kelvo::TemplateLiteralKind::cell) --structure.values[l];
    }
    auto read = std::make_shared<CompiledReading>();
    read->slots = {structure.pbct, structure.bxpr};
    read->index_count = index_count;
    if (!structure.never_holds) read->compiled.emplace(structure.view(index_count), *model_, read->slots);
    read->structure = std::move(structure);
    read->variables = model_;
    return read;
}

std::shared_ptr<const CompiledReading> ConstraintAssembler::compiled_shape(kelvo::StructuredClauseTemplate structure,
                                                                           std::size_t index_count,
                                                                           std::size_t parameter_count) const {
    auto read = std::make_shared<CompiledReading>();
    read->per_text = true;
    read->slots = {structure.pbct, structure.bxpr};
    read->index_count = index_count;
    read->parameter_count = parameter_count;
    if (!structure.never_holds && structure.literals.size() <= largest_shape_held_compiled) {
        read->compiled.emplace(structure.view(index_count + parameter_count), *model_, read->slots,
                               kelvo::CellNumbers::per_call);
    }
    read->structure = std::move(structure);
    read->variables = model_;
    return read;
}

ReadConstraint ConstraintAssembler::bound(std::shared_ptr<const CompiledReading> reading,
                                          std::vector<std::uint64_t> weights) const {
    ReadConstraint read{std::move(reading), nullptr, {}, shape_.parameters, std::move(weights)};
    read.cells.reserve(shape_.cells.size());
    for (const auto cell : shape_.cells) read.cells.push_back(cell - 1);
    if (read.reading->compiled_per_text()) {
        const auto& shape = *read.reading;
        read.compiled_for_text = std::make_shared<const ClauseTemplate>(
            shape.structure.view(shape.index_count + shape.parameter_count), *model_, shape.slots,
            kelvo::CellNumbers::per_call);
    }
    return read;
}

}  // namespace vx
