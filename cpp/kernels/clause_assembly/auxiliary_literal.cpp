#include "kernels/clause_assembly/auxiliary_literal.hpp"

#include <stdexcept>
#include <string>

namespace vx {

namespace {

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// The decimal number after the last underscore of the name.
std::int64_t auxiliary_index(std::string_view name, std::string_view literal) {
    const auto digits = name.substr(name.rfind('_') + 1);
    if (digits.empty() || digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        throw std::invalid_argument("auxiliary literal " + quoted(literal) + " does not end in a decimal number");
    }
    std::int64_t index = 0;
    for (const char digit : digits) index = index * 10 + (digit - '0');
    return index;
}

void check_in_block(std::int64_t index, std::int64_t count, std::string_view prefix, std::string_view literal) {
    if (index >= count) {
        throw std::invalid_argument("auxiliary literal " + quoted(literal) + " is outside its instance's block of " +
                                    std::to_string(count) + " " + std::string(prefix) + " variables");
    }
}

}  // namespace

std::int64_t AuxiliaryBlock::number(std::int64_t instance, std::int64_t slot) const {
    std::int64_t offset = 0;
    std::int64_t result = 0;
    if (__builtin_mul_overflow(instance, size(), &offset) || __builtin_add_overflow(first, offset, &result) ||
        __builtin_add_overflow(result, slot, &result)) {
        throw std::overflow_error("auxiliary variable number out of range");
    }
    return result;
}

AuxiliaryLiteral parse_auxiliary_literal(std::string_view text, const AuxiliaryBlock& block) {
    // A tilde anywhere marks the negation, which stands first.
    AuxiliaryLiteral literal;
    literal.negated = text.find('~') != std::string_view::npos;
    const auto name = literal.negated ? text.substr(1) : text;
    if (name.find(pbct_prefix) != std::string_view::npos) {
        literal.slot = auxiliary_index(name, text);
        check_in_block(literal.slot, block.pb_count, pbct_prefix, text);
    } else if (name.find(bxpr_prefix) != std::string_view::npos) {
        const auto index = auxiliary_index(name, text);
        check_in_block(index, block.bx_count, bxpr_prefix, text);
        literal.slot = block.pb_count + index;
    } else {
        throw std::invalid_argument("literal " + quoted(text) +
                                    " is neither a variable call nor an auxiliary name (_pbct_aux_N, _bxpr_aux_N)");
    }
    return literal;
}

AuxiliaryLiteral auxiliary_literal_of(bool pseudo_boolean, std::int64_t n, const AuxiliaryBlock& block) {
    const auto prefix = pseudo_boolean ? pbct_prefix : bxpr_prefix;
    const auto name = std::string(prefix) + "_" + std::to_string(n);
    if (n < 0) throw std::invalid_argument("auxiliary literal " + quoted(name) + " has a negative number");
    check_in_block(n, pseudo_boolean ? block.pb_count : block.bx_count, prefix, name);
    return AuxiliaryLiteral{false, pseudo_boolean ? n : block.pb_count + n};
}

}  // namespace vx
