#include "engine/support/exact_integer.hpp"

#include <algorithm>

namespace kelvo {

namespace {

using Limbs = std::vector<std::uint32_t>;

int compare_magnitudes(const Limbs& a, const Limbs& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

Limbs added_magnitudes(const Limbs& a, const Limbs& b) {
    Limbs sum(std::max(a.size(), b.size()) + 1, 0);
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < sum.size(); ++i) {
        carry += (i < a.size() ? a[i] : 0U);
        carry += (i < b.size() ? b[i] : 0U);
        sum[i] = static_cast<std::uint32_t>(carry);
        carry >>= 32;
    }
    return sum;
}

// a - b for |a| >= |b|.
Limbs subtracted_magnitudes(const Limbs& a, const Limbs& b) {
    Limbs difference(a.size(), 0);
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::int64_t limb = static_cast<std::int64_t>(a[i]) - (i < b.size() ? b[i] : 0U) - borrow;
        borrow = limb < 0 ? 1 : 0;
        if (limb < 0) limb += std::int64_t{1} << 32;
        difference[i] = static_cast<std::uint32_t>(limb);
    }
    return difference;
}

Limbs multiplied_magnitudes(const Limbs& a, const Limbs& b) {
    Limbs product(a.size() + b.size(), 0);
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < b.size(); ++j) {
            carry += static_cast<std::uint64_t>(a[i]) * b[j] + product[i + j];
            product[i + j] = static_cast<std::uint32_t>(carry);
            carry >>= 32;
        }
        for (std::size_t k = i + b.size(); carry != 0; ++k) {
            carry += product[k];
            product[k] = static_cast<std::uint32_t>(carry);
            carry >>= 32;
        }
    }
    return product;
}

std::size_t bits_of(const Limbs& magnitude) {
    if (magnitude.empty()) return 0;
    std::size_t bits = 32 * (magnitude.size() - 1);
    for (std::uint32_t top = magnitude.back(); top != 0; top >>= 1) ++bits;
    return bits;
}

}  // namespace

ExactInteger::ExactInteger(std::int64_t value) : negative_(value < 0) {
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    while (magnitude != 0) {
        magnitude_.push_back(static_cast<std::uint32_t>(magnitude));
        magnitude >>= 32;
    }
}

ExactInteger::ExactInteger(bool negative, Limbs magnitude) : negative_(negative), magnitude_(std::move(magnitude)) {
    normalise();
}

void ExactInteger::normalise() {
    while (!magnitude_.empty() && magnitude_.back() == 0) magnitude_.pop_back();
    if (magnitude_.empty()) negative_ = false;
    if (bits_of(magnitude_) > largest_bits) {
        throw ExactIntegerTooLarge("an integer of more than " + std::to_string(largest_bits) + " bits");
    }
}

ExactInteger ExactInteger::from_decimal(std::string_view digits) {
    if (digits.empty()) throw std::invalid_argument("no decimal digits");
    ExactInteger value;
    const ExactInteger ten(10);
    for (const char digit : digits) {
        if (digit < '0' || digit > '9') throw std::invalid_argument("not a decimal digit");
        value = value * ten + ExactInteger(digit - '0');
    }
    return value;
}

std::optional<std::int64_t> ExactInteger::to_int64() const {
    if (magnitude_.size() > 2) return std::nullopt;
    std::uint64_t magnitude = 0;
    for (std::size_t i = magnitude_.size(); i-- > 0;) magnitude = (magnitude << 32) | magnitude_[i];
    constexpr std::uint64_t largest = static_cast<std::uint64_t>(INT64_MAX);
    if (!negative_) {
        if (magnitude > largest) return std::nullopt;
        return static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > largest + 1) return std::nullopt;
    return magnitude == largest + 1 ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
}

