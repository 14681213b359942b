#include "engine/cardinality_encoding.hpp"

#include <vector>

#include "engine/sequential_at_most_one.hpp"
#include "engine/totalizer_encoding.hpp"

namespace kelvo {

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
        encode_totalizer_at_most(literals, k, writer);
    }
}

}  // namespace kelvo
