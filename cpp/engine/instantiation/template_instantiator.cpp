#include "engine/instantiation/template_instantiator.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

#include "engine/reserved_names.hpp"
#include "engine/support/exact_integer.hpp"
#include "engine/support/instance_order.hpp"

namespace kelvo {

namespace {

constexpr std::int64_t largest_literal = std::numeric_limits<Literal>::max();

// The index values of the current combination, in the order of combinations,
// followed by the parameters every combination shares.
class Combinations {
public:
    Combinations(std::span<const std::vector<std::int64_t>> values, std::span<const std::int64_t> parameters)
        : values_(values), counters_(2 * values.size(), 0), current_(values.size() + parameters.size()) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            counters_[values.size() + i] = values[i].size();
            current_[i] = values[i][0];
        }
        std::copy(parameters.begin(), parameters.end(), current_.begin() + static_cast<std::ptrdiff_t>(values.size()));
    }

    [[nodiscard]] std::span<const std::int64_t> current() const { return current_; }

    void advance() {
        const std::span<std::size_t> counters(counters_);
        const auto positions = counters.first(values_.size());
        next_combination(positions, counters.last(values_.size()));
        for (std::size_t i = 0; i < values_.size(); ++i) current_[i] = values_[i][positions[i]];
    }

private:
    std::span<const std::vector<std::int64_t>> values_;
    // Each index's position, then each index's length: one allocation, not two.
    std::vector<std::size_t> counters_;
    std::vector<std::int64_t> current_;
};

struct Bounds {
    std::int64_t low;
    std::int64_t high;
};

// The exact range of an affine form over all combinations: each index occurs
// in one term, so the extremes of the terms are reached together.
std::optional<Bounds> bounds_of(std::span<const std::int64_t> form, std::span<const Bounds> index_bounds) {
    Bounds bounds{form[0], form[0]};
    for (std::size_t n = 0; n < index_bounds.size(); ++n) {
        const auto coefficient = form[n + 1];
        if (coefficient == 0) continue;
        std::int64_t at_low = 0;
        std::int64_t at_high = 0;
        if (__builtin_mul_overflow(coefficient, index_bounds[n].low, &at_low) ||
            __builtin_mul_overflow(coefficient, index_bounds[n].high, &at_high) ||
            __builtin_add_overflow(bounds.low, std::min(at_low, at_high), &bounds.low) ||
            __builtin_add_overflow(bounds.high, std::max(at_low, at_high), &bounds.high)) {
            return std::nullopt;
        }
    }
    return bounds;
}

// constant + coefficient * value, exactly where a product or a partial sum
// passes 64 bits: nullopt only when the value itself does.
std::optional<std::int64_t> exact_value_of(std::span<const std::int64_t> form, std::span<const std::int64_t> current) {
    ExactInteger value(form[0]);
    for (std::size_t n = 0; n < current.size(); ++n) value = value + ExactInteger(form[n + 1]) * ExactInteger(current[n]);
    return value.to_int64();
}

std::optional<std::int64_t> value_of(std::span<const std::int64_t> form, std::span<const std::int64_t> current) {
    std::int64_t value = form[0];
    for (std::size_t n = 0; n < current.size(); ++n) {
        const auto coefficient = form[n + 1];
        if (coefficient == 0) continue;
        std::int64_t product = 0;
        if (__builtin_mul_overflow(coefficient, current[n], &product) || __builtin_add_overflow(value, product, &value)) {
            return exact_value_of(form, current);
        }
    }
    return value;
}

bool is_literal(std::int64_t number) { return number != 0 && number <= largest_literal && number >= -largest_literal; }

std::string auxiliary_name(bool pseudo_boolean, std::int64_t n) {
    return "'" + std::string(pseudo_boolean ? pbct_auxiliary_prefix : bxpr_auxiliary_prefix) + "_" +
           std::to_string(n) + "'";
}

}  // namespace

