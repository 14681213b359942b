#pragma once
// Clauses as one flat array of literals plus clause boundaries, so that
// millions of clauses cost two allocations instead of millions.

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace kelvo {

using Literal = std::int32_t;

class ClauseBuffer {
public:
    void append(std::span<const Literal> clause) {
        literals_.insert(literals_.end(), clause.begin(), clause.end());
        ends_.push_back(literals_.size());
    }

    // Clauses given flat: clause c is literals[offsets[c] .. offsets[c + 1]).
    void append_flat(std::span<const Literal> literals, std::span<const std::int64_t> offsets) {
        if (offsets.empty()) return;
        const auto base = literals_.size() - static_cast<std::size_t>(offsets.front());
        literals_.insert(literals_.end(), literals.begin() + offsets.front(), literals.begin() + offsets.back());
        grow_ends(offsets.size() - 1);
        for (std::size_t c = 1; c < offsets.size(); ++c) ends_.push_back(base + static_cast<std::size_t>(offsets[c]));
    }

    // The same, the literals taken over instead of copied into an empty buffer.
    void append_flat(std::vector<Literal>&& literals, std::span<const std::int64_t> offsets) {
        if (!literals_.empty() || offsets.empty() || offsets.front() != 0) {
            append_flat(std::span<const Literal>(literals), offsets);
            return;
        }
        literals.resize(static_cast<std::size_t>(offsets.back()));
        literals_ = std::move(literals);
        grow_ends(offsets.size() - 1);
        for (std::size_t c = 1; c < offsets.size(); ++c) ends_.push_back(static_cast<std::size_t>(offsets[c]));
    }

    void append_all(const ClauseBuffer& other) {
        if (&other == this) {
            const ClauseBuffer copy = other;
            append_all(copy);
            return;
        }
        const auto base = literals_.size();
        literals_.insert(literals_.end(), other.literals_.begin(), other.literals_.end());
        grow_ends(other.ends_.size());
        for (const auto end : other.ends_) ends_.push_back(base + end);
    }

    // Appends other's clauses with every literal beyond `above` in magnitude
    // moved `shift` further from zero: a block of auxiliaries renumbered.
    void append_all_shifted(const ClauseBuffer& other, Literal above, Literal shift) {
        const auto base = literals_.size();
        const auto needed = base + other.literals_.size();
        if (needed > literals_.capacity()) literals_.reserve(std::max(needed, 2 * literals_.capacity()));
        for (const auto literal : other.literals_) {
            literals_.push_back(literal > above ? literal + shift : literal < -above ? literal - shift : literal);
        }
        grow_ends(other.ends_.size());
        for (const auto end : other.ends_) ends_.push_back(base + end);
    }

    void reserve(std::size_t clauses, std::size_t literals) {
        ends_.reserve(ends_.size() + clauses);
        literals_.reserve(literals_.size() + literals);
    }

    [[nodiscard]] std::size_t size() const { return ends_.size(); }
    [[nodiscard]] bool empty() const { return ends_.empty(); }
    [[nodiscard]] std::size_t literal_count() const { return literals_.size(); }

    [[nodiscard]] std::span<const Literal> clause(std::size_t index) const {
        const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
        return {literals_.data() + begin, ends_[index] - begin};
    }

    [[nodiscard]] std::span<const Literal> literals() const { return literals_; }
    // Where each clause ends among the literals.
    [[nodiscard]] std::span<const std::size_t> ends() const { return ends_; }

    // Removes clauses [first, first + count); later clauses move up.
    void erase(std::size_t first, std::size_t count) {
        if (count == 0) return;
        const std::size_t begin = first == 0 ? 0 : ends_[first - 1];
        const std::size_t end = ends_[first + count - 1];
        literals_.erase(literals_.begin() + static_cast<std::ptrdiff_t>(begin),
                        literals_.begin() + static_cast<std::ptrdiff_t>(end));
        ends_.erase(ends_.begin() + static_cast<std::ptrdiff_t>(first),
                    ends_.begin() + static_cast<std::ptrdiff_t>(first + count));
        for (std::size_t c = first; c < ends_.size(); ++c) ends_[c] -= end - begin;
    }

    void clear() {
        literals_.clear();
        ends_.clear();
    }

private:
    std::vector<Literal> literals_;
    std::vector<std::size_t> ends_;

    // Room for more clause ends without giving up the vector's doubling: an
    // exact reserve on every append of a small block would copy the whole
    // array each time, quadratic over thousands of merges.
    void grow_ends(std::size_t more) {
        const std::size_t needed = ends_.size() + more;
        if (needed > ends_.capacity()) ends_.reserve(std::max(needed, 2 * ends_.capacity()));
    }
};

}  // namespace kelvo
