#include "kernels/clause_assembly/clause_writer.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include "engine/support/instance_order.hpp"

namespace vx {

ClauseWriter::ClauseWriter(const AuxiliaryBlock& block, std::span<const std::uint64_t> weights)
    : block_(block), weights_(weights), seen_in_(static_cast<std::size_t>(std::max<std::int64_t>(block.size(), 0)), -1) {}

void ClauseWriter::reserve(std::size_t clauses, std::size_t literals) {
    result_.offsets.reserve(clauses + 1);
    result_.literals.reserve(literals);
    if (!weights_.empty()) result_.weights.reserve(clauses);
}

void ClauseWriter::begin_instance(std::int64_t instance) { instance_ = instance; }

void ClauseWriter::append(std::int64_t literal) {
    if (literal > std::numeric_limits<Literal>::max() || literal < -std::numeric_limits<Literal>::max()) {
        throw std::invalid_argument("literal " + std::to_string(literal) + " is out of the 32-bit range");
    }
    result_.literals.push_back(static_cast<Literal>(literal));
}

void ClauseWriter::add_variable_literal(std::int64_t literal) {
    if (literal == 0) {
        throw std::invalid_argument("variable number 0 cannot be a literal: clause literals are numbered from 1");
    }
    append(literal);
}

void ClauseWriter::add_auxiliary_literal(const AuxiliaryLiteral& literal) {
    const auto number = block_.number(instance_, literal.slot);
    auto& seen = seen_in_[static_cast<std::size_t>(literal.slot)];
    if (seen != instance_) {
        seen = instance_;
        result_.auxiliaries.push_back({instance_, literal.slot});
    }
    append(literal.negated ? -number : number);
}

void ClauseWriter::end_clause(std::size_t position) {
    auto& literals = result_.literals;
    kelvo::sort_by_variable(std::span<Literal>(literals.data() + clause_begin_, literals.size() - clause_begin_));
    result_.offsets.push_back(static_cast<std::int64_t>(literals.size()));
    if (!weights_.empty()) result_.weights.push_back(weights_[position]);
    clause_begin_ = literals.size();
}

}  // namespace vx
