#include "engine/cardinality_encoding.hpp"

#include <vector>

#include "engine/modulo_totalizer_encoding.hpp"
#include "engine/sequential_at_most_one.hpp"
#include "engine/totalizer_encoding.hpp"

namespace kelvo {

namespace {

// The plain totalizer propagates fully, the modulo totalizer does not; the
// plain one is kept unless it is clearly larger.
constexpr double totalizer_preference = 1.5;

void encode_counting_at_most(std::span<const Literal> literals, std::size_t k, ClauseWriter& writer) {
    const auto plain = totalizer_clause_count(literals.size(), k);
    const auto modulo = best_modulus(literals.size(), k);
    if (static_cast<double>(plain) <= totalizer_preference * static_cast<double>(modulo.clauses)) {
        encode_totalizer_at_most(literals, k, writer);
    } else {
        writer.expect(modulo.clauses);
        encode_modulo_totalizer_at_most(literals, k, modulo.modulus, writer);
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
