#include "engine/pbct/cardinality_encoding.hpp"

#include <optional>
#include <vector>

#include "engine/pbct/adder_encoding.hpp"
#include "engine/pbct/at_most_one_encoding.hpp"
#include "engine/pbct/sequential_counter_encoding.hpp"
#include "engine/pbct/totalizer_encoding.hpp"

namespace kelvo {

namespace {

// The counter and the totalizer propagate fully, the adder does not: on
// capacity pigeonhole a solver needs 5 to 80 times longer on adders 1.5 to 4
// times smaller. The full encodings are kept unless this many times larger
// than the adder (then their size is what costs).
constexpr std::int64_t adder_preference = 10;
// Of the two, the counter is taken unless the totalizer is clearly smaller: on
// capacity pigeonhole a solver refutes the counter up to four times faster at
// about the same size.
constexpr double counter_preference = 1.5;

// The adders write more than three clauses per literal (seven a half adder,
// fourteen a full adder, about one adder per literal): a full encoding below
// adder_preference times this is kept without trying them.
std::int64_t fewest_adder_clauses(std::size_t literal_count) { return 3 * static_cast<std::int64_t>(literal_count); }

std::vector<Literal> negations(std::span<const Literal> literals) {
    std::vector<Literal> negated(literals.begin(), literals.end());
    for (auto& literal : negated) literal = -literal;
    return negated;
}

// The adder network staged apart, so that its size can be weighed before it
// is kept; nothing when it does not fit the clause limit.
std::optional<ClauseWriter> staged_adders(std::span<const Literal> literals, std::size_t at_most,
                                          std::size_t at_least, const ClauseWriter& writer) {
    std::vector<WeightedTerm> terms;
    terms.reserve(literals.size());
    for (const auto literal : literals) terms.push_back({literal, 1});
    ClauseWriter staged(writer.variables(), writer.clause_budget());
    try {
        const auto lower = at_least > 0 ? std::optional<std::int64_t>(at_least) : std::nullopt;
        encode_with_adders(terms, static_cast<std::int64_t>(at_most), lower, staged);
    } catch (const ClauseLimitExceeded&) {
        return std::nullopt;
    }
    return staged;
}

enum class FullEncoding { sequential_counter, totalizer };

struct FullChoice {
    FullEncoding encoding;
    std::int64_t clauses;
};

// The preferred full encoding that fits the clause limit, else the smaller one.
FullChoice full_encoding(std::size_t n, std::size_t at_most, std::size_t at_least, std::int64_t budget) {
    const FullChoice sequential{FullEncoding::sequential_counter,
                                sequential_counter_clause_count(n, at_most, at_least)};
    const FullChoice totalizer{FullEncoding::totalizer, totalizer_clause_count(n, at_most, at_least)};
    const bool counter_preferred =
        static_cast<double>(sequential.clauses) <= counter_preference * static_cast<double>(totalizer.clauses);
    if (counter_preferred && sequential.clauses <= budget) return sequential;
    return totalizer.clauses <= sequential.clauses ? totalizer : sequential;
}

void encode_counting(std::span<const Literal> literals, std::size_t at_most, std::size_t at_least,
                     ClauseWriter& writer) {
    const auto n = literals.size();
    const auto budget = writer.clause_budget();
    const auto full = full_encoding(n, at_most, at_least, budget);
    if (full.clauses > adder_preference * fewest_adder_clauses(n) || full.clauses > budget) {
        if (auto adders = staged_adders(literals, at_most, at_least, writer)) {
            const auto adder_clauses = static_cast<std::int64_t>(adders->clauses().size());
            if (full.clauses > adder_preference * adder_clauses || full.clauses > budget) {
                writer.append(*adders);
                return;
            }
        }
    }
    if (full.encoding == FullEncoding::sequential_counter) {
        encode_sequential_counter(literals, at_most, at_least, writer);
    } else {
        encode_totalizer(literals, at_most, at_least, writer);
    }
}

// Bounds that leave both sides open: 1 <= at_most < n.
void encode_open_bounds(std::span<const Literal> literals, std::size_t at_most, std::size_t at_least,
                        ClauseWriter& writer) {
    const std::size_t n = literals.size();
    if (at_least == 1) {
        // One clause says it, as strongly as any counter.
        writer.add(literals);
        at_least = 0;
    }
    if (at_least == 0 && at_most == 1) {
        encode_at_most_one(literals, writer);
    } else if (at_least == 0 && at_most + 1 == n) {
        writer.add(negations(literals));
    } else {
        encode_counting(literals, at_most, at_least, writer);
    }
}

}  // namespace

void encode_cardinality(std::span<const Literal> literals, std::size_t at_most, std::size_t at_least,
                        ClauseWriter& writer) {
    const std::size_t n = literals.size();
    if (at_most == 0) {
        for (const auto literal : literals) writer.add({-literal});
        return;
    }
    // The structures grow with at_most: count the false literals where that
    // is the smaller count.
    if (at_least > 0 && n - at_least < at_most) {
        const auto negated = negations(literals);
        encode_open_bounds(negated, n - at_least, n - at_most, writer);
    } else {
        encode_open_bounds(literals, at_most, at_least, writer);
    }
}

}  // namespace kelvo
