#pragma once
// Where the variables are that clause conversions made for numbers they did
// not know, across every conversion of a model: by number, and by name
// (prefix_n). A model converts thousands of comparisons, so a look-up must
// not cost more for each conversion before it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/support/clause_buffer.hpp"
#include "engine/bxpr/index_hash_table.hpp"
#include "engine/support/string_hash.hpp"

namespace kelvo {

class NewVariableIndex {
public:
    // Which block, in order of adding, and which of its variables.
    struct Place {
        std::size_t block;
        std::size_t position;
    };

    // Block numbers[k] is named prefix_(first_index + k). Where blocks share
    // a number or a name, the one added first is found.
    void add_block(std::string_view prefix, std::uint64_t first_index, std::span<const Literal> numbers);
    [[nodiscard]] std::optional<Place> find_number(std::int64_t number) const;
    [[nodiscard]] std::optional<Place> find_name(std::string_view name) const;
    void clear();
    // Every block's numbers, block after block.
    [[nodiscard]] std::span<const Literal> numbers() const { return numbers_; }

private:
    struct Block {
        std::uint64_t first_index;
        std::size_t count;
        std::size_t start;  // of its numbers in numbers_
    };
    // The blocks of one prefix, in order of adding; while their name ranges
    // rise without overlapping, a name is found by halving.
    struct NamedBlocks {
        std::vector<std::size_t> blocks;
        bool rising = true;
    };

    std::vector<Block> blocks_;
    std::vector<Literal> numbers_;
    std::unordered_map<std::string, NamedBlocks, StringHash, std::equal_to<>> by_prefix_;
    // Numbers are indexed when first asked for: most blocks never are.
    mutable bxpr::IndexHashTable by_number_;
    mutable std::size_t indexed_ = 0;

    void index_new_numbers() const;
    [[nodiscard]] Place place_of(std::size_t flat) const;
    [[nodiscard]] std::optional<Place> place_of_index(const NamedBlocks& named, std::uint64_t index) const;
};

}  // namespace kelvo
