#include "engine/model_text/model_text_parser.hpp"

#include <algorithm>
#include <charconv>
#include <limits>

#include "engine/model_text/model_text_tokenizer.hpp"
#include "engine/support/stack_headroom.hpp"
#include "engine/support/text_characters.hpp"

namespace kelvo::model_text {

class Parser {
public:
    Parser(std::string_view text, ParseOptions options) : options_(options) {
        tree_.text_ = std::string(text);
        tokens_ = tokenize(tree_.text_);
    }

    SyntaxTree parse() {
        tree_.root_ = expression();
        if (peek().kind != TokenKind::end) fail("unexpected " + describe(peek()) + " after a complete expression");
        return std::move(tree_);
    }

private:
    SyntaxTree tree_;
    std::vector<Token> tokens_;
    std::size_t next_ = 0;
    std::size_t depth_ = 0;
    ParseOptions options_;
    const StackHeadroom& headroom_ = StackHeadroom::of_this_thread();

    struct DepthGuard {
        Parser& parser;
        explicit DepthGuard(Parser& owner) : parser(owner) {
            if (++parser.depth_ > max_nesting) {
                parser.fail("the text nests deeper than " + std::to_string(max_nesting) + " levels");
            }
            if (parser.headroom_.exhausted()) {
                parser.fail("the text nests deeper than the stack of this thread allows (" +
                            std::to_string(parser.depth_) + " levels reached)");
            }
        }
        ~DepthGuard() { --parser.depth_; }
    };

    [[nodiscard]] const Token& peek(std::size_t ahead = 0) const {
        return tokens_[std::min(next_ + ahead, tokens_.size() - 1)];
    }
    const Token& advance() { return tokens_[next_++]; }
    bool accept(TokenKind kind) {
        if (peek().kind != kind) return false;
        ++next_;
        return true;
    }
    const Token& expect(TokenKind kind, std::string_view context) {
        if (peek().kind != kind) {
            fail("expected " + std::string(token_kind_name(kind)) + " " + std::string(context) + ", found " +
                 describe(peek()));
        }
        return advance();
    }
    [[noreturn]] void fail(const std::string& problem) const { throw TextError(problem, tree_.text_, peek().position); }
    static std::string describe(const Token& token) {
        if (token.kind == TokenKind::name || token.kind == TokenKind::integer) {
            std::string quoted(1, '\'');
            quoted += token.text;
            quoted += '\'';
            return quoted;
        }
        return std::string(token_kind_name(token.kind));
    }

    NodeId add(NodeKind kind, std::size_t position, std::int64_t value, std::span<const NodeId> children = {}) {
        const auto first = static_cast<std::uint32_t>(tree_.children_.size());
        tree_.children_.insert(tree_.children_.end(), children.begin(), children.end());
        tree_.nodes_.push_back({kind, static_cast<std::uint32_t>(position), value, first,
                                static_cast<std::uint32_t>(children.size())});
        return static_cast<NodeId>(tree_.nodes_.size() - 1);
    }
    std::int64_t string_index(std::string_view text) {
        tree_.strings_.emplace_back(text);
        return static_cast<std::int64_t>(tree_.strings_.size() - 1);
    }
    NodeId add(NodeKind kind, std::size_t position, std::initializer_list<NodeId> children) {
        return add(kind, position, 0, std::span<const NodeId>(children.begin(), children.size()));
    }

    std::int64_t intern(std::string_view name) {
        const auto [found, inserted] =
            tree_.symbol_ids_.try_emplace(std::string(name), static_cast<std::int64_t>(tree_.symbols_.size()));
        if (inserted) tree_.symbols_.emplace_back(name);
        return found->second;
    }

    // Children gathered in a list that outlives nested parses.
    template <typename ParseElements>
    NodeId node_with_children(NodeKind kind, std::size_t position, std::int64_t value, ParseElements&& elements) {
        std::vector<NodeId> children;
        elements(children);
        return add(kind, position, value, children);
    }

    NodeId expression() { return binary(0); }

