#include "engine/model_text/encoding_metrics.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/support/log.hpp"

namespace kelvo {

namespace {

struct Totals {
    std::int64_t instances = 0;
    std::int64_t clauses = 0;
    std::int64_t auxiliaries = 0;
    double seconds = 0;
};

Totals totals_of(const EncodingMetrics& metrics) {
    Totals totals;
    for (const auto& constraint : metrics.constraints) {
        totals.instances += constraint.instances;
        totals.clauses += constraint.clauses;
        totals.auxiliaries += constraint.auxiliaries;
        totals.seconds += constraint.encoding_seconds;
    }
    return totals;
}

std::string json_string(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string seconds_text(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string metrics_json(const EncodingMetrics& metrics) {
    std::string json = "{\n  \"model\": " + json_string(metrics.model_name) +
                       ",\n  \"model_variables\": " + std::to_string(metrics.model_variables) +
                       ",\n  \"target_terms\": " + std::to_string(metrics.target_terms) + ",\n  \"constraints\": [";
    for (std::size_t i = 0; i < metrics.constraints.size(); ++i) {
        const auto& c = metrics.constraints[i];
        json += std::string(i ? "," : "") + "\n    {\"number\": " + std::to_string(c.number) +
                ", \"kind\": " + json_string(c.kind) + ", \"instances\": " + std::to_string(c.instances) +
                ", \"clauses\": " + std::to_string(c.clauses) + ", \"auxiliaries\": " + std::to_string(c.auxiliaries) +
                ", \"encoding_seconds\": " + seconds_text(c.encoding_seconds) + "}";
    }
    const Totals totals = totals_of(metrics);
    json += std::string(metrics.constraints.empty() ? "" : "\n  ") + "],\n  \"totals\": {\"constraints\": " +
            std::to_string(metrics.constraints.size()) + ", \"instances\": " + std::to_string(totals.instances) +
            ", \"clauses\": " + std::to_string(totals.clauses) + ", \"auxiliaries\": " +
            std::to_string(totals.auxiliaries) + ", \"encoding_seconds\": " + seconds_text(totals.seconds) +
            ", \"generation_seconds\": " + seconds_text(metrics.generation_seconds) + "}\n}\n";
    return json;
}

std::string metrics_csv(const EncodingMetrics& metrics) {
    std::string csv = "constraint,kind,instances,clauses,auxiliaries,encoding_seconds\n";
    for (const auto& c : metrics.constraints) {
        csv += std::to_string(c.number) + "," + c.kind + "," + std::to_string(c.instances) + "," +
               std::to_string(c.clauses) + "," + std::to_string(c.auxiliaries) + "," + seconds_text(c.encoding_seconds) +
               "\n";
    }
    const Totals totals = totals_of(metrics);
    csv += "total,," + std::to_string(totals.instances) + "," + std::to_string(totals.clauses) + "," +
           std::to_string(totals.auxiliaries) + "," + seconds_text(totals.seconds) + "\n";
    return csv;
}

bool write_text_file(const std::string& path, const std::string& text) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        log_message("Cannot write the metrics file " + path + ": " + std::strerror(errno), LogLevel::error);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    const bool closed = std::fclose(file.release()) == 0;
    if (!written || !closed) {
        log_message("Cannot write the metrics file " + path + ": " + std::strerror(errno), LogLevel::error);
        return false;
    }
    return true;
}

}  // namespace kelvo
