#include "engine/bxpr/variable_replacement.hpp"

#include <stdexcept>
#include <vector>

namespace kelvo::bxpr {

Ref with_variables_replaced(Context& context, Ref root, const std::unordered_map<std::uint32_t, Ref>& replacements) {
    if (replacements.empty()) return root;
    // Rebuilt positive node of each node visited; an explicit stack, so that no
    // depth of nesting can exhaust the call stack.
    std::unordered_map<std::uint32_t, Ref> rebuilt;
    const auto replaced = [&rebuilt](Ref ref) {
        if (ref.is_constant()) return ref;
        const Ref positive = rebuilt.at(ref.node());
        return ref.negated() ? ~positive : positive;
    };
    std::vector<std::pair<Ref, bool>> pending{{root.positive(), false}};
    while (!pending.empty()) {
        const auto [ref, expanded] = pending.back();
        pending.pop_back();
        if (ref.is_constant() || rebuilt.contains(ref.node())) continue;
        if (context.kind(ref) == Kind::Variable) {
            const auto found = replacements.find(ref.node());
            rebuilt.emplace(ref.node(), found == replacements.end() ? ref : found->second);
            continue;
        }
        const auto args = context.args(ref);
        if (!expanded) {
            pending.emplace_back(ref, true);
            for (const auto arg : args) pending.emplace_back(arg.positive(), false);
            continue;
        }
        std::vector<Ref> new_args;
        new_args.reserve(args.size());
        for (const auto arg : args) new_args.push_back(replaced(arg));
        if (context.kind(ref) == Kind::Clauses) {
            for (const auto literal : new_args) {
                if (literal.is_constant() || context.kind(literal) != Kind::Variable) {
                    throw std::invalid_argument("a clause block's variable may be replaced only by a variable");
                }
            }
            const auto ends = context.clause_ends(ref);
            rebuilt.emplace(ref.node(), context.make_clause_block(std::move(new_args), {ends.begin(), ends.end()}));
        } else {
            rebuilt.emplace(ref.node(), context.make_node(context.kind(ref), new_args));
        }
    }
    return replaced(root);
}

}  // namespace kelvo::bxpr
