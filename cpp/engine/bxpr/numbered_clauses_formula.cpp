#include "engine/bxpr/numbered_clauses_formula.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "engine/bxpr/boolean_builders.hpp"
#include "engine/bxpr/clause_conjunction.hpp"

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

// Whether a variable and its negation are both clauses of their own, which
// makes and_s of the clauses false (a comparison that can never hold).
bool has_complementary_units(const Context& context, std::span<const Ref> literals,
                             std::span<const std::uint32_t> ends) {
    NodeMarks marks(context);
    std::uint32_t begin = 0;
    for (const std::uint32_t end : ends) {
        if (end - begin == 1) {
            const Ref unit = literals[begin];
            const std::uint32_t seen = marks.get(unit.node());
            if (seen != 0 && seen != unit.bits() + 1) return true;
            marks.set(unit.node(), unit.bits() + 1);
        }
        begin = end;
    }
    return false;
}

// The conjunction of tidy clauses of variable literals: a clause block, or
// for fewer than two clauses what and_s of or_s makes of them. The hash is
// of the literals as they are, if known.
Ref conjunction_of_tidy_clauses(Context& context, std::vector<Ref> literals, std::vector<std::uint32_t> ends,
                                const std::optional<ClauseBlockHash>& hash) {
    if (ends.empty()) return Ref::one();
    if (ends.size() == 1) return or_s(context, literals);
    if (has_complementary_units(context, literals, ends)) return Ref::zero();
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

// One conversion: a pass that maps every literal, then the naming of the
// new variables, then the formula. New variables are named only after the
// pass, in order, so that naming does not compete with the pass for the
// cache; until then a new number's formula is the node its variable gets
// when its name is new.
class Conversion {
public:
    Conversion(Context& context, const ClauseBuffer& clauses, const KnownFormula& known)
        : context_(context),
          clauses_(clauses),
          known_(known),
          formulas_(clauses.literal_count()),
          first_new_node_(static_cast<std::uint32_t>(context.node_count())),
          literals_(clauses.literal_count()),
          ends_(clauses.size()) {}

    NumberedClausesFormula run(std::string_view prefix, std::uint64_t first_index) {
        map_literals();
        const bool all_names_new = name_new_variables(prefix, first_index);
        // A name that existed may be a known number's variable too, and
        // numbers that share a node may repeat or contradict one another.
        const bool tidy = tidy_ && numbers_are_nodes_ && all_names_new;
        if (!only_variables_) {
            result_.formula = conjunction_of_clauses(context_, literals_, ends_);
        } else if (!tidy && !tidy_clauses(context_, literals_, ends_)) {
            result_.formula = Ref::zero();
        } else {
            // Literals mapped again or tidied are hashed anew.
            result_.formula = conjunction_of_tidy_clauses(context_, std::move(literals_), std::move(ends_),
                                                          tidy ? std::optional(hash_) : std::nullopt);
        }
        return std::move(result_);
    }

private:
    Context& context_;
    const ClauseBuffer& clauses_;
    const KnownFormula& known_;
    NumberFormulas formulas_;
    const std::uint32_t first_new_node_;
    std::vector<Ref> literals_;
    std::vector<std::uint32_t> ends_;
    ClauseBlockHash hash_;
    NumberedClausesFormula result_;
    bool only_variables_ = true;
    // Distinct numbers stand for distinct nodes until two are given one node;
    // only then must clauses be checked literal by literal.
    bool numbers_are_nodes_ = true;
    bool tidy_ = true;  // no clause empty or repeating a number

    // Every literal becomes its number's formula, negated or not, in one
    // pass that also tells whether a clause is empty or repeats a number.
    // The loop works on locals: through the members, every store to a
    // literal would make the compiler reload them all.
    void map_literals() {
        NodeMarks given_nodes(context_);
        const Literal* const numbered = clauses_.literals().data();
        const std::size_t* const numbered_ends = clauses_.ends().data();
        Ref* const literals = literals_.data();
        std::uint32_t* const ends = ends_.data();
        const std::size_t clause_count = ends_.size();
        ClauseBlockHash hash;
        bool tidy = true;
        std::uint32_t begin = 0;
        for (std::size_t c = 0; c < clause_count; ++c) {
            const auto end = static_cast<std::uint32_t>(numbered_ends[c]);
            const std::uint32_t stamp = NumberFormula::stamp_of_clause(c);
            bool repeats = begin == end;
            for (std::uint32_t i = begin; i < end; ++i) {
                const Literal literal = numbered[i];
                NumberFormula& entry = formulas_[number_of(literal)];
                if (entry.stamp == NumberFormula::unseen) [[unlikely]] {
                    see_first(number_of(literal), entry, given_nodes);
                }
                repeats |= entry.stamp == stamp;
                entry.stamp = stamp;
                literals[i] = entry.formula ^ (literal < 0);
                hash.add(literals[i]);
            }
            tidy = tidy && !repeats;
            ends[c] = end;
            begin = end;
        }
        hash_ = hash;
        tidy_ = tidy;
    }

    // The formula of a number at its first occurrence: the caller's, or the
    // node of a new variable.
    void see_first(std::uint32_t number, NumberFormula& entry, NodeMarks& given_nodes) {
        check_number(number);
        if (const std::optional<Ref> given = known_(static_cast<Literal>(number))) {
            if (context_.node_count() != first_new_node_) {
                throw std::logic_error("the formula of a known number must exist before the conversion");
            }
            entry.formula = *given;
            only_variables_ = only_variables_ && context_.is_literal(*given);
            numbers_are_nodes_ = numbers_are_nodes_ && given_nodes.get(given->node()) == 0;
            given_nodes.set(given->node(), 1);
        } else {
            const auto position = static_cast<std::uint32_t>(result_.new_numbers.size());
            entry.formula = Ref::of_node(first_new_node_ + position);
            result_.new_numbers.push_back(static_cast<Literal>(number));
        }
        entry.stamp = NumberFormula::in_no_clause;
    }

    // Literals of new numbers whose names existed are mapped again; returns
    // whether every name was new.
    bool name_new_variables(std::string_view prefix, std::uint64_t first_index) {
        result_.new_variables = context_.numbered_variables(prefix, first_index, result_.new_numbers.size());
        bool all_new = true;
        for (std::size_t k = 0; k < result_.new_variables.size(); ++k) {
            all_new = all_new && result_.new_variables[k] == Ref::of_node(first_new_node_ + k);
        }
        if (all_new) return true;
        for (Ref& literal : literals_) {
            if (literal.node() >= first_new_node_) {
                literal = result_.new_variables[literal.node() - first_new_node_] ^ literal.negated();
            }
        }
        return false;
    }
};

}  // namespace

NumberedClausesFormula formula_of_numbered_clauses(Context& context, const ClauseBuffer& clauses,
                                                   const KnownFormula& known, std::string_view prefix,
                                                   std::uint64_t first_index) {
    if (clauses.literal_count() > std::numeric_limits<std::uint32_t>::max() ||
        clauses.size() > std::numeric_limits<std::uint32_t>::max() - 2) {
        throw std::length_error("too many literals for one formula");
    }
    return Conversion(context, clauses, known).run(prefix, first_index);
}

}  // namespace kelvo::bxpr
