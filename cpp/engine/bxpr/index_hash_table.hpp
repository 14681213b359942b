#pragma once
// An open-addressing hash set of node indices. Each slot holds the index and
// the high half of its hash, so a probe reaches the node itself only on a
// likely match, and the whole table is one flat array.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvo::bxpr {

class IndexHashTable {
public:
    // The stored index with that hash for which matches(index) holds, or 0
    // (index 0 is never stored).
    template <typename Matches>
    [[nodiscard]] std::uint32_t find(std::uint64_t hash, const Matches& matches) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const std::uint64_t entry = slots_[slot];
            if (entry == 0) return 0;
            const auto index = static_cast<std::uint32_t>(entry);
            if ((entry & tag_mask) == (hash & tag_mask) && matches(index)) return index;
        }
    }

    // Stores an index not stored yet. When the table grows it is refilled by
    // stored(place), which calls place(hash, index) for every stored index
    // (the owner can walk its nodes in memory order, which is much faster
    // than chasing them from the slots).
    template <typename Stored>
    void insert(std::uint64_t hash, std::uint32_t index, const Stored& stored) {
        reserve(size_ + 1, stored);
        place(slots_, hash, index);
        ++size_;
    }

    template <typename Stored>
    void reserve(std::size_t count, const Stored& stored) {
        if (2 * count <= slots_.size()) return;
        std::size_t capacity = slots_.size();
        while (2 * count > capacity) capacity *= 2;
        std::vector<std::uint64_t> larger(capacity, 0U);
        stored([&larger](std::uint64_t hash, std::uint32_t index) { place(larger, hash, index); });
        slots_ = std::move(larger);
    }

    // Starts loading the slot where a search for hash begins.
    void prefetch(std::uint64_t hash) const { __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]); }

    [[nodiscard]] std::size_t size() const { return size_; }

private:
    static constexpr std::uint64_t tag_mask = 0xffffffff00000000ULL;
    std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(64, 0U);
    std::size_t size_ = 0;

    static void place(std::vector<std::uint64_t>& slots, std::uint64_t hash, std::uint32_t index) {
        const std::size_t mask = slots.size() - 1;
        std::size_t slot = hash & mask;
        while (slots[slot] != 0) slot = (slot + 1) & mask;
        slots[slot] = (hash & tag_mask) | index;
    }
};

}  // namespace kelvo::bxpr
