#include "engine/pbct/modulo_totalizer_encoding.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace kelvo {

namespace {

// The count of a node's leaves: remainder[i - 1] is implied by a remainder of
// at least i, quotient[u - 1] by a quotient of at least u. Both are kept
// ordered (a bit implies the bits below it). The clauses only push a node's
// count up: in every model it is at least the true count of its leaves.
struct ModuloCount {
    std::size_t size = 0;  // leaves below the node
    std::vector<Literal> remainder;
    std::vector<Literal> quotient;
};

struct CountAboveCap {};

// Counts instead of writing, to compare moduli; gives up (CountAboveCap) once
// the count passes the cap, so that hopeless candidates cost little.
class ClauseCounter {
public:
    explicit ClauseCounter(std::int64_t cap) : cap_(cap) {}
    Literal new_variable() { return 1; }
    void add(std::span<const Literal>) {
        if (++clauses_ > cap_) throw CountAboveCap{};
    }
    [[nodiscard]] std::int64_t clauses() const { return clauses_; }
    [[nodiscard]] std::int64_t cap() const { return cap_; }

private:
    std::int64_t clauses_ = 0;
    std::int64_t cap_;
};

template <typename Sink>
class ModuloTotalizer {
public:
    ModuloTotalizer(Sink& sink, std::size_t k, std::size_t modulus)
        : sink_(sink), k_(k), modulus_(modulus), quotient_cap_(k / modulus) {}

    ModuloCount leaf(Literal literal) const { return {1, {literal}, {}}; }

    ModuloCount merge(const ModuloCount& a, const ModuloCount& b) {
        ModuloCount out;
        out.size = a.size + b.size;
        out.remainder = fresh(std::min(modulus_ - 1, out.size));
        out.quotient = fresh(std::min(out.size / modulus_, quotient_cap_));
        const bool carries = a.remainder.size() + b.remainder.size() >= modulus_;
        const Literal carry = carries ? sink_.new_variable() : 0;
        keep_ordered(out.remainder);
        keep_ordered(out.quotient);
        add_remainders(a, b, out, carry);
        add_quotients(a, b, out, carry);
        return out;
    }

    // count <= k = Q·m + R: refuses quotient Q together with remainder R + 1.
    // A quotient above Q is refused inside the nodes already.
    void bound_root(const ModuloCount& root) {
        const std::size_t q = k_ / modulus_, r = k_ % modulus_;
        if (r + 1 > root.remainder.size()) return;
        if (q == 0) {
            emit({-root.remainder[r]});
        } else if (q <= root.quotient.size()) {
            emit({-root.quotient[q - 1], -root.remainder[r]});
        }
    }

private:
    std::vector<Literal> fresh(std::size_t count) {
        std::vector<Literal> bits(count);
        for (auto& bit : bits) bit = sink_.new_variable();
        return bits;
    }

    void keep_ordered(const std::vector<Literal>& bits) {
        for (std::size_t i = 1; i < bits.size(); ++i) emit({-bits[i], bits[i - 1]});
    }

    // Remainders i and j: i + j below m stays a remainder unless carried;
    // m or more carries, and leaves i + j - m. The carry is needed only for
    // i + j = m: the ordered bits imply that pair whenever a larger one holds.
    void add_remainders(const ModuloCount& a, const ModuloCount& b, const ModuloCount& out, Literal carry) {
        const std::size_t m = modulus_;
        for (std::size_t i = 0; i <= a.remainder.size(); ++i) {
            for (std::size_t j = i == 0 ? 1 : 0; j <= b.remainder.size(); ++j) {
                clause_.clear();
                if (i > 0) clause_.push_back(-a.remainder[i - 1]);
                if (j > 0) clause_.push_back(-b.remainder[j - 1]);
                const std::size_t total = i + j;
                if (total < m) {
                    clause_.push_back(out.remainder[total - 1]);
                    if (carry != 0) clause_.push_back(carry);
                } else if (total == m) {
                    clause_.push_back(carry);
                } else {
                    clause_.push_back(out.remainder[total - m - 1]);
                }
                sink_.add(clause_);
            }
        }
    }

