#pragma once
// Mapping keys of a variable's cells, "name[v1,v2,...]", in row-major order,
// and of auxiliaries, "prefix[f,k,n]".
// Header-only: the engine's mapping and the package's kernels both spell them.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// Number of cells of a variable with the given dimension sizes: their
// product, 0 when any size is 0 or below, 1 without dimensions.
// Throws std::overflow_error when the product does not fit.
inline std::int64_t cell_count(std::span<const std::int64_t> sizes) {
    for (const std::int64_t size : sizes) {
        if (size <= 0) return 0;
    }
    std::int64_t count = 1;
    for (const std::int64_t size : sizes) {
        if (count > std::numeric_limits<std::int64_t>::max() / size) {
            throw std::overflow_error("The number of cells of the variable is too large");
        }
        count *= size;
    }
    return count;
}

// The mapping key "prefix[f,k,n]" of auxiliary n (of its kind) of instance k
// of constraint f.
inline std::string auxiliary_key(std::string_view prefix, std::int64_t formula, std::int64_t instance,
                                 std::int64_t index) {
    std::string key(prefix);
    key += '[';
    key += std::to_string(formula);
    key += ',';
    key += std::to_string(instance);
    key += ',';
    key += std::to_string(index);
    key += ']';
    return key;
}

// Walks every cell in row-major order (the last dimension fastest) and keeps
// the current cell's key spelled out, so that each step rewrites only the
// digits that changed.
class RowMajorKeys {
public:
    RowMajorKeys(std::string_view name, std::span<const std::int64_t> sizes)
        : sizes_(sizes.begin(), sizes.end()),
          values_(sizes.size(), 0),
          starts_(sizes.size(), 0),
          key_(name),
          done_(cell_count(sizes) == 0) {
        key_.push_back('[');
        if (!starts_.empty()) starts_[0] = key_.size();
        spell_from(0);
    }

    bool done() const { return done_; }
    std::string_view key() const { return key_; }

    void advance() {
        std::size_t dimension = sizes_.size();
        while (dimension > 0) {
            --dimension;
            if (++values_[dimension] < sizes_[dimension]) {
                spell_from(dimension);
                return;
            }
            values_[dimension] = 0;
        }
        done_ = true;
    }

private:
    void spell_from(std::size_t dimension) {
        if (dimension < starts_.size()) key_.resize(starts_[dimension]);
        for (std::size_t d = dimension; d < values_.size(); ++d) {
            if (d > dimension) key_.push_back(',');
            starts_[d] = key_.size();
            char digits[24];
            const auto written = std::to_chars(digits, digits + sizeof digits, values_[d]);
            key_.append(digits, written.ptr);
        }
        key_.push_back(']');
    }

    std::vector<std::int64_t> sizes_;
    std::vector<std::int64_t> values_;
    // Position in key_ where each dimension's value text begins.
    std::vector<std::size_t> starts_;
    std::string key_;
    bool done_;
};

}  // namespace kelvo
