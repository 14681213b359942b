#include "engine/pbct/totalizer_encoding.hpp"

#include <algorithm>
#include <limits>
#include <map>
#include <vector>

namespace kelvo {

namespace {

// Pairs (i, j), 0 <= i <= left, 0 <= j <= right, with first <= i + j <= last.
std::int64_t pair_count(std::size_t left, std::size_t right, std::size_t first, std::size_t last) {
    std::int64_t count = 0;
    last = std::min(last, left + right);
    for (std::size_t total = first; total <= last; ++total) {
        const std::size_t lowest = total > right ? total - right : 0;
        const std::size_t highest = std::min(total, left);
        count += static_cast<std::int64_t>(highest - lowest + 1);
    }
    return count;
}

class TotalizerCounter {
public:
    explicit TotalizerCounter(std::size_t cap) : cap_(cap) {}

    // Clauses below and at an inner node over `size` leaves (outputs capped).
    std::int64_t inner(std::size_t size) {
        if (size <= 1) return 0;
        if (const auto known = memo_.find(size); known != memo_.end()) return known->second;
        const std::size_t left = size / 2, right = size - left;
        const auto count = inner(left) + inner(right) +
                           pair_count(std::min(left, cap_), std::min(right, cap_), 1, cap_);
        memo_[size] = count;
        return count;
    }

private:
    std::size_t cap_;
    std::map<std::size_t, std::int64_t> memo_;
};

class TotalizerBuilder {
public:
    TotalizerBuilder(ClauseWriter& writer, std::size_t cap) : writer_(writer), cap_(cap) {}

    // Unary count of the literals: outputs[t - 1] is implied by t of them true.
    std::vector<Literal> count(std::span<const Literal> literals) {
        if (literals.size() == 1) return {literals[0]};
        const auto left = count(literals.first(literals.size() / 2));
        const auto right = count(literals.subspan(literals.size() / 2));
        std::vector<Literal> outputs(std::min(left.size() + right.size(), cap_));
        for (auto& output : outputs) output = writer_.new_variable();
        for_pairs(left, right, 1, outputs.size(), [&](std::size_t i, std::size_t j) {
            clause_.clear();
            if (i > 0) clause_.push_back(-left[i - 1]);
            if (j > 0) clause_.push_back(-right[j - 1]);
            clause_.push_back(outputs[i + j - 1]);
            writer_.add(clause_);
        });
        return outputs;
    }

    // The root needs no outputs: only k + 1 leaves true together is refused.
    void forbid(std::span<const Literal> literals, std::size_t k) {
        const auto left = count(literals.first(literals.size() / 2));
        const auto right = count(literals.subspan(literals.size() / 2));
        for_pairs(left, right, k + 1, k + 1, [&](std::size_t i, std::size_t j) {
            clause_.clear();
            if (i > 0) clause_.push_back(-left[i - 1]);
            if (j > 0) clause_.push_back(-right[j - 1]);
            writer_.add(clause_);
        });
    }

private:
    template <typename Visit>
    static void for_pairs(std::span<const Literal> left, std::span<const Literal> right, std::size_t first,
                          std::size_t last, Visit visit) {
        for (std::size_t i = 0; i <= left.size(); ++i) {
            for (std::size_t j = i < first ? first - i : 0; j <= right.size() && i + j <= last; ++j) visit(i, j);
        }
    }

    ClauseWriter& writer_;
    std::size_t cap_;
    std::vector<Literal> clause_;
};

}  // namespace

std::int64_t totalizer_clause_count(std::size_t literal_count, std::size_t k) {
    const std::size_t left = literal_count / 2, right = literal_count - left;
    TotalizerCounter counter(k + 1);
    return counter.inner(left) + counter.inner(right) +
           pair_count(std::min(left, k + 1), std::min(right, k + 1), k + 1, k + 1);
}

void encode_totalizer_at_most(std::span<const Literal> literals, std::size_t k, ClauseWriter& writer) {
    writer.expect(totalizer_clause_count(literals.size(), k));
    TotalizerBuilder(writer, k + 1).forbid(literals, k);
}

}  // namespace kelvo
