#include "engine/clause_renumbering.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace kelvo {

namespace {

Literal variable_of(Literal literal) {
    if (literal == 0) throw std::invalid_argument("literal 0 is not a literal: variables are numbered from 1");
    if (literal == std::numeric_limits<Literal>::min()) {
        throw std::invalid_argument("literal " + std::to_string(literal) +
                                    " has no variable number in the 32-bit range");
    }
    return literal < 0 ? -literal : literal;
}

// Position of each variable number, 0 while unseen: a table indexed by number
// when the numbers are dense enough, a hash map otherwise.
class DensePositions {
public:
    explicit DensePositions(Literal largest) : positions_(static_cast<std::size_t>(largest) + 1, 0) {}
    std::int64_t& operator[](Literal number) { return positions_[static_cast<std::size_t>(number)]; }

private:
    std::vector<std::int64_t> positions_;
};

class SparsePositions {
public:
    std::int64_t& operator[](Literal number) { return positions_[number]; }

private:
    std::unordered_map<Literal, std::int64_t> positions_;
};

template <typename Positions>
ClausesByFirstOccurrence renumber(const ClauseBuffer& clauses, Positions& positions) {
    ClausesByFirstOccurrence result;
    const auto literals = clauses.literals();
    result.literals.reserve(literals.size());
    result.offsets.reserve(clauses.size() + 1);
    result.offsets.push_back(0);
    for (std::size_t c = 0; c < clauses.size(); ++c) {
        for (const Literal literal : clauses.clause(c)) {
            const Literal number = variable_of(literal);
            std::int64_t& position = positions[number];
            if (position == 0) {
                result.variables.push_back(number);
                position = static_cast<std::int64_t>(result.variables.size());
            }
            result.literals.push_back(literal < 0 ? -position : position);
        }
        result.offsets.push_back(static_cast<std::int64_t>(result.literals.size()));
    }
    return result;
}

}  // namespace

ClausesByFirstOccurrence number_by_first_occurrence(const ClauseBuffer& clauses) {
    Literal largest = 0;
    for (const Literal literal : clauses.literals()) largest = std::max(largest, variable_of(literal));
    // Encoder numbers are dense from 1; a table far larger than the clauses
    // would cost more than it saves.
    if (static_cast<std::size_t>(largest) <= 4 * clauses.literal_count() + 1024) {
        DensePositions positions(largest);
        return renumber(clauses, positions);
    }
    SparsePositions positions;
    return renumber(clauses, positions);
}

}  // namespace kelvo
