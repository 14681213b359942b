#include "engine/bxpr/new_variable_index.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <stdexcept>

namespace kelvo {

namespace {

std::uint64_t number_hash(std::int64_t number) {
    auto hash = static_cast<std::uint64_t>(number) * 0x9e3779b97f4a7c15ULL;
    return hash ^ (hash >> 29);
}

// The n of a name prefix_n, written without leading zeros.
std::optional<std::uint64_t> index_in_name(std::string_view digits) {
    if (digits.empty() || (digits.size() > 1 && digits.front() == '0')) return std::nullopt;
    std::uint64_t index = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return index;
}

}  // namespace

void NewVariableIndex::add_block(std::string_view prefix, std::uint64_t first_index,
                                 std::span<const Literal> numbers) {
    const std::size_t block = blocks_.size();
    blocks_.push_back({first_index, numbers.size(), numbers_.size()});
    numbers_.insert(numbers_.end(), numbers.begin(), numbers.end());
    auto named = by_prefix_.find(prefix);
    if (named == by_prefix_.end()) named = by_prefix_.emplace(std::string(prefix), NamedBlocks{}).first;
    NamedBlocks& same_prefix = named->second;
    if (!same_prefix.blocks.empty()) {
        const Block& last = blocks_[same_prefix.blocks.back()];
        same_prefix.rising = same_prefix.rising && first_index >= last.first_index + last.count;
    }
    same_prefix.blocks.push_back(block);
}

std::optional<NewVariableIndex::Place> NewVariableIndex::find_number(std::int64_t number) const {
    if (number <= 0 || number > std::numeric_limits<Literal>::max()) return std::nullopt;
    index_new_numbers();
    // Flat positions are stored one up, since the table never holds 0.
    const std::uint32_t found = by_number_.find(number_hash(number), [&](std::uint32_t stored) {
        return numbers_[stored - 1] == number;
    });
    if (found == 0) return std::nullopt;
    return place_of(found - 1);
}

std::optional<NewVariableIndex::Place> NewVariableIndex::find_name(std::string_view name) const {
    const std::size_t stem = name.rfind('_');
    if (stem == std::string_view::npos) return std::nullopt;
    const auto named = by_prefix_.find(name.substr(0, stem));
    if (named == by_prefix_.end()) return std::nullopt;
    const auto index = index_in_name(name.substr(stem + 1));
    if (!index) return std::nullopt;
    return place_of_index(named->second, *index);
}

void NewVariableIndex::clear() {
    blocks_.clear();
    numbers_.clear();
    by_prefix_.clear();
    by_number_ = {};
    indexed_ = 0;
}

void NewVariableIndex::index_new_numbers() const {
    if (numbers_.size() > std::numeric_limits<std::uint32_t>::max() - 1) {
        throw std::length_error("too many new variables to index");
    }
    const auto place_all = [this](const auto& place) {
        for (std::size_t flat = 0; flat < indexed_; ++flat) {
            place(number_hash(numbers_[flat]), static_cast<std::uint32_t>(flat + 1));
        }
    };
    by_number_.reserve(numbers_.size(), place_all);
    // Inserted in order, a number's first block sits first on its probe path.
    for (; indexed_ < numbers_.size(); ++indexed_) {
        by_number_.insert(number_hash(numbers_[indexed_]), static_cast<std::uint32_t>(indexed_ + 1), place_all);
    }
}

NewVariableIndex::Place NewVariableIndex::place_of(std::size_t flat) const {
    const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), flat,
                                        [](std::size_t value, const Block& block) { return value < block.start; });
    const auto block = static_cast<std::size_t>(after - blocks_.begin()) - 1;
    return {block, flat - blocks_[block].start};
}

std::optional<NewVariableIndex::Place> NewVariableIndex::place_of_index(const NamedBlocks& named,
                                                                        std::uint64_t index) const {
    const auto holds = [&](std::size_t block) {
        const Block& candidate = blocks_[block];
        return index >= candidate.first_index && index - candidate.first_index < candidate.count;
    };
    if (named.rising) {
        const auto after = std::upper_bound(named.blocks.begin(), named.blocks.end(), index,
                                            [&](std::uint64_t value, std::size_t block) {
                                                return value < blocks_[block].first_index;
                                            });
        if (after == named.blocks.begin() || !holds(*(after - 1))) return std::nullopt;
        return Place{*(after - 1), index - blocks_[*(after - 1)].first_index};
    }
    for (const std::size_t block : named.blocks) {
        if (holds(block)) return Place{block, index - blocks_[block].first_index};
    }
    return std::nullopt;
}

}  // namespace kelvo
