#pragma once
// The names the package and its engine agree on, in one place: the prefixes
// of auxiliary variables ("_pbct_aux_3", mapping key "_pbct_aux[f,k,n]") and
// the names the modelling layer's text relies on, which no model variable may
// take. The package's side is vx_encoder/core/engine_assumptions.py.

#include <algorithm>
#include <iterator>
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

inline bool has_auxiliary_prefix(std::string_view name) {
    return name.starts_with(pbct_auxiliary_prefix) || name.starts_with(bxpr_auxiliary_prefix);
}

}  // namespace kelvo
