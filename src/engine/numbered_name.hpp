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
        char digits[std::numeric_limits<std::uint64_t>::digits10 + 1];
        const auto end = std::to_chars(digits, digits + sizeof digits, next_++).ptr;
        name_.resize(stem_);
        name_.append(digits, end);
        return name_;
    }

private:
    std::string name_;
    std::size_t stem_;
    std::uint64_t next_;
};

}  // namespace kelvo::bxpr
