#include "kernels/clause_assembly/clause_template.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace vx {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The name between apostrophes, when the text is a plain quoted name (no
// escapes, no inner quotes).
std::optional<std::string_view> quoted_name(std::string_view text) {
    if (text.size() < 2 || text.front() != '\'' || text.back() != '\'') return std::nullopt;
    const auto inner = text.substr(1, text.size() - 2);
    if (inner.find_first_of("'\\") != std::string_view::npos) return std::nullopt;
    return inner;
}

// The instantiator's failure as the package reads it: a cell out of range
// for the host to word, arithmetic past 64 bits for the host to redo.
[[noreturn]] void throw_for_the_host(const kelvo::InstantiationFailure& failure,
                                    std::span<const std::pair<std::size_t, std::string>> names) {
    using Reason = kelvo::InstantiationFailure::Reason;
    switch (failure.reason) {
        case Reason::cell_out_of_range: {
            const auto named = std::find_if(names.begin(), names.end(),
                                            [&failure](const auto& name) { return name.first == failure.variable; });
            throw CellOutOfRange(named->second, failure.cell);
        }
        case Reason::index_overflow: throw HostEvaluationNeeded();
        case Reason::numbers_exhausted: break;
    }
    if (!failure.number) throw std::overflow_error("auxiliary variable number out of range");
    if (*failure.number == 0) {
        throw std::invalid_argument("variable number 0 cannot be a literal: clause literals are numbered from 1");
    }
    throw std::invalid_argument("literal " + std::to_string(*failure.number) + " is out of the 32-bit range");
}

}  // namespace

void check_auxiliary_literals(std::span<const std::vector<std::string>> clauses, const AuxiliaryBlock& block) {
    for (const auto& clause : clauses) {
        for (const auto& text : clause) {
            if (const auto name = quoted_name(trimmed(text))) parse_auxiliary_literal(*name, block);
        }
    }
}

ClauseTemplate::ClauseTemplate(const kelvo::StructuredTemplateView& structure,
                               std::span<const kelvo::VariableCells> variables, kelvo::AuxiliarySlots slots,
                               kelvo::CellNumbers cells)
    : instantiator_((structure.check(), structure), variables, slots, cells) {
    for (std::size_t l = 0; l < structure.kinds.size(); ++l) {
        if (structure.kind(l) != kelvo::TemplateLiteralKind::occurrence) continue;
        const auto position = static_cast<std::size_t>(structure.values[l]);
        const bool named = std::any_of(names_.begin(), names_.end(),
                                       [position](const auto& name) { return name.first == position; });
        if (!named) names_.emplace_back(position, variables[position].name);
    }
}

std::uint64_t ClauseTemplate::literals_written(std::span<const std::vector<std::int64_t>> values) const {
    auto written = static_cast<std::uint64_t>(instantiator_.literal_count());
    for (const auto& sequence : values) {
        if (__builtin_mul_overflow(written, static_cast<std::uint64_t>(sequence.size()), &written)) {
            return std::numeric_limits<std::uint64_t>::max();
        }
    }
    return written;
}

InstantiatedClauses ClauseTemplate::instantiate(std::span<const std::vector<std::int64_t>> values,
                                                std::span<const std::uint64_t> weights,
                                                std::int64_t first_auxiliary, kelvo::ShapeBindings bindings) const {
    instantiator_.check_values(values, bindings);
    const auto clause_count = instantiator_.clause_count();
    if (!weights.empty() && weights.size() != clause_count) {
        throw std::invalid_argument("one weight per template clause is expected");
    }
    kelvo::FlatClauses clauses{{}, {}};
    try {
        clauses = instantiator_.instantiate(values, first_auxiliary, false, bindings);
    } catch (const kelvo::InstantiationFailure& failure) {
        throw_for_the_host(failure, names_);
    }
    InstantiatedClauses result{std::move(clauses.literals), std::move(clauses.offsets), {}, {}};
    const auto instances = kelvo::TemplateInstantiator::instance_count(values);
    if (!weights.empty()) {
        result.weights.reserve(result.clause_count());
        for (std::int64_t k = 0; k < instances; ++k) result.weights.insert(result.weights.end(), weights.begin(), weights.end());
    }
    // Every instance first uses its auxiliaries in the same order.
    const auto order = instantiator_.auxiliary_order();
    result.auxiliaries.reserve(static_cast<std::size_t>(instances) * order.size());
    for (std::int64_t k = 0; k < instances; ++k) {
        for (const auto slot : order) result.auxiliaries.push_back({k, slot});
    }
    return result;
}

}  // namespace vx
