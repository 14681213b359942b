#pragma once
// How the pseudo-Boolean encoder works and how much it may write.

#include <cstdint>

namespace kelvo {

enum class PbEncoderType {
    // Binary adder networks for general weights; constraints whose weights are
    // all equal get dedicated cardinality encodings unless switched off.
    adder,
};

struct PBConfig {
    PbEncoderType pb_encoder = PbEncoderType::adder;
    std::int64_t max_clauses_per_constraint = 1'000'000;
    // Off: every constraint goes through the adder network, cardinality
    // constraints included (for comparison and testing).
    bool cardinality_encodings = true;
};

}  // namespace kelvo
