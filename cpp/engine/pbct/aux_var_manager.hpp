#pragma once
// Hands out fresh variable numbers, one at a time, from a first number on.
// The caller numbers its own variables from it too, so an auxiliary never
// coincides with an input.

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "engine/support/clause_buffer.hpp"

namespace kelvo {

class AuxVarManager {
public:
    explicit AuxVarManager(std::int64_t first) : next_(first) {
        if (first <= 0 || first > std::numeric_limits<Literal>::max()) {
            throw std::invalid_argument("the first variable number must lie in 1.." +
                                        std::to_string(std::numeric_limits<Literal>::max()) + ", got " +
                                        std::to_string(first));
        }
    }

    Literal get_variable() {
        if (next_ > std::numeric_limits<Literal>::max()) {
            throw std::overflow_error("no variable number is left in the 32-bit range");
        }
        return static_cast<Literal>(next_++);
    }

    // The number the next call of get_variable returns.
    [[nodiscard]] std::int64_t next_variable() const { return next_; }

private:
    std::int64_t next_;
};

}  // namespace kelvo
