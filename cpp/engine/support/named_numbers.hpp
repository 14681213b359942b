#pragma once
// A list of (name, number) entries whose names lie one after another in one
// text: millions of short names cost little more than their letters.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

class NamedNumbers {
public:
    void append(std::string_view name, std::int64_t number) {
        text_.append(name);
        ends_.push_back(text_.size());
        numbers_.push_back(number);
    }
    void set_number(std::size_t position, std::int64_t number) { numbers_[position] = number; }

    // Room for more entries of so many letters in all, doubling so that many
    // small additions copy the list only now and then.
    void make_room(std::size_t more, std::size_t letters) {
        const std::size_t needed = numbers_.size() + more;
        if (needed > numbers_.capacity()) {
            const std::size_t room = std::max(needed, 2 * numbers_.capacity());
            numbers_.reserve(room);
            ends_.reserve(room);
        }
        const std::size_t text_needed = text_.size() + letters;
        if (text_needed > text_.capacity()) text_.reserve(std::max(text_needed, 2 * text_.capacity()));
    }

    void clear() {
        text_.clear();
        ends_.clear();
        numbers_.clear();
    }

    [[nodiscard]] std::size_t size() const { return numbers_.size(); }
    [[nodiscard]] bool empty() const { return numbers_.empty(); }
    [[nodiscard]] std::string_view name(std::size_t position) const {
        const auto begin = position == 0 ? 0 : ends_[position - 1];
        return std::string_view(text_).substr(begin, ends_[position] - begin);
    }
    [[nodiscard]] std::int64_t number(std::size_t position) const { return numbers_[position]; }
    [[nodiscard]] const std::vector<std::int64_t>& numbers() const { return numbers_; }

private:
    std::string text_;
    std::vector<std::uint64_t> ends_;
    std::vector<std::int64_t> numbers_;
};

}  // namespace kelvo
