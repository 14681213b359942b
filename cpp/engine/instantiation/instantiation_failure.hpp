#pragma once
// Why an instance of a clause template could not be numbered, and which one:
// the caller words it, the formula encoder naming the constraint and its
// text, the kernels handing the cell to the host.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

namespace kelvo {

class InstantiationFailure : public std::runtime_error {
public:
    enum class Reason : std::uint8_t {
        cell_out_of_range,   // an occurrence's index values outside its variable's sizes
        index_overflow,      // an occurrence's index values, computed exactly, past 64 bits
        numbers_exhausted,   // a number that is no literal: 0, past 2^31 - 1, or an instance's block past it
    };

    InstantiationFailure(Reason reason, std::int64_t instance, std::vector<std::int64_t> index_values)
        : std::runtime_error(description(reason)), reason(reason), instance(instance),
          index_values(std::move(index_values)) {}

    Reason reason;
    std::int64_t instance;                   // in the order of combinations
    std::vector<std::int64_t> index_values;  // the instance's combination
    std::size_t literal = 0;                 // the distinct literal, for an occurrence's failures
    std::size_t variable = 0;                // its variable's position
    std::vector<std::int64_t> cell;          // its index values, when out of range
    std::optional<std::int64_t> number;      // the number that is no literal, when it has one

private:
    static const char* description(Reason reason) {
        switch (reason) {
            case Reason::cell_out_of_range: return "index values out of the dimensions of a variable";
            case Reason::index_overflow: return "index arithmetic beyond 64 bits";
            case Reason::numbers_exhausted: break;
        }
        return "a number out of the literals' range";
    }
};

}  // namespace kelvo
