#pragma once
// Names prefix_n for n counting up, written into one reused string: naming a
// hundred thousand new variables should not cost a string each.

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace kelvo::bxpr {

class NumberedName {
public:
    NumberedName(std::string_view prefix, std::uint64_t first_index) : name_(prefix), next_(first_index) {
        name_ += '_';
        stem_ = name_.size();
    }

    // The next name; the view holds until the following call.
    std::string_view next() {
        name_.resize(stem_);
        append_digits(name_);
        return name_;
    }

    // Writes the next name at the end of text.
    void append_next(std::string& text) {
        text.append(name_, 0, stem_);
        append_digits(text);
    }

private:
    void append_digits(std::string& text) {
        char digits[std::numeric_limits<std::uint64_t>::digits10 + 1];
        const auto end = std::to_chars(digits, digits + sizeof digits, next_++).ptr;
        text.append(digits, end);
    }

    std::string name_;
    std::size_t stem_;
    std::uint64_t next_;
};

}  // namespace kelvo::bxpr
