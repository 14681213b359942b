#pragma once
// Figures of one formula-encoder run: per constraint and in total, written
// as JSON or CSV.

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo {

struct ConstraintMetrics {
    std::int64_t number = 0;  // hard and soft constraints counted together from 0
    std::string kind;         // "hard" or "soft"
    std::int64_t instances = 0;
    std::int64_t clauses = 0;
    std::int64_t auxiliaries = 0;
    double encoding_seconds = 0;
};

struct EncodingMetrics {
    std::string model_name;
    std::int64_t model_variables = 0;
    std::int64_t target_terms = 0;
    double generation_seconds = 0;  // the last generate_cnf
    std::vector<ConstraintMetrics> constraints;
};

std::string metrics_json(const EncodingMetrics& metrics);
std::string metrics_csv(const EncodingMetrics& metrics);

// Writes text to a file; false (and an error log line) when it cannot.
bool write_text_file(const std::string& path, const std::string& text);

}  // namespace kelvo
