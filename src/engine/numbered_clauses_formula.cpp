#include "engine/numbered_clauses_formula.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "engine/boolean_builders.hpp"
#include "engine/clause_conjunction.hpp"

namespace kelvo::bxpr {

namespace {

constexpr std::uint32_t largest_number = std::numeric_limits<Literal>::max();

// A literal's number, as unsigned so that the smallest int32 has one too
// (2^31, beyond every variable number).
std::uint32_t number_of(Literal literal) {
    const auto bits = static_cast<std::uint32_t>(literal);
    return literal < 0 ? 0U - bits : bits;
}

void check_number(std::uint32_t number) {
    if (number == 0) throw std::invalid_argument("literal 0 is not a literal: variables are numbered from 1");
    if (number > largest_number) {
        throw std::invalid_argument("literal " + std::to_string(std::numeric_limits<Literal>::min()) +
                                    " has no variable number in the 32-bit range");
    }
}

// A number's formula once seen, and the last clause the number occurred in,
// which tells a repeated number within a clause without comparing literals.
struct NumberFormula {
    Ref formula;
    std::uint32_t stamp = unseen;

    static constexpr std::uint32_t unseen = 0;
    static constexpr std::uint32_t in_no_clause = 1;
    static constexpr std::uint32_t stamp_of_clause(std::size_t c) { return static_cast<std::uint32_t>(c) + 2; }
};

// The formula of each number, unseen until set: a table indexed by number,
// grown as larger numbers come while it stays within a few times the number
// of literals (encoder numbers are dense from 1), and a map beyond.
class NumberFormulas {
public:
    explicit NumberFormulas(std::size_t literal_count)
        : limit_(4 * literal_count + 1024), table_(std::min<std::size_t>(limit_, literal_count / 16 + 1024)) {}

    NumberFormula& operator[](std::uint32_t number) {
        if (number < table_.size()) [[likely]] return table_[number];
        return beyond_table(number);
    }

private:
    std::size_t limit_;
    std::vector<NumberFormula> table_;
    std::unordered_map<std::uint32_t, NumberFormula> beyond_;

