#include "engine/bxpr/clause_conjunction.hpp"

#include "engine/bxpr/boolean_builders.hpp"

namespace kelvo::bxpr {

namespace {

constexpr std::size_t lookahead = 16;

// and_s of new disjunction nodes and variable literals: the literals merge
// (first occurrence kept) or, as a complementary pair, give false.
Ref conjunction_of_new_nodes_and_literals(Context& context, std::span<const Ref> clauses) {
    constexpr std::uint32_t seen_positive = 1;
    constexpr std::uint32_t seen_negative = 2;
    std::vector<Ref> kept;
    kept.reserve(clauses.size());
    {
        NodeMarks marks(context);
        for (const Ref clause : clauses) {
            if (!context.is_literal(clause)) {
                kept.push_back(clause);
                continue;
            }
            const std::uint32_t flags = marks.get(clause.node());
            const std::uint32_t same = clause.negated() ? seen_negative : seen_positive;
            if ((flags & ~same) != 0) return Ref::zero();
            if ((flags & same) != 0) continue;
            marks.set(clause.node(), flags | same);
            kept.push_back(clause);
        }
    }
    if (kept.empty()) return Ref::one();
    if (kept.size() == 1) return kept.front();
    return context.make_node(Kind::And, kept);
}

}  // namespace

// Longer clauses go through or_s, which marks nodes instead of comparing pairs.
bool has_distinct_nodes(std::span<const Ref> clause) {
    if (clause.size() > longest_compared_clause) return false;
    for (std::size_t i = 1; i < clause.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (clause[i].node() == clause[j].node()) return false;
        }
    }
    return true;
}

void ClauseConjunction::reserve(std::size_t clauses, std::size_t literals) {
    literals_.reserve(literals_.size() + literals);
    ends_.reserve(ends_.size() + clauses);
    tidy_.reserve(tidy_.size() + clauses);
}

void ClauseConjunction::close_clause() {
    ends_.push_back(literals_.size());
    tidy_.push_back(open_is_tidy_ && has_distinct_nodes(clause(ends_.size() - 1)));
    open_is_tidy_ = true;
}

Ref ClauseConjunction::build(Context& context) const {
    context.reserve(ends_.size() + 1, literals_.size() + ends_.size());
    std::vector<Ref> clauses(ends_.size());
    // A tidy clause of two or more literals that makes a new node differs
    // from every clause before it, and a later clause equal to it finds that
    // node instead of making one. When every other clause is a variable
    // literal, only those literals can repeat or contradict one another.
    bool only_new_nodes_and_literals = true;
    for (std::size_t c = 0; c < ends_.size(); ++c) {
        if (c + lookahead < ends_.size() && tidy_[c + lookahead] && clause(c + lookahead).size() > 1) {
            context.prefetch_node(Kind::Or, clause(c + lookahead));
        }
        const auto literals = clause(c);
        if (!tidy_[c] || literals.size() < 2) {
            clauses[c] = or_s(context, literals);
            only_new_nodes_and_literals = only_new_nodes_and_literals && tidy_[c] && literals.size() == 1;
            continue;
        }
        const std::size_t nodes = context.node_count();
        clauses[c] = context.make_node(Kind::Or, literals);
        only_new_nodes_and_literals = only_new_nodes_and_literals && context.node_count() > nodes;
    }
    if (!only_new_nodes_and_literals) return and_s(context, clauses);
    return conjunction_of_new_nodes_and_literals(context, clauses);
}

}  // namespace kelvo::bxpr
