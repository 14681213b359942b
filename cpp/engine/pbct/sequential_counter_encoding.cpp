#include "engine/pbct/sequential_counter_encoding.hpp"

#include <algorithm>
#include <vector>

namespace kelvo {

namespace {

// Counts j with low <= j <= high; empty when low > high.
struct Counts {
    std::size_t low;
    std::size_t high;

    [[nodiscard]] bool contains(std::size_t j) const { return low <= j && j <= high; }
    [[nodiscard]] std::int64_t size() const { return high >= low ? static_cast<std::int64_t>(high - low + 1) : 0; }
    [[nodiscard]] std::int64_t size_from(std::size_t first) const { return Counts{std::max(low, first), high}.size(); }
    [[nodiscard]] std::int64_t size_to(std::size_t last) const { return Counts{low, std::min(high, last)}.size(); }
};

// Which registers each prefix keeps. A count matters to the upper bound only
// while the literals left could still take it past at_most, to the lower bound
// only while they could still fail to lift it to at_least.
class CounterShape {
public:
    CounterShape(std::size_t literal_count, std::size_t at_most, std::size_t at_least)
        : n_(literal_count), at_most_(at_most), at_least_(at_least) {}

    // Registers after the first `length` literals implied by the count.
    [[nodiscard]] Counts upward(std::size_t length) const {
        return {lowest_needed(at_most_ + 1, length), std::min(length, at_most_)};
    }
    // Registers that imply the count (the lowest count still short of
    // at_least needs none: the literals left must make up for it).
    [[nodiscard]] Counts downward(std::size_t length) const {
        if (at_least_ == 0) return {1, 0};
        return {lowest_needed(at_least_ + 1, length), std::min(length, at_least_)};
    }
    // The count the first `length` literals need for at_least when the next
    // one is false; 0 when nothing is needed.
    [[nodiscard]] std::size_t needed_before_a_false(std::size_t length) const {
        const std::size_t left = n_ - length - 1;
        return at_least_ > left ? at_least_ - left : 0;
    }
    [[nodiscard]] Counts kept(std::size_t length) const {
        const auto up = upward(length), down = downward(length);
        if (down.size() == 0) return up;
        return {std::min(up.low, down.low), std::max(up.high, down.high)};
    }

    [[nodiscard]] std::size_t literal_count() const { return n_; }
    [[nodiscard]] std::size_t at_most() const { return at_most_; }
    [[nodiscard]] std::size_t at_least() const { return at_least_; }

private:
    // The smallest count after `length` literals from which `target` can be reached.
    [[nodiscard]] std::size_t lowest_needed(std::size_t target, std::size_t length) const {
        const std::size_t left = n_ - length;
        return target > left + 1 ? target - left : 1;
    }

    std::size_t n_;
    std::size_t at_most_;
    std::size_t at_least_;
};

// The registers of one prefix, by count; 0 where a count is not kept.
class Column {
public:
    Column() = default;
    Column(Counts counts, std::size_t length) : counts_(counts), length_(length) {
        if (counts.size() > 0) registers_.assign(counts.high - counts.low + 1, 0);
    }

    Literal& at(std::size_t j) { return registers_[j - counts_.low]; }

    // "At least j" of the prefix: true for j = 0, false beyond its length.
    [[nodiscard]] bool always(std::size_t j) const { return j == 0; }
    [[nodiscard]] bool never(std::size_t j) const { return j > length_; }
    [[nodiscard]] Literal literal(std::size_t j) const { return registers_[j - counts_.low]; }

private:
    Counts counts_{1, 0};
    std::size_t length_ = 0;
    std::vector<Literal> registers_;
};

class CounterBuilder {
public:
    CounterBuilder(const CounterShape& shape, ClauseWriter& writer) : shape_(shape), writer_(writer) {}

    void encode(std::span<const Literal> literals) {
        Column previous(shape_.kept(1), 1);
        if (shape_.kept(1).size() > 0) previous.at(1) = literals[0];
        for (std::size_t length = 2; length <= literals.size(); ++length) {
            Column current(shape_.kept(length), length);
            step(previous, current, literals[length - 1], length);
            previous = std::move(current);
        }
    }

private:
    void step(const Column& previous, Column& current, Literal literal, std::size_t length) {
        const auto up = shape_.upward(length), down = shape_.downward(length);
        const auto kept = shape_.kept(length);
        for (std::size_t j = kept.low; j <= kept.high; ++j) {
            if (up.contains(j) || down.contains(j)) current.at(j) = writer_.new_variable();
        }
        if (length - 1 >= shape_.at_most()) writer_.add({-literal, -previous.literal(shape_.at_most())});
        if (const auto needed = shape_.needed_before_a_false(length - 1); needed > 0) {
            writer_.add({literal, previous.literal(needed)});
        }
        for (std::size_t j = up.low; j <= up.high; ++j) {
            const Literal bit = current.literal(j);
            if (previous.always(j - 1)) writer_.add({-literal, bit});
            else writer_.add({-literal, -previous.literal(j - 1), bit});
            if (!previous.never(j)) writer_.add({-previous.literal(j), bit});
        }
        for (std::size_t j = down.low; j <= down.high; ++j) {
            // The register needs the count before or the literal, and one less before.
            const Literal bit = current.literal(j);
            if (previous.never(j)) writer_.add({-bit, literal});
            else writer_.add({-bit, previous.literal(j), literal});
            if (!previous.always(j - 1)) writer_.add({-bit, previous.literal(j - 1)});
        }
    }

    const CounterShape& shape_;
    ClauseWriter& writer_;
};

}  // namespace

std::int64_t sequential_counter_clause_count(std::size_t literal_count, std::size_t at_most, std::size_t at_least) {
    const CounterShape shape(literal_count, at_most, at_least);
    std::int64_t count = 0;
    for (std::size_t length = 2; length <= literal_count; ++length) {
        const auto up = shape.upward(length), down = shape.downward(length);
        if (length - 1 >= at_most) ++count;
        if (shape.needed_before_a_false(length - 1) > 0) ++count;
        count += up.size() + up.size_to(length - 1);
        count += down.size() + down.size_from(2);
    }
    return count;
}

void encode_sequential_counter(std::span<const Literal> literals, std::size_t at_most, std::size_t at_least,
                               ClauseWriter& writer) {
    writer.expect(sequential_counter_clause_count(literals.size(), at_most, at_least));
    const CounterShape shape(literals.size(), at_most, at_least);
    CounterBuilder(shape, writer).encode(literals);
}

}  // namespace kelvo
