#include "engine/boolean_text.hpp"

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
