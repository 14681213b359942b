#pragma once
// An open-addressing index of names stored elsewhere, by position. A slot
// holds a position and the name's hash, so that a lookup compares text only
// on a hash match and growing never reads a name.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvo {

class NameIndex {
public:
    // The position of name, where name_at(position) gives the stored names.
    template <typename NameAt>
    [[nodiscard]] std::optional<std::size_t> find(std::string_view name, const NameAt& name_at) const {
        if (slots_.empty()) return std::nullopt;
        const auto hash = hash_of(name);
        for (std::size_t s = hash & mask(); slots_[s].position_plus_one != 0; s = (s + 1) & mask()) {
            if (slots_[s].hash == hash && name_at(slots_[s].position_plus_one - 1) == name) {
                return slots_[s].position_plus_one - 1;
            }
        }
        return std::nullopt;
    }

    // Files position under name unless the name is there already; returns the
    // position filed for it and whether it was added.
    template <typename NameAt>
    std::pair<std::size_t, bool> insert(std::string_view name, std::size_t position, const NameAt& name_at) {
        if (position >= largest_position) throw std::length_error("the mapping holds too many names");
        if (2 * (size_ + 1) > slots_.size()) grow(std::max<std::size_t>(16, 2 * slots_.size()));
        const auto hash = hash_of(name);
        std::size_t s = hash & mask();
        for (; slots_[s].position_plus_one != 0; s = (s + 1) & mask()) {
            if (slots_[s].hash == hash && name_at(slots_[s].position_plus_one - 1) == name) {
                return {slots_[s].position_plus_one - 1, false};
            }
        }
        slots_[s] = {static_cast<std::uint32_t>(position + 1), hash};
        ++size_;
        return {position, true};
    }

    void reserve(std::size_t count) {
        std::size_t capacity = std::max<std::size_t>(16, slots_.size());
        while (capacity < 2 * count) capacity *= 2;
        if (capacity > slots_.size()) grow(capacity);
    }

    void clear() {
        slots_.clear();
        size_ = 0;
    }

private:
    static constexpr std::size_t largest_position = 0xFFFFFFFEu;
    struct Slot {
        std::uint32_t position_plus_one = 0;
        std::uint32_t hash = 0;
    };
    std::vector<Slot> slots_;
    std::size_t size_ = 0;

    [[nodiscard]] std::size_t mask() const { return slots_.size() - 1; }
    static std::uint32_t hash_of(std::string_view name) {
        const auto hash = std::hash<std::string_view>{}(name);
        return static_cast<std::uint32_t>(hash ^ (hash >> 32));
    }

    void grow(std::size_t capacity) {
        std::vector<Slot> old(capacity);
        old.swap(slots_);
        for (const auto& slot : old) {
            if (slot.position_plus_one == 0) continue;
            std::size_t s = slot.hash & mask();
            while (slots_[s].position_plus_one != 0) s = (s + 1) & mask();
            slots_[s] = slot;
        }
    }
};

}  // namespace kelvo