std::string ExactInteger::to_string() const {
    if (magnitude_.empty()) return "0";
    Limbs rest = magnitude_;
    std::string digits;
    while (!rest.empty()) {
        std::uint64_t remainder = 0;
        for (std::size_t i = rest.size(); i-- > 0;) {
            const std::uint64_t current = (remainder << 32) | rest[i];
            rest[i] = static_cast<std::uint32_t>(current / 1'000'000'000U);
            remainder = current % 1'000'000'000U;
        }
        while (!rest.empty() && rest.back() == 0) rest.pop_back();
        for (int k = 0; k < 9 && (remainder != 0 || !rest.empty()); ++k) {
            digits.push_back(static_cast<char>('0' + remainder % 10));
            remainder /= 10;
        }
    }
    if (negative_) digits.push_back('-');
    std::reverse(digits.begin(), digits.end());
    return digits;
}

ExactInteger operator+(const ExactInteger& a, const ExactInteger& b) {
    if (a.negative_ == b.negative_) return {a.negative_, added_magnitudes(a.magnitude_, b.magnitude_)};
    if (compare_magnitudes(a.magnitude_, b.magnitude_) >= 0) {
        return {a.negative_, subtracted_magnitudes(a.magnitude_, b.magnitude_)};
    }
    return {b.negative_, subtracted_magnitudes(b.magnitude_, a.magnitude_)};
}

ExactInteger operator-(const ExactInteger& a, const ExactInteger& b) { return a + (-b); }

ExactInteger operator*(const ExactInteger& a, const ExactInteger& b) {
    if (bits_of(a.magnitude_) + bits_of(b.magnitude_) > ExactInteger::largest_bits + 1) {
        throw ExactIntegerTooLarge("an integer of more than " + std::to_string(ExactInteger::largest_bits) + " bits");
    }
    return {a.negative_ != b.negative_, multiplied_magnitudes(a.magnitude_, b.magnitude_)};
}

ExactInteger ExactInteger::operator-() const { return {!negative_, magnitude_}; }

ExactInteger ExactInteger::operator~() const { return -*this - ExactInteger(1); }

// The host's bitwise operators act on the infinite two's complement: both
// operands are extended by their sign to one limb more than the longer.
ExactInteger::Limbs ExactInteger::twos_complement(std::size_t limbs) const {
    Limbs bits(limbs, 0);
    std::copy(magnitude_.begin(), magnitude_.end(), bits.begin());
    if (!negative_) return bits;
    std::uint64_t carry = 1;
    for (auto& limb : bits) {
        carry += static_cast<std::uint32_t>(~limb);
        limb = static_cast<std::uint32_t>(carry);
        carry >>= 32;
    }
    return bits;
}

ExactInteger ExactInteger::bitwise(const ExactInteger& a, const ExactInteger& b, BitOperation operation) {
    const std::size_t limbs = std::max(a.magnitude_.size(), b.magnitude_.size()) + 1;
    const Limbs left = a.twos_complement(limbs);
    const Limbs right = b.twos_complement(limbs);
    Limbs bits(limbs, 0);
    for (std::size_t i = 0; i < limbs; ++i) {
        bits[i] = operation == BitOperation::conjunction   ? (left[i] & right[i])
                  : operation == BitOperation::disjunction ? (left[i] | right[i])
                                                           : (left[i] ^ right[i]);
    }
    const bool negative = (bits.back() >> 31) != 0;
    if (!negative) return {false, std::move(bits)};
    // The magnitude of a negative two's complement: invert, add 1.
    std::uint64_t carry = 1;
    for (auto& limb : bits) {
        carry += static_cast<std::uint32_t>(~limb);
        limb = static_cast<std::uint32_t>(carry);
        carry >>= 32;
    }
    return {true, std::move(bits)};
}

ExactInteger operator&(const ExactInteger& a, const ExactInteger& b) {
    return ExactInteger::bitwise(a, b, ExactInteger::BitOperation::conjunction);
}
ExactInteger operator|(const ExactInteger& a, const ExactInteger& b) {
    return ExactInteger::bitwise(a, b, ExactInteger::BitOperation::disjunction);
}
ExactInteger operator^(const ExactInteger& a, const ExactInteger& b) {
    return ExactInteger::bitwise(a, b, ExactInteger::BitOperation::exclusion);
}

ExactInteger ExactInteger::power(std::uint64_t exponent) const {
    // 0, 1 and -1 stay small whatever the exponent.
    if (magnitude_.empty()) return exponent == 0 ? ExactInteger(1) : ExactInteger();
    if (magnitude_.size() == 1 && magnitude_[0] == 1) {
        return ExactInteger(negative_ && exponent % 2 == 1 ? -1 : 1);
    }
    if (exponent > largest_bits) {
        throw ExactIntegerTooLarge("an integer of more than " + std::to_string(largest_bits) + " bits");
    }
    ExactInteger result(1);
    ExactInteger base = *this;
    for (std::uint64_t rest = exponent; rest != 0; rest >>= 1) {
        if (rest & 1U) result = result * base;
        if (rest > 1) base = base * base;
    }
    return result;
}

}  // namespace kelvo