    static int precedence(TokenKind kind) {
        switch (kind) {
            case TokenKind::bar: return 1;
            case TokenKind::caret: return 2;
            case TokenKind::ampersand: return 3;
            case TokenKind::plus:
            case TokenKind::minus: return 4;
            case TokenKind::star: return 5;
            default: return 0;
        }
    }

    // Operators binding at least as tightly as `floor`, by precedence
    // climbing; a run of + and - becomes one n-ary sum.
    NodeId binary(int floor) {
        NodeId left = unary();
        for (int level = precedence(peek().kind); level > floor; level = precedence(peek().kind)) {
            if (level == 4) {
                left = sum(left);
                continue;
            }
            const Token& op = advance();
            const NodeId right = binary(level);
            const NodeKind kind = level == 1 ? NodeKind::bit_or : level == 2 ? NodeKind::bit_xor
                                  : level == 3 ? NodeKind::bit_and : NodeKind::product;
            left = add(kind, op.position, {left, right});
        }
        return left;
    }

    NodeId sum(NodeId first) {
        const auto position = tree_.nodes_[first].position;
        std::vector<NodeId> operands{first};
        while (peek().kind == TokenKind::plus || peek().kind == TokenKind::minus) {
            const Token& op = advance();
            const NodeId operand = binary(4);
            operands.push_back(op.kind == TokenKind::minus ? add(NodeKind::negated, op.position, {operand}) : operand);
        }
        return add(NodeKind::sum, position, 0, operands);
    }

    NodeId unary() {
        const Token& token = peek();
        NodeKind kind;
        switch (token.kind) {
            case TokenKind::minus: kind = NodeKind::negated; break;
            case TokenKind::plus: kind = NodeKind::positive; break;
            case TokenKind::tilde: kind = NodeKind::invert; break;
            default: return power();
        }
        DepthGuard guard(*this);
        advance();
        const NodeId operand = unary();
        return add(kind, token.position, {operand});
    }

    NodeId power() {
        const NodeId base = postfix();
        if (peek().kind != TokenKind::double_star) return base;
        const auto position = advance().position;
        DepthGuard guard(*this);
        const NodeId exponent = unary();  // right-associative, and 2 ** -1 reads
        return add(NodeKind::power, position, {base, exponent});
    }

    NodeId postfix() {
        NodeId value = primary();
        for (;;) {
            if (peek().kind == TokenKind::dot) {
                advance();
                const Token& name = expect(TokenKind::name, "after '.'");
                const NodeId object = value;
                value = add(NodeKind::attribute, name.position, intern(name.text), std::span<const NodeId>(&object, 1));
            } else if (peek().kind == TokenKind::left_paren) {
                value = call(value);
            } else {
                return value;
            }
        }
    }

    NodeId call(NodeId callee) {
        const auto position = advance().position;
        DepthGuard guard(*this);
        return node_with_children(NodeKind::call, position, 0, [&](std::vector<NodeId>& children) {
            children.push_back(callee);
            while (peek().kind != TokenKind::right_paren) {
                children.push_back(argument());
                if (!accept(TokenKind::comma)) break;
            }
            expect(TokenKind::right_paren, "to close the call");
        });
    }

    NodeId argument() {
        if (peek().kind == TokenKind::star) {
            const auto position = advance().position;
            const NodeId operand = expression();
            return add(NodeKind::starred, position, {operand});
        }
        if (peek().kind == TokenKind::name && peek(1).kind == TokenKind::colon) fail("unexpected ':' in a call");
        return expression();
    }