TemplateInstantiator::TemplateInstantiator(const StructuredTemplateView& structure,
                                           std::span<const VariableCells> variables, AuxiliarySlots slots,
                                           CellNumbers cells)
    : slots_(slots), index_count_(structure.index_count), cell_numbers_(cells) {
    structure.check();
    distinct_.reserve(structure.kinds.size());
    std::vector<std::int64_t> called;  // the positions of called_ among the variables
    for (std::size_t l = 0; l < structure.kinds.size(); ++l) {
        distinct_.push_back(distinct_of(structure, l, variables, called));
    }
    uses_.reserve(structure.literals.size());
    std::vector<bool> seen(static_cast<std::size_t>(std::max<std::int64_t>(slots_.size(), 0)), false);
    for (const auto reference : structure.literals) {
        const auto position = distinct_position(reference);
        uses_.push_back({static_cast<std::uint32_t>(position), reference < 0});
        const auto& literal = distinct_[position];
        const bool auxiliary = literal.kind == TemplateLiteralKind::pbct_auxiliary ||
                               literal.kind == TemplateLiteralKind::bxpr_auxiliary;
        if (auxiliary && !seen[static_cast<std::size_t>(literal.value)]) {
            seen[static_cast<std::size_t>(literal.value)] = true;
            auxiliary_order_.push_back(literal.value);
        }
    }
    clause_ends_.assign(structure.ends.begin(), structure.ends.end());
    // Each occurrence's number as a base and a row of coefficients, worked
    // out once however often the clauses use it. The sums wrap: inside the
    // dimensions everywhere, which affine_fits checks per call, the number
    // stays among the variable's cells.
    affine_bases_.assign(distinct_.size(), 0);
    affine_rows_.assign(distinct_.size() * index_count_, 0);
    const auto width = index_count_ + 1;
    for (std::size_t r = 0; r < distinct_.size(); ++r) {
        const auto& literal = distinct_[r];
        if (literal.kind != TemplateLiteralKind::occurrence) continue;
        const auto& variable = called_[literal.called];
        auto base = static_cast<std::uint64_t>(variable.first);
        for (std::size_t d = 0; d < variable.sizes.size(); ++d) {
            const auto* form = forms_.data() + literal.forms_begin + d * width;
            const auto stride = static_cast<std::uint64_t>(variable.strides[d]);
            base += static_cast<std::uint64_t>(form[0]) * stride;
            for (std::size_t n = 0; n < index_count_; ++n) {
                auto& row = affine_rows_[r * index_count_ + n];
                row = static_cast<std::int64_t>(static_cast<std::uint64_t>(row) +
                                                static_cast<std::uint64_t>(form[n + 1]) * stride);
            }
        }
        affine_bases_[r] = static_cast<std::int64_t>(base);
    }
}

