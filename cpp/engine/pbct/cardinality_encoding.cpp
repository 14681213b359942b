#include "engine/pbct/cardinality_encoding.hpp"

#include <optional>
#include <vector>

#include "engine/pbct/adder_encoding.hpp"
#include "engine/pbct/modulo_totalizer_encoding.hpp"
#include "engine/pbct/sequential_at_most_one.hpp"
#include "engine/pbct/sequential_counter_encoding.hpp"
#include "engine/pbct/totalizer_encoding.hpp"

namespace kelvo {

namespace {

// The plain totalizer and the sequential counter propagate fully, the modulo
// totalizer does not; the full ones are kept unless clearly larger. Where the
// sequential counter is no larger (small k) it is taken: a solver refutes
// capacity pigeonhole faster on it than on the totalizer. When nothing fits
// the clause limit, the far smaller (and weaker) adder network may.
constexpr double totalizer_preference = 1.5;

void encode_adders_at_most(std::span<const Literal> literals, std::size_t k, ClauseWriter& writer) {
    std::vector<WeightedTerm> terms;
    terms.reserve(literals.size());
    for (const auto literal : literals) terms.push_back({literal, 1});
    encode_with_adders(terms, static_cast<std::int64_t>(k), std::nullopt, writer);
}

void encode_counting_at_most(std::span<const Literal> literals, std::size_t k, ClauseWriter& writer) {
    const auto budget = writer.clause_budget();
    const auto plain = totalizer_clause_count(literals.size(), k);
    const auto modulo = best_modulus(literals.size(), k, budget);
    const bool plain_fits = plain <= budget;
    const bool modulo_fits = modulo.clauses <= budget;
    const bool modulo_clearly_smaller =
        static_cast<double>(plain) > totalizer_preference * static_cast<double>(modulo.clauses);
    const auto sequential = sequential_counter_clause_count(literals.size(), k);
    if (modulo_fits && (!plain_fits || modulo_clearly_smaller)) {
        encode_modulo_totalizer_at_most(literals, k, modulo.modulus, writer);
    } else if (sequential <= plain && sequential <= budget) {
        encode_sequential_counter_at_most(literals, k, writer);
    } else if (plain_fits) {
        encode_totalizer_at_most(literals, k, writer);
    } else {
        encode_adders_at_most(literals, k, writer);
    }
}

}  // namespace

void encode_at_most(std::span<const Literal> literals, std::size_t k, ClauseWriter& writer) {
    const std::size_t n = literals.size();
    if (k >= n) return;
    if (k == 0) {
        for (const auto literal : literals) writer.add({-literal});
    } else if (k == 1) {
        encode_at_most_one(literals, writer);
    } else if (k + 1 == n) {
        std::vector<Literal> not_all(literals.begin(), literals.end());
        for (auto& literal : not_all) literal = -literal;
        writer.add(not_all);
    } else {
        encode_counting_at_most(literals, k, writer);
    }
}

}  // namespace kelvo
