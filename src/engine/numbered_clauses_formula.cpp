#include "engine/numbered_clauses_formula.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "engine/boolean_builders.hpp"
#include "engine/clause_conjunction.hpp"

namespace kelvo::bxpr {

namespace {

Literal number_of(Literal literal) {
    if (literal == 0) throw std::invalid_argument("literal 0 is not a literal: variables are numbered from 1");
    if (literal == std::numeric_limits<Literal>::min()) {
        throw std::invalid_argument("literal " + std::to_string(literal) +
                                    " has no variable number in the 32-bit range");
    }
    return literal < 0 ? -literal : literal;
}

struct NumberFormula {
    Ref formula;
    bool seen = false;
    bool variable = false;
};

// The formula of each number, unseen until set: a table indexed by number
// when the numbers are dense enough, a hash map otherwise.
class DenseFormulas {
public:
    explicit DenseFormulas(Literal largest) : formulas_(static_cast<std::size_t>(largest) + 1) {}
    NumberFormula& operator[](Literal number) { return formulas_[static_cast<std::size_t>(number)]; }

private:
    std::vector<NumberFormula> formulas_;
};

class SparseFormulas {
public:
    NumberFormula& operator[](Literal number) { return formulas_[number]; }

private:
    std::unordered_map<Literal, NumberFormula> formulas_;
};

class NewVariableNames {
public:
    NewVariableNames(std::string_view prefix, std::uint64_t first_index) : name_(prefix), next_(first_index) {
        name_ += '_';
        stem_ = name_.size();
    }

    std::string_view next() {
        char digits[std::numeric_limits<std::uint64_t>::digits10 + 1];
        const auto end = std::to_chars(digits, digits + sizeof digits, next_++).ptr;
        name_.resize(stem_);
        name_.append(digits, end);
        return name_;
    }

private:
    std::string name_;
    std::size_t stem_;
    std::uint64_t next_;
};

std::span<const Ref> clause_of(std::span<const Ref> literals, std::uint32_t begin, std::uint32_t end) {
    return literals.subspan(begin, end - begin);
}

bool long_clauses_have_distinct_nodes(const Context& context, std::span<const Ref> literals,
                                      std::span<const std::uint32_t> ends, std::span<const std::size_t> long_clauses) {
    for (const std::size_t c : long_clauses) {
        NodeMarks marks(context);
        for (std::uint32_t i = c == 0 ? 0 : ends[c - 1]; i < ends[c]; ++i) {
            if (marks.get(literals[i].node()) != 0) return false;
            marks.set(literals[i].node(), 1);
        }
    }
    return true;
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
// for fewer than two clauses what and_s of or_s makes of them.
Ref conjunction_of_tidy_clauses(Context& context, std::vector<Ref> literals, std::vector<std::uint32_t> ends) {
    if (ends.empty()) return Ref::one();
    if (ends.size() == 1) return or_s(context, literals);
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

// Numbers are checked by the caller: no 0 and no smallest int32.
template <typename Formulas>
NumberedClausesFormula convert(Context& context, const ClauseBuffer& clauses, const KnownFormula& known,
                               NewVariableNames& names, Formulas& formulas) {
    if (clauses.literal_count() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("too many literals for one formula");
    }
    NumberedClausesFormula result;
    bool only_variables = true;
    // Each number's formula, asked for or made in order of first occurrence;
    // then every literal is its number's formula, negated or not.
    for (const Literal literal : clauses.literals()) {
        NumberFormula& entry = formulas[literal < 0 ? -literal : literal];
        if (entry.seen) continue;
        const Literal number = literal < 0 ? -literal : literal;
        if (const std::optional<Ref> given = known(number)) {
            entry = {*given, true, context.is_literal(*given)};
        } else {
            entry = {context.get_var(names.next()), true, true};
            result.new_numbers.push_back(number);
            result.new_variables.push_back(entry.formula);
        }
        only_variables = only_variables && entry.variable;
    }
    std::vector<Ref> literals(clauses.literal_count());
    std::vector<std::uint32_t> ends(clauses.size());
    const auto numbered = clauses.literals();
    bool tidy = true;  // each short clause of distinct variables, so far
    std::vector<std::size_t> long_clauses;
    std::uint32_t begin = 0;
    for (std::size_t c = 0; c < ends.size(); ++c) {
        const auto end = static_cast<std::uint32_t>(clauses.ends()[c]);
        for (std::uint32_t i = begin; i < end; ++i) {
            const Literal literal = numbered[i];
            literals[i] = formulas[literal < 0 ? -literal : literal].formula ^ (literal < 0);
        }
        if (end - begin > longest_compared_clause) long_clauses.push_back(c);
        else tidy = tidy && begin < end && has_distinct_nodes(clause_of(literals, begin, end));
        ends[c] = end;
        begin = end;
    }
    tidy = tidy && long_clauses_have_distinct_nodes(context, literals, ends, long_clauses);
    if (!only_variables) {
        result.formula = conjunction_of_clauses(context, literals, ends);
    } else if (!tidy && !tidy_clauses(context, literals, ends)) {
        result.formula = Ref::zero();
    } else {
        result.formula = conjunction_of_tidy_clauses(context, std::move(literals), std::move(ends));
    }
    return result;
}

}  // namespace

NumberedClausesFormula formula_of_numbered_clauses(Context& context, const ClauseBuffer& clauses,
                                                   const KnownFormula& known, std::string_view prefix,
                                                   std::uint64_t first_index) {
    NewVariableNames names(prefix, first_index);
    // One branch-free pass; a bad literal is looked for only when there is one.
    Literal largest = 0;
    bool bad = false;
    for (const Literal literal : clauses.literals()) {
        bad |= literal == 0 || literal == std::numeric_limits<Literal>::min();
        largest = std::max(largest, literal < 0 ? -literal : literal);
    }
    if (bad) {
        for (const Literal literal : clauses.literals()) number_of(literal);
    }
    // Encoder numbers are dense from 1; a table far larger than the clauses
    // would cost more than it saves.
    if (static_cast<std::size_t>(largest) <= 4 * clauses.literal_count() + 1024) {
        context.reserve_variables(static_cast<std::size_t>(largest));
        DenseFormulas formulas(largest);
        return convert(context, clauses, known, names, formulas);
    }
    SparseFormulas formulas;
    return convert(context, clauses, known, names, formulas);
}

}  // namespace kelvo::bxpr
