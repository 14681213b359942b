#include "engine/model_text/comparison_encoding.hpp"

#include <cstdlib>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/pbct/aux_var_manager.hpp"
#include "engine/bxpr/boolean_builders.hpp"
#include "engine/bxpr/variable_replacement.hpp"
#include "engine/pbct/pb_encoder.hpp"
#include "engine/pbct/vector_clause_database.hpp"
#include "engine/model_text/text_refusals.hpp"
#include "engine/reserved_names.hpp"

namespace kelvo::model_text {

namespace {

constexpr std::uint8_t positive = 1;
constexpr std::uint8_t negative = 2;

// The clauses of sum(term) `comparator` bound, each extended by the guards.
template <typename Site>
bxpr::Ref guarded_clauses(Site& instance, const Term& term, Comparator comparator, std::int64_t bound,
                          std::span<const bxpr::Ref> guards, const PBConfig& config) {
    // The encoder numbers the term's distinct variables 1..L, its auxiliaries from L + 1.
    std::unordered_map<std::int64_t, Literal> local;
    std::vector<std::int64_t> numbers;
    std::vector<WeightedLiteral> literals;
    literals.reserve(term.items.size());
    for (const auto& item : term.items) {
        const auto [found, inserted] = local.try_emplace(item.number, static_cast<Literal>(numbers.size() + 1));
        if (inserted) numbers.push_back(item.number);
        literals.push_back({found->second, item.coefficient});
    }
    VectorClauseDatabase database(config);
    AuxVarManager auxiliaries(static_cast<std::int64_t>(numbers.size()) + 1);
    PbEncoder(config).encode(PBConstraint(std::move(literals), comparator, bound), database, auxiliaries);

    const auto& clauses = database.clauses();
    const auto drawn = static_cast<std::size_t>(auxiliaries.next_variable() - 1);
    std::vector<bxpr::Ref> variables;
    variables.reserve(drawn + guards.size());
    for (const auto number : numbers) variables.push_back(instance.variable(number));
    variables.resize(drawn, bxpr::Ref::one());
    for (const auto guard : guards) variables.push_back(guard.positive());
    std::vector<std::int64_t> flat;
    flat.reserve(clauses.literal_count() + clauses.size() * guards.size());
    std::vector<std::int64_t> offsets{0};
    offsets.reserve(clauses.size() + 1);
    for (std::size_t c = 0; c < clauses.size(); ++c) {
        for (const auto literal : clauses.clause(c)) {
            auto& slot = variables[static_cast<std::size_t>(std::abs(literal)) - 1];
            if (slot == bxpr::Ref::one()) slot = instance.new_pbct_auxiliary();  // named at first appearance
            flat.push_back(literal);
        }
        for (std::size_t g = 0; g < guards.size(); ++g) {
            const auto index = static_cast<std::int64_t>(drawn + g + 1);
            flat.push_back(guards[g].negated() ? -index : index);
        }
        offsets.push_back(static_cast<std::int64_t>(flat.size()));
    }
    for (std::size_t v = 0; v < drawn; ++v) {
        if (variables[v] == bxpr::Ref::one()) variables[v] = bxpr::Ref::zero();  // drawn but never written
    }
    return bxpr::and_of_clauses(instance.context, flat, offsets, variables);
}

std::int64_t shifted(std::int64_t bound, std::int64_t by) {
    std::int64_t result = 0;
    if (__builtin_add_overflow(bound, by, &result)) throw NumberOutOfRange("a bound out of the 64-bit range");
    return result;
}

// Clauses of "guard -> not comparison".
template <typename Site>
void add_negation(Site& instance, const PendingComparison& comparison, bxpr::Ref guard,
                  const PBConfig& config, std::vector<bxpr::Ref>& out) {
    const bxpr::Ref guards[] = {guard};
    switch (comparison.comparator) {
        case Comparator::at_most:
            out.push_back(guarded_clauses(instance, comparison.term, Comparator::at_least,
                                          shifted(comparison.bound, 1), guards, config));
            return;
        case Comparator::at_least:
            out.push_back(guarded_clauses(instance, comparison.term, Comparator::at_most,
                                          shifted(comparison.bound, -1), guards, config));
            return;
        case Comparator::both: {
            const bxpr::Ref above = instance.new_pbct_auxiliary();  // which side of the bound the sum lies on
            const bxpr::Ref below_guards[] = {guard, above};
            const bxpr::Ref above_guards[] = {guard, ~above};
            out.push_back(guarded_clauses(instance, comparison.term, Comparator::at_most, shifted(comparison.bound, -1),
                                          below_guards, config));
            out.push_back(guarded_clauses(instance, comparison.term, Comparator::at_least, shifted(comparison.bound, 1),
                                          above_guards, config));
            return;
        }
    }
}

// Polarity of every node under the root, without recursion.
std::unordered_map<std::uint32_t, std::uint8_t> polarities(const bxpr::Context& context, bxpr::Ref root) {
    std::unordered_map<std::uint32_t, std::uint8_t> seen;
    std::vector<std::pair<bxpr::Ref, std::uint8_t>> pending{{root, positive}};
    while (!pending.empty()) {
        auto [ref, bits] = pending.back();
        pending.pop_back();
        if (ref.is_constant()) continue;
        if (ref.negated()) bits = static_cast<std::uint8_t>(((bits & positive) << 1) | ((bits & negative) >> 1));
        auto& known = seen[ref.node()];
        const auto fresh = static_cast<std::uint8_t>(bits & ~known);
        if (fresh == 0) continue;
        known |= fresh;
        const auto args = context.args(ref.positive());
        switch (context.kind(ref)) {
            case bxpr::Kind::And:
            case bxpr::Kind::Or:
            case bxpr::Kind::Clauses:
                for (const auto arg : args) pending.emplace_back(arg, fresh);
                break;
            case bxpr::Kind::Xor:
                for (const auto arg : args) pending.emplace_back(arg, positive | negative);
                break;
            case bxpr::Kind::Ite:
                pending.emplace_back(args[0], positive | negative);
                pending.emplace_back(args[1], fresh);
                pending.emplace_back(args[2], fresh);
                break;
            default: break;
        }
    }
    return seen;
}

// The comparisons of the site encoded by their polarity in the formula.
template <typename Site>
bxpr::Ref encoded_by_polarity(Site& instance, bxpr::Ref root, const PBConfig& config) {
    if (instance.comparisons.empty()) return root;
    auto& context = instance.context;
    const auto seen = polarities(context, root);
    const auto polarity_of = [&seen](bxpr::Ref placeholder) {
        const auto found = seen.find(placeholder.node());
        return found == seen.end() ? std::uint8_t{0} : found->second;
    };
    // Comparisons the formula requires outright are written as plain clauses.
    std::unordered_set<std::uint32_t> outright;
    std::vector<bxpr::Ref> conjuncts;
    const bool conjunction = !root.negated() && context.kind(root) == bxpr::Kind::And;
    const auto args = conjunction ? context.args(root) : std::span<const bxpr::Ref>(&root, 1);
    for (const auto arg : args) conjuncts.push_back(arg);
    std::vector<bxpr::Ref> kept;
    for (const auto arg : conjuncts) {
        const bool placeholder = !arg.negated() && instance.is_comparison(arg) && polarity_of(arg) == positive;
        if (placeholder) outright.insert(arg.node());
        else kept.push_back(arg);
    }
    for (const auto& comparison : instance.comparisons) {
        const bxpr::Ref p = comparison.placeholder;
        if (outright.contains(p.node())) {
            kept.push_back(guarded_clauses(instance, comparison.term, comparison.comparator, comparison.bound, {}, config));
            continue;
        }
        const auto bits = polarity_of(p);
        if (bits == 0) continue;  // simplified away
        instance.adopt_as_auxiliary(p);
        if (bits & positive) {
            const bxpr::Ref guards[] = {~p};
            kept.push_back(guarded_clauses(instance, comparison.term, comparison.comparator, comparison.bound, guards,
                                           config));
        }
        if (bits & negative) add_negation(instance, comparison, p, config, kept);
    }
    return bxpr::and_s(context, kept);
}

}  // namespace

bxpr::Ref with_comparisons(InstanceContext& instance, bxpr::Ref root, const PBConfig& config) {
    return encoded_by_polarity(instance, root, config);
}

HostComparisons::HostComparisons(bxpr::Context& context, std::vector<bxpr::Ref> variables,
                                 std::int64_t first_auxiliary)
    : context(context), variables_(std::move(variables)), next_auxiliary_(first_auxiliary),
      first_auxiliary_(first_auxiliary) {}

void HostComparisons::add(bxpr::Ref placeholder, const PBConstraint& comparison) {
    if (placeholder.is_constant() || placeholder.negated() || context.kind(placeholder) != bxpr::Kind::Variable) {
        throw std::invalid_argument("a comparison's placeholder must be a variable");
    }
    if (comparison.comparator() == Comparator::both && comparison.upper_bound() != comparison.lower_bound()) {
        throw std::invalid_argument("a comparison between two bounds needs one placeholder per bound");
    }
    Term term;
    term.items.reserve(comparison.terms().size());
    for (const auto& [literal, coefficient] : comparison.terms()) {
        if (literal <= 0 || static_cast<std::size_t>(literal) > variables_.size()) {
            throw std::invalid_argument("a comparison's term holds a literal " + std::to_string(literal) +
                                        " that is no variable given");
        }
        term.items.push_back({literal, coefficient});
    }
    const auto bound = comparison.has_upper_bound() ? comparison.upper_bound() : comparison.lower_bound();
    placeholders_.insert(placeholder.node());
    comparisons.push_back({placeholder, std::move(term), comparison.comparator(), bound});
}

bxpr::Ref HostComparisons::new_pbct_auxiliary() {
    std::string name(pbct_auxiliary_prefix);
    name += '_';
    name += std::to_string(next_auxiliary_++);
    return context.get_var(name);
}

bxpr::Ref with_comparisons(HostComparisons& host, bxpr::Ref root, const PBConfig& config) {
    const bxpr::Ref encoded = encoded_by_polarity(host, root, config);
    return bxpr::with_variables_replaced(host.context, encoded, host.adopted());
}

}  // namespace kelvo::model_text
