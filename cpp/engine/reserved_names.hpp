#pragma once
// The names the package and its engine agree on, in one place: the prefixes
// of auxiliary variables ("_pbct_aux_3", mapping key "_pbct_aux[f,k,n]") and
// the names the modelling layer's text relies on, which no model variable may
// take. The package's side is vx_encoder/core/engine_assumptions.py.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

namespace kelvo {

// The encoder's auxiliaries, numbered per constraint from 0.
inline constexpr std::string_view pbct_auxiliary_prefix = "_pbct_aux";
// The Tseytin conversion's auxiliaries, numbered per constraint from 0.
inline constexpr std::string_view bxpr_auxiliary_prefix = "_bxpr_aux";

// The names of the modelling layer's text and the constants of the language.
inline constexpr std::string_view text_names[] = {"bx", "pb", "FormulaPB", "Sum", "manager", "range",
                                                  "True", "False", "None"};

inline bool is_text_name(std::string_view name) {
    return std::find(std::begin(text_names), std::end(text_names), name) != std::end(text_names);
}

// n of an auxiliary's name "prefix_n", n of at most 18 decimal digits;
// nullopt for any other name. Every reader of the engine's auxiliary names reads them here.
inline std::optional<std::int64_t> auxiliary_number(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || name.size() < prefix.size() + 2 || name[prefix.size()] != '_') return std::nullopt;
    const auto digits = name.substr(prefix.size() + 1);
    if (digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    std::int64_t n = 0;
    for (const char digit : digits) n = n * 10 + (digit - '0');
    return n;
}

inline bool has_auxiliary_prefix(std::string_view name) {
    return name.starts_with(pbct_auxiliary_prefix) || name.starts_with(bxpr_auxiliary_prefix);
}

}  // namespace kelvo