    NodeId primary() {
        const Token& token = peek();
        switch (token.kind) {
            case TokenKind::integer: {
                advance();
                std::int64_t value = 0;
                const auto [end, error] = std::from_chars(token.text.data(), token.text.data() + token.text.size(), value);
                if (error != std::errc{} || end != token.text.data() + token.text.size()) {
                    return add(NodeKind::wide_integer, token.position, string_index(token.text));
                }
                return add(NodeKind::integer, token.position, value);
            }
            case TokenKind::decimal: {
                advance();
                return add(NodeKind::decimal, token.position, string_index(token.text));
            }
            case TokenKind::name: {
                advance();
                if (token.text == "True" || token.text == "False") {
                    return add(NodeKind::integer, token.position, token.text == "True" ? 1 : 0);
                }
                if (token.text == "None") return add(NodeKind::none, token.position, 0);
                if (text::is_keyword(token.text)) {
                    throw TextError("'" + std::string(token.text) + "' is not part of the model text language",
                                    tree_.text_, token.position);
                }
                return add(NodeKind::name, token.position, intern(token.text));
            }
            case TokenKind::string: {
                advance();
                return add(NodeKind::string, token.position, string_index(unescape(token.text)));
            }
            case TokenKind::left_paren: return parenthesised();
            case TokenKind::left_bracket: return bracketed();
            case TokenKind::left_brace: return dictionary();
            default: fail("expected an expression, found " + describe(token));
        }
    }

    NodeId parenthesised() {
        const auto position = advance().position;
        DepthGuard guard(*this);
        if (accept(TokenKind::right_paren)) return add(NodeKind::tuple, position, 0);
        const NodeId first = expression();
        if (accept(TokenKind::right_paren)) return first;
        return node_with_children(NodeKind::tuple, position, 0, [&](std::vector<NodeId>& children) {
            children.push_back(first);
            while (accept(TokenKind::comma)) {
                if (peek().kind == TokenKind::right_paren) break;
                children.push_back(expression());
            }
            expect(TokenKind::right_paren, "to close the parenthesis");
        });
    }

    bool at_for() const { return peek().kind == TokenKind::name && peek().text == "for"; }

    NodeId bracketed() {
        const auto position = advance().position;
        DepthGuard guard(*this);
        if (accept(TokenKind::right_bracket)) return add(NodeKind::list, position, 0);
        const NodeId first = expression();
        if (at_for()) return comprehension(position, first);
        return node_with_children(NodeKind::list, position, 0, [&](std::vector<NodeId>& children) {
            children.push_back(first);
            for (;;) {
                if (accept(TokenKind::comma)) {
                    if (peek().kind == TokenKind::right_bracket) break;
                } else if (!options_.lenient_number_lists || peek().kind == TokenKind::right_bracket) {
                    break;
                }
                children.push_back(expression());
            }
            expect(TokenKind::right_bracket, "to close the list");
        });
    }

    NodeId comprehension(std::size_t position, NodeId element) {
        return node_with_children(NodeKind::comprehension, position, 0, [&](std::vector<NodeId>& children) {
            children.push_back(element);
            while (at_for()) {
                advance();
                const Token& target = expect(TokenKind::name, "after 'for'");
                children.push_back(add(NodeKind::name, target.position, intern(target.text)));
                if (!(peek().kind == TokenKind::name && peek().text == "in")) {
                    fail("expected 'in' in the for-clause, found " + describe(peek()));
                }
                advance();
                children.push_back(sum_level_iterable());
            }
            if (peek().kind == TokenKind::name && peek().text == "if") fail("conditions in a comprehension are not read");
            expect(TokenKind::right_bracket, "to close the comprehension");
        });
    }

    // The iterable of a for-clause stops before a following 'for'.
    NodeId sum_level_iterable() { return binary(0); }

    NodeId dictionary() {
        const auto position = advance().position;
        DepthGuard guard(*this);
        return node_with_children(NodeKind::dictionary, position, 0, [&](std::vector<NodeId>& children) {
            while (peek().kind != TokenKind::right_brace) {
                children.push_back(expression());
                expect(TokenKind::colon, "after a dictionary key");
                children.push_back(expression());
                if (!accept(TokenKind::comma)) break;
            }
            expect(TokenKind::right_brace, "to close the dictionary");
        });
    }
};

SyntaxTree parse_expression(std::string_view text, ParseOptions options) {
    return Parser(text, options).parse();
}


}  // namespace kelvo::model_text
