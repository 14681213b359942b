// Enumerates the index combinations of a compiled clause template and numbers
// every instance natively.

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "engine/support/instance_order.hpp"
#include "kernels/clause_assembly/clause_template.hpp"

namespace vx {

namespace {

// Product of the lengths; throws std::length_error when it does not fit.
std::int64_t instance_count(std::span<const std::vector<std::int64_t>> values) {
    std::int64_t count = 1;
    for (const auto& sequence : values) {
        if (__builtin_mul_overflow(count, static_cast<std::int64_t>(sequence.size()), &count)) {
            throw std::length_error("the index ranges have too many combinations");
        }
    }
    return count;
}

// The index values of the current combination, in the engine's order of combinations.
class Combinations {
public:
    explicit Combinations(std::span<const std::vector<std::int64_t>> values)
        : values_(values), positions_(values.size(), 0), lengths_(values.size()), current_(values.size()) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            lengths_[i] = values[i].size();
            current_[i] = values[i][0];
        }
    }

    [[nodiscard]] std::span<const std::int64_t> current() const { return current_; }

    void advance() {
        kelvo::next_combination(positions_, lengths_);
        for (std::size_t i = 0; i < values_.size(); ++i) current_[i] = values_[i][positions_[i]];
    }

private:
    std::span<const std::vector<std::int64_t>> values_;
    std::vector<std::size_t> positions_;
    std::vector<std::size_t> lengths_;
    std::vector<std::int64_t> current_;
};

}  // namespace

struct ClauseTemplate::AffinePlan {
    struct Literal {
        bool negated;
        bool auxiliary;
        std::int64_t base;  // the number at all index values 0, or the slot
    };

    std::vector<Literal> literals;
    // Coefficient of index n in literal l at l * index_count + n.
    std::vector<std::int64_t> coefficients;
    // The template's auxiliary slots in order of first occurrence.
    std::vector<std::int64_t> auxiliary_order;
};

std::int64_t ClauseTemplate::number_call(const Call& call, std::span<const std::int64_t> values,
                                         std::vector<std::int64_t>& cell) const {
    const auto& shape = shapes_[call.variable];
    bool inside = true;
    for (std::size_t d = 0; d < call.indexes.size(); ++d) {
        const auto value = call.indexes[d].evaluate(values);
        if (!value) throw HostEvaluationNeeded();
        cell[d] = *value;
        inside = inside && *value >= 0 && *value < shape.sizes[d];
    }
    if (!inside) throw CellOutOfRange(shape.name, std::vector<std::int64_t>(cell.begin(), cell.begin() + static_cast<std::ptrdiff_t>(call.indexes.size())));
    std::int64_t number = shape.first;
    for (std::size_t d = 0; d < call.indexes.size(); ++d) number += cell[d] * shape.strides[d];
    return number;
}

void ClauseTemplate::number_instance(std::span<const std::int64_t> values, std::vector<std::int64_t>& cell,
                                     ClauseWriter& writer) const {
    std::size_t begin = 0;
    for (std::size_t c = 0; c < clause_ends_.size(); ++c) {
        for (std::size_t l = begin; l < clause_ends_[c]; ++l) {
            const auto& use = literals_[l];
            const auto& literal = read_[use.read];
            if (literal.auxiliary) {
                auto auxiliary = literal.auxiliary_literal;
                auxiliary.negated = auxiliary.negated != use.negated;
                writer.add_auxiliary_literal(auxiliary);
            } else {
                const auto number = number_call(literal.call, values, cell);
                writer.add_variable_literal(literal.negated != use.negated ? -number : number);
            }
        }
        writer.end_clause(c);
        begin = clause_ends_[c];
    }
}


InstantiatedClauses ClauseTemplate::instantiate(std::span<const std::vector<std::int64_t>> values,
                                                std::span<const std::uint64_t> weights) const {
    if (values.size() != index_count_) throw std::invalid_argument("one value sequence per index name is expected");
    if (!weights.empty() && weights.size() != clause_ends_.size()) {
        throw std::invalid_argument("one weight per template clause is expected");
    }
    const auto count = instance_count(values);
    if (count == 0) return ClauseWriter(block_, weights).take();
    if (const auto plan = affine_plan(values, count)) return instantiate_affine(*plan, values, weights, count);
    return instantiate_checked(values, weights, count);
}

InstantiatedClauses ClauseTemplate::instantiate_checked(std::span<const std::vector<std::int64_t>> values,
                                                        std::span<const std::uint64_t> weights,
                                                        std::int64_t count) const {
    ClauseWriter writer(block_, weights);
    const auto instances = static_cast<std::size_t>(count);
    writer.reserve(instances * clause_ends_.size(), instances * literals_.size());
    std::size_t widest_call = 0;
    for (const auto& shape : shapes_) widest_call = std::max(widest_call, shape.sizes.size());
    std::vector<std::int64_t> cell(widest_call);
    Combinations combinations(values);
    for (std::int64_t k = 0; k < count; ++k) {
        writer.begin_instance(k);
        number_instance(combinations.current(), cell, writer);
        combinations.advance();
    }
    return writer.take();
}


namespace {

struct Bounds {
    std::int64_t low;
    std::int64_t high;
};

// The exact range of an affine expression over all combinations: each index
// occurs in one term, so the extremes of the terms are reached together.
std::optional<Bounds> bounds_of(const ClauseTemplate::AffineIndex& expression, std::span<const Bounds> index_bounds) {
    Bounds bounds{expression.constant, expression.constant};
    for (const auto& term : expression.terms) {
        std::int64_t at_low = 0;
        std::int64_t at_high = 0;
        const auto& values = index_bounds[term.index];
        if (__builtin_mul_overflow(term.coefficient, values.low, &at_low) ||
            __builtin_mul_overflow(term.coefficient, values.high, &at_high) ||
            __builtin_add_overflow(bounds.low, std::min(at_low, at_high), &bounds.low) ||
            __builtin_add_overflow(bounds.high, std::max(at_low, at_high), &bounds.high)) {
            return std::nullopt;
        }
    }
    return bounds;
}

}  // namespace

