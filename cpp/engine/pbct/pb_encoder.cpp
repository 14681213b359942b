#include "engine/pbct/pb_encoder.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/pbct/adder_encoding.hpp"
#include "engine/pbct/cardinality_encoding.hpp"
#include "engine/pbct/clause_writer.hpp"
#include "engine/pbct/pb_normalisation.hpp"

namespace kelvo {

namespace {

void check_inputs_below_numberer(const PBConstraint& constraint, const AuxVarManager& variables) {
    for (const auto& term : constraint.terms()) {
        if (std::abs(static_cast<std::int64_t>(term.literal)) >= variables.next_variable()) {
            throw std::invalid_argument("variable " + std::to_string(std::abs(term.literal)) +
                                        " was not handed out by the numberer, whose next number is " +
                                        std::to_string(variables.next_variable()) +
                                        ": the encoding's auxiliaries would coincide with it");
        }
    }
}

// Both bounds go to one structure, which reads the count from both sides.
void encode_cardinality(const NormalisedConstraint& normal, ClauseWriter& writer) {
    std::vector<Literal> literals;
    literals.reserve(normal.terms.size());
    for (const auto& term : normal.terms) literals.push_back(term.literal);
    encode_cardinality(literals, static_cast<std::size_t>(*normal.upper),
                       static_cast<std::size_t>(normal.lower.value_or(0)), writer);
}

}  // namespace

PbEncoder::PbEncoder(PBConfig config) : config_(config) {
    if (config_.max_clauses_per_constraint < 0) {
        throw std::invalid_argument("max_clauses_per_constraint must not be negative");
    }
}

void PbEncoder::encode(const PBConstraint& constraint, VectorClauseDatabase& database,
                       AuxVarManager& variables) const {
    check_inputs_below_numberer(constraint, variables);
    const auto normal = normalise(constraint);
    ClauseWriter writer(variables, config_.max_clauses_per_constraint);
    if (normal.contradiction) {
        writer.add(std::span<const Literal>{});
    } else {
        for (const auto literal : normal.forced) writer.add({literal});
    }
    if (normal.upper) {
        if (config_.cardinality_encodings && normal.is_cardinality()) {
            encode_cardinality(normal, writer);
        } else {
            encode_with_adders(normal.terms, *normal.upper, normal.lower, writer);
        }
    }
    database.add_clauses(writer.clauses());
    variables = writer.variables();
}

}  // namespace kelvo