    // Quotients u and v give u + v, plus one with the carry. A sum above the
    // node's quotient bits is refused: either more than k leaves are true, or
    // the count exceeds the node's leaves, which only a carry the solver set
    // without need can claim (refusing it forces the remainder bit instead).
    // Only the smallest such sum needs a clause; the ordered bits imply it for
    // larger ones.
    void add_quotients(const ModuloCount& a, const ModuloCount& b, const ModuloCount& out, Literal carry) {
        for (std::size_t u = 0; u <= a.quotient.size(); ++u) {
            for (std::size_t v = 0; v <= b.quotient.size(); ++v) {
                if (u + v > 0) add_quotient(a, b, out, u, v, 0);
                if (carry != 0) add_quotient(a, b, out, u, v, carry);
            }
        }
    }

    void add_quotient(const ModuloCount& a, const ModuloCount& b, const ModuloCount& out, std::size_t u,
                      std::size_t v, Literal carry) {
        const std::size_t total = u + v + (carry != 0 ? 1 : 0);
        if (total > out.quotient.size() + 1) return;
        clause_.clear();
        if (u > 0) clause_.push_back(-a.quotient[u - 1]);
        if (v > 0) clause_.push_back(-b.quotient[v - 1]);
        if (carry != 0) clause_.push_back(-carry);
        if (total <= out.quotient.size()) clause_.push_back(out.quotient[total - 1]);
        sink_.add(clause_);
    }

    void emit(std::initializer_list<Literal> clause) { sink_.add(std::span<const Literal>(clause.begin(), clause.size())); }

    Sink& sink_;
    std::size_t k_;
    std::size_t modulus_;
    std::size_t quotient_cap_;
    std::vector<Literal> clause_;
};

ModuloCount count_literals(ModuloTotalizer<ClauseWriter>& totalizer, std::span<const Literal> literals) {
    if (literals.size() == 1) return totalizer.leaf(literals[0]);
    const auto left = count_literals(totalizer, literals.first(literals.size() / 2));
    const auto right = count_literals(totalizer, literals.subspan(literals.size() / 2));
    return totalizer.merge(left, right);
}

// Clauses of a node's subtree depend on its size only, so each size is
// merged once, over placeholder literals.
class ModuloClauseCount {
public:
    ModuloClauseCount(std::size_t k, std::size_t modulus, std::int64_t cap)
        : counter_(cap), totalizer_(counter_, k, modulus) {}

    std::int64_t total(std::size_t literal_count) {
        const auto root = node(literal_count);
        const auto before = counter_.clauses();
        totalizer_.bound_root(root.count);
        const auto clauses = root.clauses + counter_.clauses() - before;
        if (clauses > counter_.cap()) throw CountAboveCap{};
        return clauses;
    }

private:
    struct Subtree {
        ModuloCount count;
        std::int64_t clauses;
    };

    const Subtree& node(std::size_t size) {
        if (const auto known = subtrees_.find(size); known != subtrees_.end()) return known->second;
        Subtree subtree{totalizer_.leaf(1), 0};
        if (size > 1) {
            const auto& left = node(size / 2);
            const auto& right = node(size - size / 2);
            const auto before = counter_.clauses();
            auto merged = totalizer_.merge(left.count, right.count);
            subtree = {std::move(merged), left.clauses + right.clauses + counter_.clauses() - before};
            if (subtree.clauses > counter_.cap()) throw CountAboveCap{};
        }
        return subtrees_.emplace(size, std::move(subtree)).first->second;
    }

    ClauseCounter counter_;
    ModuloTotalizer<ClauseCounter> totalizer_;
    std::map<std::size_t, Subtree> subtrees_;
};

}  // namespace

ModulusChoice best_modulus(std::size_t literal_count, std::size_t k, std::int64_t clause_cap) {
    // The best modulus lies near the square root of k; a dozen candidates
    // around it find it closely enough.
    const double root = std::sqrt(static_cast<double>(k));
    ModulusChoice best{2, clause_cap + 1};
    std::size_t last = 0;
    for (double factor = 0.35; factor <= 3.0; factor *= 1.2) {
        const auto modulus = std::clamp<std::size_t>(static_cast<std::size_t>(std::lround(root * factor)), 2, k);
        if (modulus == last) continue;
        last = modulus;
        try {
            const auto clauses = ModuloClauseCount(k, modulus, best.clauses - 1).total(literal_count);
            best = {modulus, clauses};
        } catch (const CountAboveCap&) {
            // no better than the best so far
        }
    }
    return best;
}

void encode_modulo_totalizer_at_most(std::span<const Literal> literals, std::size_t k, std::size_t modulus,
                                     ClauseWriter& writer) {
    ModuloTotalizer<ClauseWriter> totalizer(writer, k, modulus);
    totalizer.bound_root(count_literals(totalizer, literals));
}

}  // namespace kelvo
