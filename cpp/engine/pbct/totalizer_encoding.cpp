#include "engine/pbct/totalizer_encoding.hpp"

#include <algorithm>
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

// Outputs of a node over `size` leaves: upward clauses for sums 1..outputs,
// downward ones (sums 0..exact - 1 of the halves) for the exact outputs.
class TotalizerCounter {
public:
    TotalizerCounter(std::size_t cap, std::size_t exact) : cap_(cap), exact_(exact) {}

    std::int64_t inner(std::size_t size) {
        if (size <= 1) return 0;
        if (const auto known = memo_.find(size); known != memo_.end()) return known->second;
        const std::size_t left = std::min(size / 2, cap_), right = std::min(size - size / 2, cap_);
        const std::size_t outputs = std::min(size, cap_);
        auto count = inner(size / 2) + inner(size - size / 2) + pair_count(left, right, 1, outputs);
        if (exact_ > 0) count += pair_count(left, right, 0, std::min(outputs, exact_) - 1);
        memo_[size] = count;
        return count;
    }

private:
    std::size_t cap_;
    std::size_t exact_;
    std::map<std::size_t, std::int64_t> memo_;
};

class TotalizerBuilder {
public:
    TotalizerBuilder(ClauseWriter& writer, std::size_t at_most, std::size_t at_least)
        : writer_(writer), cap_(at_most + 1), exact_(at_least) {}

    // Unary count of the literals: outputs[t - 1] is implied by t of them
    // true, and for t <= exact_ implies it.
    std::vector<Literal> count(std::span<const Literal> literals) {
        if (literals.size() == 1) return {literals[0]};
        const auto left = count(literals.first(literals.size() / 2));
        const auto right = count(literals.subspan(literals.size() / 2));
        std::vector<Literal> outputs(std::min(left.size() + right.size(), cap_));
        for (auto& output : outputs) output = writer_.new_variable();
        for_pairs(left, right, 1, outputs.size(), [&](std::size_t i, std::size_t j) {
            start_clause({-at(left, i), -at(right, j)});
            finish_clause(outputs[i + j - 1]);
        });
        const auto exact = std::min(outputs.size(), exact_);
        if (exact == 0) return outputs;
        // Halves counting at most i and j leave the node at most i + j.
        for_pairs(left, right, 0, exact - 1, [&](std::size_t i, std::size_t j) {
            start_clause({above(left, i), above(right, j)});
            finish_clause(-outputs[i + j]);
        });
        return outputs;
    }

    // The root needs no outputs: its halves may not reach at_most + 1
    // together, and must reach at_least.
    void bound(std::span<const Literal> literals) {
        const auto left = count(literals.first(literals.size() / 2));
        const auto right = count(literals.subspan(literals.size() / 2));
        for_pairs(left, right, cap_, cap_, [&](std::size_t i, std::size_t j) {
            start_clause({-at(left, i), -at(right, j)});
            writer_.add(clause_);
        });
        if (exact_ == 0) return;
        for_pairs(left, right, exact_ - 1, exact_ - 1, [&](std::size_t i, std::size_t j) {
            start_clause({above(left, i), above(right, j)});
            writer_.add(clause_);
        });
    }

private:
    // The output "at least i" (i >= 1) or 0 for "at least 0", which is left out.
    static Literal at(std::span<const Literal> outputs, std::size_t i) { return i > 0 ? outputs[i - 1] : 0; }
    // The output "at least i + 1", or 0 (false, left out) past the node's leaves.
    static Literal above(std::span<const Literal> outputs, std::size_t i) {
        return i < outputs.size() ? outputs[i] : 0;
    }

    void start_clause(std::initializer_list<Literal> literals) {
        clause_.clear();
        for (const auto literal : literals) {
            if (literal != 0) clause_.push_back(literal);
        }
    }
    void finish_clause(Literal literal) {
        clause_.push_back(literal);
        writer_.add(clause_);
    }

    template <typename Visit>
    static void for_pairs(std::span<const Literal> left, std::span<const Literal> right, std::size_t first,
                          std::size_t last, Visit visit) {
        for (std::size_t i = 0; i <= left.size(); ++i) {
            for (std::size_t j = i < first ? first - i : 0; j <= right.size() && i + j <= last; ++j) visit(i, j);
        }
    }

    ClauseWriter& writer_;
    std::size_t cap_;
    std::size_t exact_;
    std::vector<Literal> clause_;
};

}  // namespace

std::int64_t totalizer_clause_count(std::size_t literal_count, std::size_t at_most, std::size_t at_least) {
    const std::size_t cap = at_most + 1;
    const std::size_t left = literal_count / 2, right = literal_count - left;
    TotalizerCounter counter(cap, at_least);
    auto count = counter.inner(left) + counter.inner(right) +
                 pair_count(std::min(left, cap), std::min(right, cap), cap, cap);
    if (at_least > 0) count += pair_count(std::min(left, cap), std::min(right, cap), at_least - 1, at_least - 1);
    return count;
}

void encode_totalizer(std::span<const Literal> literals, std::size_t at_most, std::size_t at_least,
                      ClauseWriter& writer) {
    writer.expect(totalizer_clause_count(literals.size(), at_most, at_least));
    TotalizerBuilder(writer, at_most, at_least).bound(literals);
}

}  // namespace kelvo
