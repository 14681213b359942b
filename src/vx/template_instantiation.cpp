// Enumerates the index combinations of a compiled clause template and numbers
// every instance natively.

#include <stdexcept>

#include "vx/clause_template.hpp"

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

}  // namespace

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
            const auto& literal = literals_[l];
            if (literal.auxiliary) {
                writer.add_auxiliary_literal(literal.auxiliary_literal);
            } else {
                const auto number = number_call(literal.call, values, cell);
                writer.add_variable_literal(literal.negated ? -number : number);
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
    ClauseWriter writer(block_, weights);
    if (count == 0) return writer.take();
    const auto instances = static_cast<std::size_t>(count);
    writer.reserve(instances * clause_ends_.size(), instances * literals_.size());

    std::vector<std::size_t> positions(values.size(), 0);
    std::vector<std::int64_t> current(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) current[i] = values[i][0];
    std::size_t widest_call = 0;
    for (const auto& shape : shapes_) widest_call = std::max(widest_call, shape.sizes.size());
    std::vector<std::int64_t> cell(widest_call);

    for (std::int64_t k = 0; k < count; ++k) {
        writer.begin_instance(k);
        number_instance(current, cell, writer);
        // The last index runs fastest.
        for (std::size_t i = values.size(); i-- > 0;) {
            if (++positions[i] < values[i].size()) {
                current[i] = values[i][positions[i]];
                break;
            }
            positions[i] = 0;
            current[i] = values[i][0];
        }
    }
    return writer.take();
}

}  // namespace vx
