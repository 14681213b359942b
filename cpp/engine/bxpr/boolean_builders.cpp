#include "engine/bxpr/boolean_builders.hpp"

#include "engine/bxpr/clause_conjunction.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvo::bxpr {

namespace {

constexpr std::uint32_t seen_positive = 1;
constexpr std::uint32_t seen_negative = 2;
constexpr std::uint32_t flattened = 4;

void push_reversed(std::vector<Ref>& stack, std::span<const Ref> args, bool negate = false) {
    for (auto arg = args.rbegin(); arg != args.rend(); ++arg) stack.push_back(*arg ^ negate);
}

Ref node_or_single(Context& context, Kind kind, const std::vector<Ref>& args, Ref empty) {
    if (args.empty()) return empty;
    if (args.size() == 1) return args.front();
    return context.make_node(kind, args);
}

// Conjunction (kind And) or disjunction (kind Or) of args, simplified.
Ref junction_s(Context& context, Kind kind, std::span<const Ref> args) {
    const Ref neutral = kind == Kind::And ? Ref::one() : Ref::zero();
    const Ref dominant = ~neutral;
    std::vector<Ref> kept;
    kept.reserve(args.size());
    {
        NodeMarks marks(context);
        std::vector<Ref> pending;
        push_reversed(pending, args);
        while (!pending.empty()) {
            const Ref arg = pending.back();
            pending.pop_back();
            if (arg == neutral) continue;
            if (arg == dominant) return dominant;
            const std::uint32_t flags = marks.get(arg.node());
            if (!arg.negated() && context.kind(arg) == kind) {
                // A shared nested junction adds nothing the second time.
                if ((flags & flattened) == 0) {
                    marks.set(arg.node(), flags | flattened);
                    push_reversed(pending, context.args(arg));
                }
                continue;
            }
            const std::uint32_t same = arg.negated() ? seen_negative : seen_positive;
            const std::uint32_t opposite = arg.negated() ? seen_positive : seen_negative;
            if ((flags & opposite) != 0) return dominant;
            if ((flags & same) != 0) continue;
            marks.set(arg.node(), flags | same);
            kept.push_back(arg);
        }
    }
    return node_or_single(context, kind, kept, neutral);
}

}  // namespace

Ref and_s(Context& context, std::span<const Ref> args) { return junction_s(context, Kind::And, args); }

Ref or_s(Context& context, std::span<const Ref> args) { return junction_s(context, Kind::Or, args); }

Ref xor_s(Context& context, std::span<const Ref> args) {
    constexpr std::uint32_t odd = 2;
    bool inverted = false;
    std::vector<Ref> first_seen;
    std::vector<Ref> kept;
    {
        NodeMarks marks(context);
        std::vector<Ref> pending;
        push_reversed(pending, args);
        while (!pending.empty()) {
            Ref arg = pending.back();
            pending.pop_back();
            // Constants and negations move into the result's polarity, so the
            // arguments of an exclusive disjunction are positive and shared.
            if (arg.is_constant()) {
                inverted ^= arg == Ref::one();
                continue;
            }
            inverted ^= arg.negated();
            arg = arg.positive();
            if (context.kind(arg) == Kind::Xor) {
                push_reversed(pending, context.args(arg));
                continue;
            }
            const std::uint32_t flags = marks.get(arg.node());
            if ((flags & seen_positive) == 0) first_seen.push_back(arg);
            marks.set(arg.node(), (flags | seen_positive) ^ odd);
        }
        for (const Ref arg : first_seen) {
            if ((marks.get(arg.node()) & odd) != 0) kept.push_back(arg);
        }
    }
    return node_or_single(context, Kind::Xor, kept, Ref::zero()) ^ inverted;
}

