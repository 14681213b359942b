#pragma once
// Auxiliary literals of a clause template ("_pbct_aux_N", "_bxpr_aux_N", a
// leading "~" when negated) and the block of numbers they take per instance.

#include <cstdint>
#include <string_view>

#include "engine/reserved_names.hpp"

namespace vx {

inline constexpr std::string_view pbct_prefix = kelvo::pbct_auxiliary_prefix;
inline constexpr std::string_view bxpr_prefix = kelvo::bxpr_auxiliary_prefix;

// Instance k of a constraint owns the numbers first + k * (P + B) on: its P
// pseudo-Boolean auxiliaries (slots 0 .. P-1), then its B Tseytin auxiliaries
// (slots P .. P+B-1).
struct AuxiliaryBlock {
    std::int64_t first = 0;
    std::int64_t pb_count = 0;
    std::int64_t bx_count = 0;

    [[nodiscard]] std::int64_t size() const { return pb_count + bx_count; }
    // Throws std::overflow_error when the number does not fit.
    [[nodiscard]] std::int64_t number(std::int64_t instance, std::int64_t slot) const;
};

struct AuxiliaryLiteral {
    bool negated = false;
    std::int64_t slot = 0;
};

// Reads an auxiliary literal. Throws std::invalid_argument naming the text when
// it is no auxiliary name, or when its number lies outside the instance's
// block (n >= P for _pbct_aux, n >= B for _bxpr_aux): two instances would then
// share a number.
AuxiliaryLiteral parse_auxiliary_literal(std::string_view text, const AuxiliaryBlock& block);

// The positive literal of the n-th auxiliary of its kind, refused as
// parse_auxiliary_literal refuses one outside the block.
AuxiliaryLiteral auxiliary_literal_of(bool pseudo_boolean, std::int64_t n, const AuxiliaryBlock& block);

}  // namespace vx
