#include "engine/pbct/adder_encoding.hpp"

#include <vector>

namespace kelvo {

namespace {

// The bits of one weight position, consumed first in, first out so that the
// adder trees stay shallow.
class BitQueue {
public:
    void push(Literal bit) { bits_.push_back(bit); }
    Literal pop() { return bits_[front_++]; }
    [[nodiscard]] std::size_t size() const { return bits_.size() - front_; }

private:
    std::vector<Literal> bits_;
    std::size_t front_ = 0;
};

class AdderNetwork {
public:
    explicit AdderNetwork(ClauseWriter& writer) : writer_(writer) {}

    // Each weight in non-adjacent form (digits -1, 0, 1, a third of them
    // non-zero on average against half for plain binary): a digit -1 at
    // position j adds the negated literal there and 2^j to the offset, since
    // -x = (1 - x) - 1.
    void add_weighted(Literal literal, std::int64_t weight) {
        for (std::size_t position = 0; weight != 0; ++position, weight /= 2) {
            if (weight % 2 == 0) continue;
            const std::int64_t digit = 2 - weight % 4;
            position_bits(position).push(digit == 1 ? literal : -literal);
            if (digit == -1) offset_ += std::int64_t{1} << position;
            weight -= digit;
        }
    }

    // The sum of the added bits in binary, lowest position first; 0 where the
    // bit is constantly false.
    std::vector<Literal> sum_bits() {
        std::vector<Literal> outputs;
        for (std::size_t position = 0; position < positions_.size(); ++position) {
            // Carries go one position up; make room first so `bits` stays valid.
            if (positions_[position].size() >= 2) position_bits(position + 1);
            auto& bits = positions_[position];
            while (bits.size() >= 3) full_adder(bits, position);
            if (bits.size() == 2) half_adder(bits, position);
            outputs.push_back(bits.size() == 1 ? bits.pop() : 0);
        }
        return outputs;
    }

    [[nodiscard]] std::int64_t offset() const { return offset_; }

private:
    BitQueue& position_bits(std::size_t position) {
        if (positions_.size() <= position) positions_.resize(position + 1);
        return positions_[position];
    }

    void full_adder(BitQueue& bits, std::size_t position) {
        const Literal a = bits.pop(), b = bits.pop(), c = bits.pop();
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
        bits.push(sum);
        position_bits(position + 1).push(carry);
    }

    void half_adder(BitQueue& bits, std::size_t position) {
        const Literal a = bits.pop(), b = bits.pop();
        const Literal sum = writer_.new_variable(), carry = writer_.new_variable();
        writer_.add({-a, b, sum});
        writer_.add({a, -b, sum});
        writer_.add({-a, -b, carry});
        writer_.add({a, b, -sum});
        writer_.add({-a, -b, -sum});
        writer_.add({a, -carry});
        writer_.add({b, -carry});
        bits.push(sum);
        position_bits(position + 1).push(carry);
    }

    ClauseWriter& writer_;
    std::vector<BitQueue> positions_;
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
    for (const auto& term : terms) network.add_weighted(term.literal, term.weight);
    const auto outputs = network.sum_bits();
    require_at_most(outputs, upper + network.offset(), writer);
    if (lower) require_at_least(outputs, *lower + network.offset(), writer);
}

}  // namespace kelvo
