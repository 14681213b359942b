#include "engine/bxpr/boolean_queries.hpp"

#include <algorithm>

namespace kelvo::bxpr {

namespace {

bool is_clause(const Context& context, Ref ref) {
    if (ref.is_constant()) return false;
    if (context.is_literal(ref)) return true;
    if (ref.negated() || context.kind(ref) != Kind::Or) return false;
    const auto args = context.args(ref);
    return std::all_of(args.begin(), args.end(),
                       [&context](Ref arg) { return !arg.is_constant() && context.is_literal(arg); });
}

}  // namespace

std::vector<Ref> support(const Context& context, Ref root) {
    std::vector<Ref> variables;
    NodeMarks visited(context);
    std::vector<Ref> pending{root};
    while (!pending.empty()) {
        const Ref ref = pending.back();
        pending.pop_back();
        if (ref.is_constant() || visited.get(ref.node()) != 0) continue;
        visited.set(ref.node(), 1);
        if (context.kind(ref) == Kind::Variable) {
            variables.push_back(ref.positive());
            continue;
        }
        const auto args = context.args(ref);
        for (auto arg = args.rbegin(); arg != args.rend(); ++arg) pending.push_back(*arg);
    }
    return variables;
}

bool is_clause_form(const Context& context, Ref root) {
    if (root.is_constant() || is_clause(context, root)) return true;
    if (!root.negated() && context.kind(root) == Kind::Clauses) return true;
    if (root.negated() || context.kind(root) != Kind::And) return false;
    const auto args = context.args(root);
    return !args.empty() &&
           std::all_of(args.begin(), args.end(), [&context](Ref arg) { return is_clause(context, arg); });
}

}  // namespace kelvo::bxpr
