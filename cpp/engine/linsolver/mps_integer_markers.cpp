#include "engine/linsolver/mps_integer_markers.hpp"

#include <cstdio>
#include <stdexcept>

namespace kelvo {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

// The first two blank-separated fields of a line.
struct LeadingFields {
    std::string_view first;
    std::string_view second;
};

LeadingFields leading_fields(std::string_view line) {
    LeadingFields fields;
    auto start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return fields;
    auto end = line.find_first_of(kBlanks, start);
    fields.first = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (end == std::string_view::npos) return fields;
    start = line.find_first_not_of(kBlanks, end);
    if (start == std::string_view::npos) return fields;
    end = line.find_first_of(kBlanks, start);
    fields.second = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    return fields;
}

// A section header starts in the line's first column; comments start with '*'.
bool is_section_header(std::string_view line) {
    return !line.empty() && kBlanks.find(line.front()) == std::string_view::npos && line.front() != '*';
}

class MarkerWriter {
public:
    explicit MarkerWriter(std::string& out) : out_(out) {}

    void enter_kind(bool integer) {
        if (integer == inside_) return;
        char line[64];
        std::snprintf(line, sizeof line, "    MARK%04u  'MARKER'                 '%s'\n", serial_++,
                      integer ? "INTORG" : "INTEND");
        out_ += line;
        inside_ = integer;
    }

private:
    std::string& out_;
    unsigned serial_ = 0;
    bool inside_ = false;
};

}  // namespace

std::string with_exact_integer_markers(std::string_view mps, std::span<const std::uint8_t> integer) {
    std::string out;
    out.reserve(mps.size() + 64);
    MarkerWriter markers(out);
    bool in_columns = false;
    std::size_t columns_seen = 0;
    std::string_view column;
    std::size_t position = 0;
    while (position < mps.size()) {
        auto end = mps.find('\n', position);
        end = end == std::string_view::npos ? mps.size() : end + 1;
        const auto line = mps.substr(position, end - position);
        position = end;
        if (is_section_header(line)) {
            if (in_columns) markers.enter_kind(false);
            in_columns = leading_fields(line).first == "COLUMNS";
            out += line;
            continue;
        }
        if (!in_columns) {
            out += line;
            continue;
        }
        const auto fields = leading_fields(line);
        if (fields.second == "'MARKER'") continue;
        if (fields.first.empty()) {
            out += line;
            continue;
        }
        if (fields.first != column) {
            // Names are unique, and a column's lines stand together in column order.
            if (columns_seen == integer.size()) {
                throw std::invalid_argument("the MPS text names more columns than the model has");
            }
            column = fields.first;
            markers.enter_kind(integer[columns_seen] != 0);
            ++columns_seen;
        }
        out += line;
    }
    if (in_columns) markers.enter_kind(false);
    if (columns_seen != integer.size()) {
        throw std::invalid_argument("the MPS text names " + std::to_string(columns_seen) + " columns, but the model has " +
                                    std::to_string(integer.size()));
    }
    return out;
}

}  // namespace kelvo
