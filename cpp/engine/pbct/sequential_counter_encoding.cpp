#include "engine/pbct/sequential_counter_encoding.hpp"

#include <algorithm>
#include <vector>

namespace kelvo {

namespace {

// Counter bits kept after the prefix of `length` literals.
std::size_t bits_after(std::size_t length, std::size_t k) { return std::min(length, k); }

}  // namespace

std::int64_t sequential_counter_clause_count(std::size_t literal_count, std::size_t k) {
    std::int64_t count = 1;  // the first literal starts the count
    for (std::size_t i = 1; i < literal_count; ++i) {
        const auto before = bits_after(i, k);
        if (before == k) ++count;  // refusal
        if (i + 1 == literal_count) break;
        count += 1 + static_cast<std::int64_t>(before) + static_cast<std::int64_t>(bits_after(i + 1, k)) - 1;
    }
    return count;
}

// count[j]: at least j + 1 of the literals so far are true (implied upwards).
void encode_sequential_counter_at_most(std::span<const Literal> literals, std::size_t k, ClauseWriter& writer) {
    writer.expect(sequential_counter_clause_count(literals.size(), k));
    std::vector<Literal> count{writer.new_variable()};
    writer.add({-literals[0], count[0]});
    std::vector<Literal> next;
    for (std::size_t i = 1; i < literals.size(); ++i) {
        const Literal literal = literals[i];
        if (count.size() == k) writer.add({-literal, -count[k - 1]});
        if (i + 1 == literals.size()) break;
        next.resize(bits_after(i + 1, k));
        for (auto& bit : next) bit = writer.new_variable();
        writer.add({-literal, next[0]});
        for (std::size_t j = 0; j < count.size(); ++j) writer.add({-count[j], next[j]});
        for (std::size_t j = 1; j < next.size(); ++j) writer.add({-literal, -count[j - 1], next[j]});
        std::swap(count, next);
    }
}

}  // namespace kelvo