    NumberFormula& beyond_table(std::uint32_t number) {
        if (number > limit_) return beyond_[number];
        table_.resize(std::min(limit_ + 1, std::max<std::size_t>(2 * table_.size(), number + 1)));
        return table_[number];
    }
};

std::span<const Ref> clause_of(std::span<const Ref> literals, std::uint32_t begin, std::uint32_t end) {
    return literals.subspan(begin, end - begin);
}

// Drops repeated literals of each clause (keeping the first) and clauses
// with a complementary pair, which say nothing. Returns false for an empty
// clause, which makes the whole conjunction false.
bool tidy_clauses(const Context& context, std::vector<Ref>& literals, std::vector<std::uint32_t>& ends) {
    std::size_t written = 0;
    std::size_t kept = 0;
    std::uint32_t begin = 0;
    for (const std::uint32_t end : ends) {
        if (end == begin) return false;
        if (written == begin && has_distinct_nodes(clause_of(literals, begin, end))) {
            // Tidy already, and nothing dropped before it: it stays in place.
            written = end;
            ends[kept++] = end;
            begin = end;
            continue;
        }
        const std::size_t start = written;
        bool tautology = false;
        std::optional<NodeMarks> marks;
        if (end - begin > longest_compared_clause) marks.emplace(context);
        for (std::uint32_t i = begin; i < end && !tautology; ++i) {
            const Ref literal = literals[i];
            bool repeated = false;
            if (marks) {
                const std::uint32_t seen = marks->get(literal.node());
                repeated = seen == literal.bits() + 1;
                tautology = seen != 0 && !repeated;
                marks->set(literal.node(), literal.bits() + 1);
            } else {
                for (std::size_t k = start; k < written; ++k) {
                    repeated = repeated || literals[k] == literal;
                    tautology = tautology || literals[k] == ~literal;
                }
            }
            if (!repeated && !tautology) literals[written++] = literal;
        }
        if (tautology) written = start;
        else ends[kept++] = static_cast<std::uint32_t>(written);
        begin = end;
    }
    literals.resize(written);
    ends.resize(kept);
    return true;
}

// The conjunction of tidy clauses of variable literals: a clause block, or
// for fewer than two clauses what and_s of or_s makes of them. The hash is
// of the literals as they are, if known.
Ref conjunction_of_tidy_clauses(Context& context, std::vector<Ref> literals, std::vector<std::uint32_t> ends,
                                const std::optional<ClauseBlockHash>& hash) {
    if (ends.empty()) return Ref::one();
    if (ends.size() == 1) return or_s(context, literals);
    if (hash) return context.make_clause_block(std::move(literals), std::move(ends), *hash);
    return context.make_clause_block(std::move(literals), std::move(ends));
}

// The general conjunction, for clauses that hold formulas other than literals.
Ref conjunction_of_clauses(Context& context, std::span<const Ref> literals, std::span<const std::uint32_t> ends) {
    ClauseConjunction conjunction;
    conjunction.reserve(ends.size(), literals.size());
    std::uint32_t begin = 0;
    for (const std::uint32_t end : ends) {
        for (std::uint32_t i = begin; i < end; ++i) conjunction.add(literals[i], context.is_literal(literals[i]));
        conjunction.close_clause();
        begin = end;
    }
    return conjunction.build(context);
}

// New variables are named only after the pass, in order, so that naming
// does not compete with the pass for the cache; until then a new number's
// formula is the node its variable gets when its name is new. Literals of
// new numbers whose names existed are mapped again; returns whether every
// name was new.
bool name_new_variables(Context& context, NumberedClausesFormula& result, std::vector<Ref>& literals,
                        std::uint32_t first_new_node, std::string_view prefix, std::uint64_t first_index) {
    result.new_variables = context.numbered_variables(prefix, first_index, result.new_numbers.size());
    bool all_new = true;
    for (std::size_t k = 0; k < result.new_variables.size(); ++k) {
        all_new = all_new && result.new_variables[k] == Ref::of_node(first_new_node + k);
    }
    if (all_new) return true;
    for (Ref& literal : literals) {
        if (literal.node() >= first_new_node) {
            literal = result.new_variables[literal.node() - first_new_node] ^ literal.negated();
        }
    }
    return false;
}

}  // namespace

NumberedClausesFormula formula_of_numbered_clauses(Context& context, const ClauseBuffer& clauses,
                                                   const KnownFormula& known, std::string_view prefix,
                                                   std::uint64_t first_index) {
    if (clauses.literal_count() > std::numeric_limits<std::uint32_t>::max() ||
        clauses.size() > std::numeric_limits<std::uint32_t>::max() - 2) {
        throw std::length_error("too many literals for one formula");
    }
    NumberFormulas formulas(clauses.literal_count());
    NumberedClausesFormula result;
    const auto first_new_node = static_cast<std::uint32_t>(context.node_count());
    bool only_variables = true;
    // Distinct numbers stand for distinct nodes until two are given one node;
    // only then must clauses be checked literal by literal.
    bool numbers_are_nodes = true;
    std::optional<NodeMarks> given_nodes(context);
    const auto first_seen = [&](std::uint32_t number, NumberFormula& entry) {
        check_number(number);
        if (const std::optional<Ref> given = known(static_cast<Literal>(number))) {
            if (context.node_count() != first_new_node) {
                throw std::logic_error("the formula of a known number must exist before the conversion");
            }
            entry.formula = *given;
            only_variables = only_variables && context.is_literal(*given);
            numbers_are_nodes = numbers_are_nodes && given_nodes->get(given->node()) == 0;
            given_nodes->set(given->node(), 1);
        } else {
            entry.formula = Ref::of_node(first_new_node + static_cast<std::uint32_t>(result.new_numbers.size()));
            result.new_numbers.push_back(static_cast<Literal>(number));
        }
        entry.stamp = NumberFormula::in_no_clause;
    };
    // Every literal becomes its number's formula, negated or not, in one
    // pass that also tells whether a clause is empty or repeats a number.
    std::vector<Ref> literals(clauses.literal_count());
    std::vector<std::uint32_t> ends(clauses.size());
    const Literal* numbered = clauses.literals().data();
    bool tidy = true;
    ClauseBlockHash hash;
    std::uint32_t begin = 0;
    for (std::size_t c = 0; c < ends.size(); ++c) {
        const auto end = static_cast<std::uint32_t>(clauses.ends()[c]);
        const std::uint32_t stamp = NumberFormula::stamp_of_clause(c);
        bool repeats = begin == end;
        for (std::uint32_t i = begin; i < end; ++i) {
            const Literal literal = numbered[i];
            NumberFormula& entry = formulas[number_of(literal)];
            if (entry.stamp == NumberFormula::unseen) [[unlikely]] first_seen(number_of(literal), entry);
            repeats |= entry.stamp == stamp;
            entry.stamp = stamp;
            literals[i] = entry.formula ^ (literal < 0);
            hash.add(literals[i]);
        }
        tidy = tidy && !repeats;
        ends[c] = end;
        begin = end;
    }
    given_nodes.reset();
    // A name that existed may be a known number's variable too.
    const bool all_names_new = name_new_variables(context, result, literals, first_new_node, prefix, first_index);
    numbers_are_nodes = numbers_are_nodes && all_names_new;
    // Numbers that share a node may still repeat or contradict one another.
    tidy = tidy && numbers_are_nodes;
    if (!only_variables) {
        result.formula = conjunction_of_clauses(context, literals, ends);
    } else if (!tidy && !tidy_clauses(context, literals, ends)) {
        result.formula = Ref::zero();
    } else {
        // Literals mapped again or tidied are hashed anew.
        const bool as_written = all_names_new && tidy;
        result.formula = conjunction_of_tidy_clauses(context, std::move(literals), std::move(ends),
                                                     as_written ? std::optional(hash) : std::nullopt);
    }
    return result;
}

}  // namespace kelvo::bxpr
