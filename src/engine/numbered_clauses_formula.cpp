#include "engine/numbered_clauses_formula.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <stdexcept>
#include <string>
#include <unordered_map>

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

template <typename Formulas>
NumberedClausesFormula convert(Context& context, const ClauseBuffer& clauses, const KnownFormula& known,
                               NewVariableNames& names, Formulas& formulas) {
    NumberedClausesFormula result;
    ClauseConjunction conjunction;
    conjunction.reserve(clauses.size(), clauses.literal_count());
    for (std::size_t c = 0; c < clauses.size(); ++c) {
        for (const Literal literal : clauses.clause(c)) {
            const Literal number = number_of(literal);
            NumberFormula& entry = formulas[number];
            if (!entry.seen) {
                const std::optional<Ref> given = known(number);
                if (given) {
                    entry = {*given, true, context.is_literal(*given)};
                } else {
                    entry = {context.get_var(names.next()), true, true};
                    result.new_numbers.push_back(number);
                    result.new_variables.push_back(entry.formula);
                }
            }
            conjunction.add(entry.formula ^ (literal < 0), entry.variable);
        }
        conjunction.close_clause();
    }
    result.formula = conjunction.build(context);
    return result;
}

}  // namespace

NumberedClausesFormula formula_of_numbered_clauses(Context& context, const ClauseBuffer& clauses,
                                                   const KnownFormula& known, std::string_view prefix,
                                                   std::uint64_t first_index) {
    NewVariableNames names(prefix, first_index);
    Literal largest = 0;
    for (const Literal literal : clauses.literals()) largest = std::max(largest, number_of(literal));
    // Encoder numbers are dense from 1; a table far larger than the clauses
    // would cost more than it saves.
    if (static_cast<std::size_t>(largest) <= 4 * clauses.literal_count() + 1024) {
        DenseFormulas formulas(largest);
        return convert(context, clauses, known, names, formulas);
    }
    SparseFormulas formulas;
    return convert(context, clauses, known, names, formulas);
}

}  // namespace kelvo::bxpr
