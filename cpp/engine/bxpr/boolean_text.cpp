#include "engine/bxpr/boolean_text.hpp"

#include <string_view>
#include <vector>

namespace kelvo::bxpr {

namespace {

std::string_view separator_of(Kind kind) {
    switch (kind) {
        case Kind::And: return " & ";
        case Kind::Or: return " | ";
        case Kind::Xor: return " ^ ";
        default: return ", ";
    }
}

// As the conjunction of the disjunctions of its clauses would read: its
// literals are variables, so it needs no frames.
void write_clause_block(const Context& context, Ref block, std::string& text, std::size_t max_length) {
    const auto ends = context.clause_ends(block);
    text += '(';
    for (std::size_t c = 0; c < ends.size() && text.size() < max_length; ++c) {
        if (c > 0) text += " & ";
        const auto clause = context.block_clause(block, ends, c);
        if (clause.size() > 1) text += '(';
        for (std::size_t i = 0; i < clause.size(); ++i) {
            if (i > 0) text += " | ";
            if (clause[i].negated()) text += '~';
            text += context.name(clause[i]);
        }
        if (clause.size() > 1) text += ')';
    }
    text += ')';
}

}  // namespace

std::string to_text(const Context& context, Ref root, std::size_t max_length) {
    // An explicit stack, so that no depth of nesting can exhaust the call stack.
    struct Frame {
        Ref node;             // positive reference of a connective
        std::size_t next_arg;
    };
    std::string text;
    std::vector<Frame> frames;
    const auto write_operand = [&](Ref ref) {
        if (ref.is_constant()) {
            text += ref == Ref::one() ? '1' : '0';
            return;
        }
        if (ref.negated()) text += '~';
        if (context.kind(ref) == Kind::Variable) {
            text += context.name(ref);
            return;
        }
        if (context.kind(ref) == Kind::Clauses) {
            write_clause_block(context, ref.positive(), text, max_length);
            return;
        }
        text += context.kind(ref) == Kind::Ite ? "ite(" : "(";
        frames.push_back({ref.positive(), 0});
    };
    write_operand(root);
    while (!frames.empty() && text.size() < max_length) {
        Frame& frame = frames.back();
        const auto args = context.args(frame.node);
        if (frame.next_arg == args.size()) {
            text += ')';
            frames.pop_back();
            continue;
        }
        if (frame.next_arg > 0) text += separator_of(context.kind(frame.node));
        const Ref arg = args[frame.next_arg++];
        write_operand(arg);  // may grow frames: frame is not used after this
    }
    if (text.size() > max_length) text.resize(max_length);
    return text;
}

}  // namespace kelvo::bxpr