TemplateInstantiator::Distinct TemplateInstantiator::distinct_of(const StructuredTemplateView& structure,
                                                                 std::size_t literal,
                                                                 std::span<const VariableCells> variables,
                                                                 std::vector<std::int64_t>& called) {
    const auto kind = structure.kind(literal);
    const auto value = structure.values[literal];
    switch (kind) {
        case TemplateLiteralKind::cell: {
            if (cell_numbers_ == CellNumbers::per_call) {
                if (value < 0) throw std::invalid_argument("cell slot " + std::to_string(value) + " is negative");
                cell_slots_ = std::max(cell_slots_, static_cast<std::size_t>(value) + 1);
                return {kind, value, 0, 0};
            }
            const bool found = std::any_of(variables.begin(), variables.end(), [value](const VariableCells& v) {
                return value >= v.first && value - v.first < v.cell_count();
            });
            if (!found) throw std::invalid_argument("number " + std::to_string(value) + " is no cell of the variables");
            return {kind, value, 0, 0};
        }
        case TemplateLiteralKind::occurrence: {
            if (value < 0 || static_cast<std::size_t>(value) >= variables.size()) {
                throw std::invalid_argument("variable position " + std::to_string(value) + " names no variable");
            }
            const auto forms = structure.forms_of(literal);
            const auto& variable = variables[static_cast<std::size_t>(value)];
            if (forms.size() != variable.sizes.size() * (index_count_ + 1)) {
                throw std::invalid_argument("an occurrence of " + variable.name + " needs one form per dimension");
            }
            const auto begin = forms_.size();
            forms_.insert(forms_.end(), forms.begin(), forms.end());
            auto position = static_cast<std::size_t>(std::find(called.begin(), called.end(), value) - called.begin());
            if (position == called.size()) {
                called.push_back(value);
                called_.push_back(variable);
            }
            return {kind, value, begin, position};
        }
        case TemplateLiteralKind::pbct_auxiliary:
        case TemplateLiteralKind::bxpr_auxiliary: break;
    }
    const bool pseudo_boolean = kind == TemplateLiteralKind::pbct_auxiliary;
    if (value < 0) throw std::invalid_argument("auxiliary literal " + auxiliary_name(pseudo_boolean, value) + " has a negative number");
    const auto count = pseudo_boolean ? slots_.pbct : slots_.bxpr;
    if (value >= count) {
        throw std::invalid_argument("auxiliary literal " + auxiliary_name(pseudo_boolean, value) +
                                    " is outside its instance's block of " + std::to_string(count) + " " +
                                    std::string(pseudo_boolean ? pbct_auxiliary_prefix : bxpr_auxiliary_prefix) +
                                    " variables");
    }
    return {kind, pseudo_boolean ? value : slots_.pbct + value, 0, 0};
}

void TemplateInstantiator::check_values(std::span<const std::vector<std::int64_t>> values,
                                        ShapeBindings bindings) const {
    if (values.size() + bindings.parameters.size() != index_count_) {
        throw std::invalid_argument("one value sequence per index name is expected");
    }
    if (cell_numbers_ == CellNumbers::per_call && bindings.cells.size() < cell_slots_) {
        throw std::invalid_argument("the call binds fewer cells than the template's slots");
    }
}

std::int64_t TemplateInstantiator::instance_count(std::span<const std::vector<std::int64_t>> values) {
    std::int64_t count = 1;
    for (const auto& sequence : values) {
        if (__builtin_mul_overflow(count, static_cast<std::int64_t>(sequence.size()), &count)) {
            throw std::length_error("the index ranges have too many combinations");
        }
    }
    return count;
}

FlatClauses TemplateInstantiator::instantiate(std::span<const std::vector<std::int64_t>> values,
                                              std::int64_t first_auxiliary, bool whole_blocks,
                                              ShapeBindings bindings) const {
    check_values(values, bindings);
    const auto count = instance_count(values);
    if (count == 0) return {};
    if (affine_fits(values, count, first_auxiliary, bindings)) {
        return instantiate_affine(values, count, first_auxiliary, bindings);
    }
    return instantiate_checked(values, count, first_auxiliary, whole_blocks, bindings);
}

bool TemplateInstantiator::affine_fits(std::span<const std::vector<std::int64_t>> values, std::int64_t count,
                                       std::int64_t first_auxiliary, ShapeBindings bindings) const {
    // A template of few indexes, the usual one, takes its bounds without allocating.
    constexpr std::size_t few_indexes = 8;
    std::array<Bounds, few_indexes> few_bounds{};
    std::vector<Bounds> many_bounds(index_count_ > few_indexes ? index_count_ : 0);
    const std::span<Bounds> index_bounds =
        index_count_ > few_indexes ? std::span<Bounds>(many_bounds) : std::span<Bounds>(few_bounds).first(index_count_);
    std::size_t bounded = 0;
    for (const auto& sequence : values) {
        const auto [low, high] = std::minmax_element(sequence.begin(), sequence.end());
        index_bounds[bounded++] = {*low, *high};
    }
    for (const auto parameter : bindings.parameters) index_bounds[bounded++] = {parameter, parameter};
    // Auxiliary numbers of the last instance must fit as literals.
    std::int64_t last_auxiliary = 0;
    if (first_auxiliary < 1 || __builtin_mul_overflow(count, slots_.size(), &last_auxiliary) ||
        __builtin_add_overflow(last_auxiliary, first_auxiliary, &last_auxiliary) || last_auxiliary > largest_literal) {
        return false;
    }
    // Every distinct literal, used or not, must stay inside its variable in every instance.
    for (const auto& literal : distinct_) {
        if (literal.kind == TemplateLiteralKind::pbct_auxiliary || literal.kind == TemplateLiteralKind::bxpr_auxiliary) {
            continue;
        }
        if (literal.kind == TemplateLiteralKind::cell) {
            const auto number = cell_number(literal, bindings);
            if (!is_literal(number) || number < 1) return false;
            continue;
        }
        const auto& variable = called_[literal.called];
        if (variable.first < 1 || variable.first + variable.cell_count() - 1 > largest_literal) return false;
        const auto width = index_count_ + 1;
        for (std::size_t d = 0; d < variable.sizes.size(); ++d) {
            const std::span<const std::int64_t> form(forms_.data() + literal.forms_begin + d * width, width);
            const auto bounds = bounds_of(form, index_bounds);
            if (!bounds || bounds->low < 0 || bounds->high >= variable.sizes[d]) return false;
        }
    }
    return true;
}

