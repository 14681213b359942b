#include "engine/pbct/at_most_one_encoding.hpp"

#include <cmath>
#include <map>

#include "engine/pbct/product_at_most_one.hpp"
#include "engine/pbct/sequential_at_most_one.hpp"

namespace kelvo {

namespace {

enum class AtMostOneKind { pairwise, sequential, product };

struct AtMostOneChoice {
    AtMostOneKind kind = AtMostOneKind::pairwise;
    std::int64_t clauses = 0;
    std::size_t rows = 0;  // of the product grid
};

std::int64_t pairwise_clause_count(std::size_t n) { return static_cast<std::int64_t>(n * (n - 1) / 2); }

// The best grid has about as many rows as columns; a few row counts below the
// square root find it (rows and columns swap roles, so no more are needed).
// Sizes recur in the recursion, so each is chosen once.
class AtMostOneChooser {
public:
    const AtMostOneChoice& choose(std::size_t n) {
        if (const auto known = choices_.find(n); known != choices_.end()) return known->second;
        AtMostOneChoice best{AtMostOneKind::pairwise, pairwise_clause_count(n), 0};
        if (n >= 3) consider(best, {AtMostOneKind::sequential, 3 * static_cast<std::int64_t>(n) - 4, 0});
        const auto root = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(n))));
        for (std::size_t rows = std::max<std::size_t>(2, root / 2); rows <= root && n >= 4; ++rows) {
            const std::size_t columns = product_columns(n, rows);
            const std::size_t rows_used = product_columns(n, columns);
            if (columns < 2 || rows_used < 2) continue;
            const auto clauses = 2 * static_cast<std::int64_t>(n) + choose(rows_used).clauses + choose(columns).clauses;
            consider(best, {AtMostOneKind::product, clauses, rows_used});
        }
        return choices_.emplace(n, best).first->second;
    }

private:
    static void consider(AtMostOneChoice& best, const AtMostOneChoice& candidate) {
        if (candidate.clauses < best.clauses) best = candidate;
    }

    std::map<std::size_t, AtMostOneChoice> choices_;
};

void encode_pairwise(std::span<const Literal> literals, ClauseWriter& writer) {
    for (std::size_t i = 0; i < literals.size(); ++i) {
        for (std::size_t j = i + 1; j < literals.size(); ++j) writer.add({-literals[i], -literals[j]});
    }
}

}  // namespace

std::int64_t at_most_one_clause_count(std::size_t literal_count) {
    return literal_count <= 1 ? 0 : AtMostOneChooser().choose(literal_count).clauses;
}

void encode_at_most_one(std::span<const Literal> literals, ClauseWriter& writer) {
    if (literals.size() <= 1) return;
    const auto choice = AtMostOneChooser().choose(literals.size());
    writer.expect(choice.clauses);
    switch (choice.kind) {
        case AtMostOneKind::pairwise: encode_pairwise(literals, writer); return;
        case AtMostOneKind::sequential: encode_sequential_at_most_one(literals, writer); return;
        case AtMostOneKind::product: encode_product_at_most_one(literals, choice.rows, writer); return;
    }
}

}  // namespace kelvo
