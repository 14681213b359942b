#include "engine/pbct/sequential_at_most_one.hpp"

namespace kelvo {

// seen_i: some of the first i + 1 literals is true.
void encode_sequential_at_most_one(std::span<const Literal> literals, ClauseWriter& writer) {
    const std::size_t n = literals.size();
    writer.expect(3 * static_cast<std::int64_t>(n) - 4);
    Literal seen = writer.new_variable();
    writer.add({-literals[0], seen});
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const Literal next_seen = writer.new_variable();
        writer.add({-literals[i], -seen});
        writer.add({-literals[i], next_seen});
        writer.add({-seen, next_seen});
        seen = next_seen;
    }
    writer.add({-literals[n - 1], -seen});
}

}  // namespace kelvo