FlatClauses TemplateInstantiator::instantiate_affine(std::span<const std::vector<std::int64_t>> values,
                                                     std::int64_t count, std::int64_t first_auxiliary,
                                                     ShapeBindings bindings) const {
    const auto instances = static_cast<std::size_t>(count);
    const auto clause_count = clause_ends_.size();
    const auto literal_count = uses_.size();
    // Sized once: the offsets' zero-filled first entry is the first clause's start.
    FlatClauses result{std::vector<Literal>(instances * literal_count),
                       std::vector<std::int64_t>(instances * clause_count + 1)};

    Literal* out = result.literals.data();
    std::int64_t* offset = result.offsets.data() + 1;
    Combinations combinations(values, bindings.parameters);
    for (std::size_t k = 0; k < instances; ++k) {
        const auto current = combinations.current();
        const auto auxiliary_base = first_auxiliary + static_cast<std::int64_t>(k) * slots_.size();
        Literal* clause_begin = out;
        std::size_t l = 0;
        for (std::size_t c = 0; c < clause_count; ++c) {
            for (; l < clause_ends_[c]; ++l) {
                const auto& use = uses_[l];
                const auto& literal = distinct_[use.distinct];
                std::int64_t number = 0;
                switch (literal.kind) {
                    case TemplateLiteralKind::cell: number = cell_number(literal, bindings); break;
                    case TemplateLiteralKind::occurrence: {
                        number = affine_bases_[use.distinct];
                        const std::int64_t* row = affine_rows_.data() + use.distinct * index_count_;
                        for (std::size_t n = 0; n < index_count_; ++n) number += row[n] * current[n];
                        break;
                    }
                    case TemplateLiteralKind::pbct_auxiliary:
                    case TemplateLiteralKind::bxpr_auxiliary: number = literal.value + auxiliary_base; break;
                }
                *out++ = static_cast<Literal>(use.negated ? -number : number);
            }
            sort_by_variable(std::span<Literal>(clause_begin, out));
            clause_begin = out;
            *offset++ = out - result.literals.data();
        }
        combinations.advance();
    }
    return result;
}

