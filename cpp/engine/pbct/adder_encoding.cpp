#include "engine/pbct/adder_encoding.hpp"

#include <cstddef>
#include <vector>

namespace kelvo {

namespace {

// The bits still to be added up, one column per weight position.
using Columns = std::vector<std::vector<Literal>>;

// The terms are added up along a balanced tree over their order (the caller's
// terms come lightest first): every auxiliary is a function of one run of
// similar terms, so fixing the terms of a run settles its subtree, and a
// solver proves a bounded target several times faster. One pool of bits per
// position for all terms mixes carries of unrelated terms and leaves most sum
// bits open until nearly every input is fixed. A node reduces each column to
// two bits and passes the rest up, so the tree needs no more adders than the
// pool.
class AdderNetwork {
public:
    explicit AdderNetwork(ClauseWriter& writer) : writer_(writer) {}

    // The sum of the terms (plus offset()) in binary, lowest position first;
    // 0 where the bit is constantly false.
    std::vector<Literal> sum_bits(std::span<const WeightedTerm> terms) {
        if (terms.empty()) return {};
        auto columns = add_up(terms);
        reduce(columns, 1);
        std::vector<Literal> outputs;
        outputs.reserve(columns.size());
        for (const auto& column : columns) outputs.push_back(column.empty() ? 0 : column.front());
        return outputs;
    }

    [[nodiscard]] std::int64_t offset() const { return offset_; }

private:
    static constexpr std::size_t bits_kept_per_node = 2;

    Columns add_up(std::span<const WeightedTerm> terms) {
        if (terms.size() == 1) return digits_of(terms.front());
        const auto half = terms.size() / 2;
        auto columns = add_up(terms.first(half));
        auto upper = add_up(terms.subspan(half));
        if (columns.size() < upper.size()) columns.resize(upper.size());
        for (std::size_t position = 0; position < upper.size(); ++position) {
            columns[position].insert(columns[position].end(), upper[position].begin(), upper[position].end());
        }
        reduce(columns, bits_kept_per_node);
        return columns;
    }

    // The weight in non-adjacent form (digits -1, 0, 1, a third of them
    // non-zero on average against half for plain binary): a digit -1 at
    // position j puts the negated literal there and 2^j into the offset, since
    // -x = (1 - x) - 1.
    Columns digits_of(const WeightedTerm& term) {
        Columns columns;
        std::int64_t weight = term.weight;
        for (std::size_t position = 0; weight != 0; ++position, weight /= 2) {
            if (weight % 2 == 0) continue;
            const std::int64_t digit = 2 - weight % 4;
            columns.resize(position + 1);
            columns[position].push_back(digit == 1 ? term.literal : -term.literal);
            if (digit == -1) offset_ += std::int64_t{1} << position;
            weight -= digit;
        }
        return columns;
    }

    // Adds bits of each column, first come first, until at most `keep` are
    // left; carries join the next column after its own bits.
    void reduce(Columns& columns, std::size_t keep) {
        for (std::size_t position = 0; position < columns.size(); ++position) {
            if (columns[position].size() <= keep) continue;
            // Carries go one position up; make room first so `bits` stays valid.
            if (columns.size() == position + 1) columns.emplace_back();
            auto& bits = columns[position];
            auto& carries = columns[position + 1];
            std::size_t front = 0;
            while (bits.size() - front > keep) {
                const bool three = bits.size() - front >= 3;
                const auto [sum, carry] = three ? full_adder(bits[front], bits[front + 1], bits[front + 2])
                                                : half_adder(bits[front], bits[front + 1]);
                front += three ? 3 : 2;
                bits.push_back(sum);
                carries.push_back(carry);
            }
            bits.erase(bits.begin(), bits.begin() + static_cast<std::ptrdiff_t>(front));
        }
    }

    struct SumAndCarry {
        Literal sum;
        Literal carry;
    };

    SumAndCarry full_adder(Literal a, Literal b, Literal c) {
        const Literal sum = writer_.new_variable(), carry = writer_.new_variable();
        // sum <-> odd count, carry <-> two or more: both directions, so that the
        // inputs' values alone settle every output by unit propagation.
        writer_.add({-a, b, c, sum});
        writer_.add({a, -b, c, sum});
        writer_.add({a, b, -c, sum});
        writer_.add({-a, -b, -c, sum});
        writer_.add({-a, -b, carry});
        writer_.add({-a, -c, carry});
        writer_.add({-b, -c, carry});
        writer_.add({a, b, c, -sum});
        writer_.add({-a, -b, c, -sum});
        writer_.add({-a, b, -c, -sum});
        writer_.add({a, -b, -c, -sum});
        writer_.add({a, b, -carry});
        writer_.add({a, c, -carry});
        writer_.add({b, c, -carry});
        return {sum, carry};
    }

    SumAndCarry half_adder(Literal a, Literal b) {
        const Literal sum = writer_.new_variable(), carry = writer_.new_variable();
        writer_.add({-a, b, sum});
        writer_.add({a, -b, sum});
        writer_.add({-a, -b, carry});
        writer_.add({a, b, -sum});
        writer_.add({-a, -b, -sum});
        writer_.add({a, -carry});
        writer_.add({b, -carry});
        return {sum, carry};
    }

    ClauseWriter& writer_;
    std::int64_t offset_ = 0;
};

bool bit(std::int64_t value, std::size_t position) { return position < 63 && ((value >> position) & 1) != 0; }

// The binary number is at most the bound: for every 0 bit of the bound, that
// output bit may be set only if some higher output bit falls short of a 1 bit
// of the bound. Only negative output literals occur, so outputs that are
// merely pushed up suffice.
void require_at_most(std::span<const Literal> outputs, std::int64_t bound, ClauseWriter& writer) {
    std::vector<Literal> clause;
    for (std::size_t position = 0; position < outputs.size(); ++position) {
        if (outputs[position] == 0 || bit(bound, position)) continue;
        clause.assign({-outputs[position]});
        bool always_holds = false;
        for (std::size_t higher = position + 1; higher < 64; ++higher) {
            if (!bit(bound, higher)) continue;
            if (higher >= outputs.size() || outputs[higher] == 0) {
                always_holds = true;
                break;
            }
            clause.push_back(-outputs[higher]);
        }
        if (!always_holds) writer.add(clause);
    }
}

// The binary number is at least the bound: the mirror image.
void require_at_least(std::span<const Literal> outputs, std::int64_t bound, ClauseWriter& writer) {
    std::vector<Literal> clause;
    for (std::size_t position = 0; position < 63; ++position) {
        if (!bit(bound, position)) continue;
        clause.clear();
        for (std::size_t at = position; at < outputs.size(); ++at) {
            if (outputs[at] == 0) continue;
            if (at == position || !bit(bound, at)) clause.push_back(outputs[at]);
        }
        writer.add(clause);
    }
}

}  // namespace

void encode_with_adders(std::span<const WeightedTerm> terms, std::int64_t upper, std::optional<std::int64_t> lower,
                        ClauseWriter& writer) {
    AdderNetwork network(writer);
    const auto outputs = network.sum_bits(terms);
    require_at_most(outputs, upper + network.offset(), writer);
    if (lower) require_at_least(outputs, *lower + network.offset(), writer);
}

}  // namespace kelvo