Ref eq_s(Context& context, std::span<const Ref> args) {
    std::vector<Ref> distinct;
    bool has_one = false;
    bool has_zero = false;
    {
        NodeMarks marks(context);
        for (const Ref arg : args) {
            if (arg.is_constant()) {
                (arg == Ref::one() ? has_one : has_zero) = true;
                continue;
            }
            const std::uint32_t flags = marks.get(arg.node());
            const std::uint32_t same = arg.negated() ? seen_negative : seen_positive;
            if ((flags & (seen_positive | seen_negative) & ~same) != 0) return Ref::zero();
            if ((flags & same) != 0) continue;
            marks.set(arg.node(), flags | same);
            distinct.push_back(arg);
        }
    }
    if (has_one && has_zero) return Ref::zero();
    if (has_zero) {
        for (Ref& arg : distinct) arg = ~arg;
    }
    if (has_one || has_zero) return and_s(context, distinct);
    if (distinct.size() < 2) return Ref::one();
    // A cycle of implications a1 -> a2 -> ... -> an -> a1: n binary clauses.
    std::vector<Ref> implications;
    implications.reserve(distinct.size());
    for (std::size_t i = 0; i < distinct.size(); ++i) {
        const Ref next = distinct[(i + 1) % distinct.size()];
        implications.push_back(impl_s(context, distinct[i], next));
    }
    return and_s(context, implications);
}

Ref impl_s(Context& context, Ref premise, Ref conclusion) {
    const Ref args[] = {~premise, conclusion};
    return or_s(context, args);
}

Ref ite_s(Context& context, Ref condition, Ref then_branch, Ref else_branch) {
    if (condition == Ref::one()) return then_branch;
    if (condition == Ref::zero()) return else_branch;
    if (condition.negated()) {
        condition = ~condition;
        std::swap(then_branch, else_branch);
    }
    if (then_branch == else_branch) return then_branch;
    const auto both = [&context](Ref a, Ref b) {
        const Ref args[] = {a, b};
        return and_s(context, args);
    };
    const auto either = [&context](Ref a, Ref b) {
        const Ref args[] = {a, b};
        return or_s(context, args);
    };
    if (then_branch == Ref::one() || then_branch == condition) return either(condition, else_branch);
    if (then_branch == Ref::zero() || then_branch == ~condition) return both(~condition, else_branch);
    if (else_branch == Ref::one() || else_branch == ~condition) return either(~condition, then_branch);
    if (else_branch == Ref::zero() || else_branch == condition) return both(condition, then_branch);
    if (then_branch == ~else_branch) {
        const Ref args[] = {condition, then_branch};
        return ~xor_s(context, args);
    }
    const Ref args[] = {condition, then_branch, else_branch};
    return context.make_node(Kind::Ite, args);
}

Ref and_exact(Context& context, std::span<const Ref> args) { return context.make_node(Kind::And, args); }

Ref and_of_clauses(Context& context, std::span<const std::int64_t> literals, std::span<const std::int64_t> offsets,
                   std::span<const Ref> variables) {
    if (offsets.empty()) {
        if (!literals.empty()) throw std::invalid_argument("offsets must not be empty when literals are given");
        return Ref::one();
    }
    if (offsets.front() != 0) throw std::invalid_argument("offsets must start at 0");
    if (offsets.back() != static_cast<std::int64_t>(literals.size())) {
        throw std::invalid_argument("the last offset must equal the number of literals (" +
                                std::to_string(literals.size()) + "), not " + std::to_string(offsets.back()));
    }
    if (std::adjacent_find(offsets.begin(), offsets.end(), [](std::int64_t a, std::int64_t b) { return b < a; }) !=
        offsets.end()) {
        throw std::invalid_argument("offsets must not decrease");
    }
    std::vector<bool> variable_literals(variables.size());
    for (std::size_t k = 0; k < variables.size(); ++k) variable_literals[k] = context.is_literal(variables[k]);
    ClauseConjunction conjunction;
    conjunction.reserve(offsets.size() - 1, literals.size());
    for (std::size_t c = 0; c + 1 < offsets.size(); ++c) {
        for (auto i = offsets[c]; i < offsets[c + 1]; ++i) {
            const std::int64_t literal = literals[static_cast<std::size_t>(i)];
            if (literal == 0) throw std::invalid_argument("literal 0 is not a literal: variables are numbered from 1");
            const std::uint64_t number =
                literal < 0 ? 0 - static_cast<std::uint64_t>(literal) : static_cast<std::uint64_t>(literal);
            if (number > variables.size()) {
                throw std::out_of_range("literal " + std::to_string(literal) + " refers to variable " +
                                        std::to_string(number) + ", but only " + std::to_string(variables.size()) +
                                        " variables are given");
            }
            conjunction.add(variables[number - 1] ^ (literal < 0), variable_literals[number - 1]);
        }
        conjunction.close_clause();
    }
    return conjunction.build(context);
}

}  // namespace kelvo::bxpr
