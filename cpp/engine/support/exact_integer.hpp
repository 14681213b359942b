#pragma once
// An integer of any size, as the host's integers are: index arithmetic whose
// numbers or intermediate results pass 64 bits is computed exactly with it,
// so that an index that lands inside its variable names the right cell.
// Only the slow path uses it; 64-bit arithmetic stays the common case.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// A result too large to compute (far past any variable's cells).
class ExactIntegerTooLarge : public std::overflow_error {
public:
    using std::overflow_error::overflow_error;
};

class ExactInteger {
public:
    // Results of more bits are refused: their schoolbook products would take
    // seconds, and no such number names a cell.
    static constexpr std::size_t largest_bits = 1 << 16;

    ExactInteger() = default;
    explicit ExactInteger(std::int64_t value);
    // Decimal digits without sign; throws std::invalid_argument on anything else.
    static ExactInteger from_decimal(std::string_view digits);

    [[nodiscard]] std::optional<std::int64_t> to_int64() const;
    [[nodiscard]] std::string to_string() const;
    [[nodiscard]] bool is_negative() const { return negative_; }

    friend ExactInteger operator+(const ExactInteger& a, const ExactInteger& b);
    friend ExactInteger operator-(const ExactInteger& a, const ExactInteger& b);
    friend ExactInteger operator*(const ExactInteger& a, const ExactInteger& b);
    ExactInteger operator-() const;
    ExactInteger operator~() const;  // -x - 1, as the host's ~
    friend ExactInteger operator&(const ExactInteger& a, const ExactInteger& b);
    friend ExactInteger operator|(const ExactInteger& a, const ExactInteger& b);
    friend ExactInteger operator^(const ExactInteger& a, const ExactInteger& b);
    [[nodiscard]] ExactInteger power(std::uint64_t exponent) const;

    friend bool operator==(const ExactInteger& a, const ExactInteger& b) = default;

private:
    using Limbs = std::vector<std::uint32_t>;  // little-endian; no zero limb on top; empty is 0

    bool negative_ = false;  // never for 0
    Limbs magnitude_;

    ExactInteger(bool negative, Limbs magnitude);
    void normalise();
    enum class BitOperation : std::uint8_t { conjunction, disjunction, exclusion };
    static ExactInteger bitwise(const ExactInteger& a, const ExactInteger& b, BitOperation operation);
    [[nodiscard]] Limbs twos_complement(std::size_t limbs) const;
};

}  // namespace kelvo