std::int64_t TemplateInstantiator::number_of(std::size_t literal, std::span<const std::int64_t> current,
                                             std::size_t named, std::optional<std::int64_t> start,
                                             std::vector<std::int64_t>& cell, std::int64_t instance,
                                             ShapeBindings bindings) const {
    const auto& distinct = distinct_[literal];
    const auto failure = [&](InstantiationFailure::Reason reason) {
        const auto values = current.first(named);
        return InstantiationFailure(reason, instance, {values.begin(), values.end()});
    };
    std::int64_t number = distinct.value;
    switch (distinct.kind) {
        case TemplateLiteralKind::cell: number = cell_number(distinct, bindings); break;
        case TemplateLiteralKind::occurrence: {
            const auto& variable = called_[distinct.called];
            const auto width = index_count_ + 1;
            bool inside = true;
            for (std::size_t d = 0; d < variable.sizes.size(); ++d) {
                const auto value =
                    value_of(std::span<const std::int64_t>(forms_.data() + distinct.forms_begin + d * width, width),
                             current);
                if (!value) {
                    auto overflow = failure(InstantiationFailure::Reason::index_overflow);
                    overflow.literal = literal;
                    overflow.variable = static_cast<std::size_t>(distinct.value);
                    throw overflow;
                }
                cell[d] = *value;
                inside = inside && *value >= 0 && *value < variable.sizes[d];
            }
            if (!inside) {
                auto outside = failure(InstantiationFailure::Reason::cell_out_of_range);
                outside.literal = literal;
                outside.variable = static_cast<std::size_t>(distinct.value);
                outside.cell.assign(cell.begin(), cell.begin() + static_cast<std::ptrdiff_t>(variable.sizes.size()));
                throw outside;
            }
            number = variable.first;
            for (std::size_t d = 0; d < variable.sizes.size(); ++d) number += cell[d] * variable.strides[d];
            break;
        }
        case TemplateLiteralKind::pbct_auxiliary:
        case TemplateLiteralKind::bxpr_auxiliary:
            if (!start || __builtin_add_overflow(*start, distinct.value, &number)) {
                throw failure(InstantiationFailure::Reason::numbers_exhausted);
            }
            break;
    }
    if (!is_literal(number)) {
        auto exhausted = failure(InstantiationFailure::Reason::numbers_exhausted);
        exhausted.number = number;
        throw exhausted;
    }
    return number;
}

FlatClauses TemplateInstantiator::instantiate_checked(std::span<const std::vector<std::int64_t>> values,
                                                      std::int64_t count, std::int64_t first_auxiliary,
                                                      bool whole_blocks, ShapeBindings bindings) const {
    const auto instances = static_cast<std::size_t>(count);
    FlatClauses result{{}, {}};
    result.offsets.reserve(instances * clause_ends_.size() + 1);
    result.offsets.push_back(0);
    result.literals.reserve(instances * uses_.size());
    std::size_t widest = 0;
    for (const auto& variable : called_) widest = std::max(widest, variable.sizes.size());
    std::vector<std::int64_t> cell(widest);
    std::vector<std::int64_t> numbers(distinct_.size());
    Combinations combinations(values, bindings.parameters);
    for (std::int64_t k = 0; k < count; ++k) {
        const auto current = combinations.current();
        std::optional<std::int64_t> start;
        std::int64_t offset = 0;
        std::int64_t first = 0;
        if (!__builtin_mul_overflow(k, slots_.size(), &offset) && !__builtin_add_overflow(first_auxiliary, offset, &first)) {
            start = first;
        }
        // Every distinct literal in its order, so that the first failure is
        // that of the first literal the clauses use.
        for (std::size_t d = 0; d < distinct_.size(); ++d) {
            numbers[d] = number_of(d, current, values.size(), start, cell, k, bindings);
        }
        if (whole_blocks && slots_.size() > 0 && (!start || *start > largest_literal - slots_.size() + 1)) {
            const auto named = current.first(values.size());
            throw InstantiationFailure(InstantiationFailure::Reason::numbers_exhausted, k, {named.begin(), named.end()});
        }
        std::size_t begin = 0;
        for (const auto end : clause_ends_) {
            const auto clause_begin = result.literals.size();
            for (std::size_t l = begin; l < end; ++l) {
                const auto number = numbers[uses_[l].distinct];
                result.literals.push_back(static_cast<Literal>(uses_[l].negated ? -number : number));
            }
            sort_by_variable(std::span<Literal>(result.literals.data() + clause_begin, result.literals.size() - clause_begin));
            result.offsets.push_back(static_cast<std::int64_t>(result.literals.size()));
            begin = end;
        }
        combinations.advance();
    }
    return result;
}

}  // namespace kelvo