std::optional<ClauseTemplate::AffinePlan> ClauseTemplate::affine_plan(
    std::span<const std::vector<std::int64_t>> values, std::int64_t count) const {
    std::vector<Bounds> index_bounds;
    for (const auto& sequence : values) {
        const auto [low, high] = std::minmax_element(sequence.begin(), sequence.end());
        index_bounds.push_back({*low, *high});
    }
    // Auxiliary numbers of the last instance must fit as literals.
    std::int64_t last_auxiliary = 0;
    if (block_.first < 1 || __builtin_mul_overflow(count, block_.size(), &last_auxiliary) ||
        __builtin_add_overflow(last_auxiliary, block_.first, &last_auxiliary) ||
        last_auxiliary > std::numeric_limits<vx::Literal>::max()) {
        return std::nullopt;
    }
    // Each distinct literal's number as a base and a row of coefficients,
    // worked out once however often the clauses use it.
    std::vector<std::int64_t> read_bases(read_.size(), 0);
    std::vector<std::int64_t> read_coefficients(read_.size() * index_count_, 0);
    for (std::size_t r = 0; r < read_.size(); ++r) {
        const auto& literal = read_[r];
        if (literal.auxiliary) continue;
        const auto& shape = shapes_[literal.call.variable];
        std::int64_t cells = 1;
        for (const auto size : shape.sizes) cells *= size;
        if (shape.first < 1 || shape.first + cells - 1 > std::numeric_limits<vx::Literal>::max()) return std::nullopt;
        // Inside the dimensions everywhere, the number stays among the
        // variable's cells, so no sum below can overflow.
        std::int64_t base = shape.first;
        for (std::size_t d = 0; d < literal.call.indexes.size(); ++d) {
            const auto& expression = literal.call.indexes[d];
            const auto bounds = bounds_of(expression, index_bounds);
            if (!bounds || bounds->low < 0 || bounds->high >= shape.sizes[d]) return std::nullopt;
            const auto stride = shape.strides[d];
            base += expression.constant * stride;
            for (const auto& term : expression.terms) {
                read_coefficients[r * index_count_ + term.index] += term.coefficient * stride;
            }
        }
        read_bases[r] = base;
    }
    AffinePlan plan;
    plan.literals.reserve(literals_.size());
    plan.coefficients.assign(literals_.size() * index_count_, 0);
    std::vector<bool> seen(static_cast<std::size_t>(block_.size()), false);
    for (std::size_t l = 0; l < literals_.size(); ++l) {
        const auto& use = literals_[l];
        const auto& literal = read_[use.read];
        if (literal.auxiliary) {
            const auto slot = literal.auxiliary_literal.slot;
            plan.literals.push_back({literal.auxiliary_literal.negated != use.negated, true, slot});
            if (!seen[static_cast<std::size_t>(slot)]) {
                seen[static_cast<std::size_t>(slot)] = true;
                plan.auxiliary_order.push_back(slot);
            }
            continue;
        }
        std::copy_n(read_coefficients.begin() + static_cast<std::ptrdiff_t>(use.read * index_count_), index_count_,
                    plan.coefficients.begin() + static_cast<std::ptrdiff_t>(l * index_count_));
        plan.literals.push_back({literal.negated != use.negated, false, read_bases[use.read]});
    }
    return plan;
}

InstantiatedClauses ClauseTemplate::instantiate_affine(const AffinePlan& plan,
                                                       std::span<const std::vector<std::int64_t>> values,
                                                       std::span<const std::uint64_t> weights,
                                                       std::int64_t count) const {
    const auto instances = static_cast<std::size_t>(count);
    const auto clause_count = clause_ends_.size();
    const auto literal_count = literals_.size();
    InstantiatedClauses result;
    result.literals.resize(instances * literal_count);
    result.offsets.resize(instances * clause_count + 1);
    if (!weights.empty()) result.weights.resize(instances * clause_count);
    result.auxiliaries.reserve(instances * plan.auxiliary_order.size());

    vx::Literal* out = result.literals.data();
    std::int64_t* offset = result.offsets.data() + 1;
    std::uint64_t* weight = result.weights.data();
    const std::int64_t* coefficients = plan.coefficients.data();
    Combinations combinations(values);
    for (std::size_t k = 0; k < instances; ++k) {
        const auto current = combinations.current();
        const auto auxiliary_base = block_.first + static_cast<std::int64_t>(k) * block_.size();
        vx::Literal* clause_begin = out;
        std::size_t l = 0;
        for (std::size_t c = 0; c < clause_count; ++c) {
            for (; l < clause_ends_[c]; ++l) {
                const auto& literal = plan.literals[l];
                std::int64_t number = literal.base;
                if (literal.auxiliary) {
                    number += auxiliary_base;
                } else {
                    const std::int64_t* row = coefficients + l * index_count_;
                    for (std::size_t n = 0; n < index_count_; ++n) number += row[n] * current[n];
                }
                *out++ = static_cast<vx::Literal>(literal.negated ? -number : number);
            }
            kelvo::sort_by_variable(std::span<vx::Literal>(clause_begin, out));
            clause_begin = out;
            *offset++ = out - result.literals.data();
            if (!weights.empty()) *weight++ = weights[c];
        }
        for (const auto slot : plan.auxiliary_order) result.auxiliaries.push_back({static_cast<std::int64_t>(k), slot});
        combinations.advance();
    }
    return result;
}

}  // namespace vx
