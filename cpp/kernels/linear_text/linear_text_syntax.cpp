#include "kernels/linear_text/linear_text_syntax.hpp"

#include <array>
#include <algorithm>
#include <bit>
#include <charconv>
#include <unordered_map>

#include "engine/support/stack_headroom.hpp"

#include "engine/support/text_characters.hpp"

namespace vx {

namespace {

using kelvo::text::is_digit;
using kelvo::text::is_keyword;

bool is_name_start(char c) { return kelvo::text::starts_name(c); }
bool is_name_char(char c) { return kelvo::text::continues_name(c); }

}  // namespace

double real_value(const LinearNode& node) { return std::bit_cast<double>(node.value); }

// Recursive descent with the host's precedence: sums, then products, then
// unary signs, then calls. Each node is added after its children.
class LinearTextParser {
public:
    LinearTextParser(std::string_view text, LinearSyntaxTree& tree) : text_(text), tree_(tree) {}

    void parse() {
        advance();
        tree_.root_ = sum(0);
        if (token_.kind != Kind::end) throw OutsideNativeText{};
    }

private:
    enum class Kind : std::uint8_t { integer, real, name, symbol, end };
    struct Token {
        Kind kind;
        std::string_view text;
    };

    void advance() {
        while (position_ < text_.size()) {
            const char c = text_[position_];
            if (c == ' ' || c == '\t' || c == '\f') {
                ++position_;
            } else if ((c == '\n' || c == '\r') && open_brackets_ > 0) {
                ++position_;
            } else {
                break;
            }
        }
        if (position_ == text_.size()) {
            token_ = {Kind::end, {}};
            return;
        }
        const std::size_t start = position_;
        const char c = text_[position_];
        if (is_digit(c) || (c == '.' && position_ + 1 < text_.size() && is_digit(text_[position_ + 1]))) {
            token_ = number(start);
        } else if (is_name_start(c)) {
            while (position_ < text_.size() && is_name_char(text_[position_])) ++position_;
            token_ = {Kind::name, text_.substr(start, position_ - start)};
        } else if (c == '/' && text_.substr(position_, 2) == "//") {
            position_ += 2;
            token_ = {Kind::symbol, text_.substr(start, 2)};
        } else if (std::string_view("()[],+-*%").find(c) != std::string_view::npos) {
            if (c == '*' && text_.substr(position_, 2) == "**") throw OutsideNativeText{};
            if (c == '(' || c == '[') ++open_brackets_;
            if ((c == ')' || c == ']') && open_brackets_ > 0) --open_brackets_;
            ++position_;
            token_ = {Kind::symbol, text_.substr(start, 1)};
        } else {
            throw OutsideNativeText{};
        }
    }

    // A decimal number as the host writes one; other spellings (underscores,
    // other bases, leading zeros, imaginary numbers) are left to the host.
    Token number(std::size_t start) {
        const auto digits = [&] {
            while (position_ < text_.size() && is_digit(text_[position_])) ++position_;
        };
        digits();
        bool real = false;
        if (position_ < text_.size() && text_[position_] == '.') {
            real = true;
            ++position_;
            digits();
        }
        if (position_ < text_.size() && (text_[position_] == 'e' || text_[position_] == 'E')) {
            real = true;
            ++position_;
            if (position_ < text_.size() && (text_[position_] == '+' || text_[position_] == '-')) ++position_;
            const std::size_t exponent = position_;
            digits();
            if (position_ == exponent) throw OutsideNativeText{};
        }
        if (position_ < text_.size() && (is_name_char(text_[position_]) || text_[position_] == '.')) {
            throw OutsideNativeText{};
        }
        const auto spelled = text_.substr(start, position_ - start);
        if (!real && spelled.size() > 1 && spelled[0] == '0' && spelled.find_first_not_of('0') != spelled.npos) {
            throw OutsideNativeText{};
        }
        return {real ? Kind::real : Kind::integer, spelled};
    }

    [[nodiscard]] bool at(std::string_view symbol) const { return token_.kind == Kind::symbol && token_.text == symbol; }
    [[nodiscard]] bool at_name(std::string_view name) const { return token_.kind == Kind::name && token_.text == name; }

    void expect(std::string_view symbol) {
        if (!at(symbol)) throw OutsideNativeText{};
        advance();
    }

    std::uint32_t add(LinearNodeKind kind, std::int64_t value, std::span<const std::uint32_t> children) {
        if (tree_.nodes_.size() >= UINT32_MAX || tree_.children_.size() + children.size() >= UINT32_MAX) {
            throw OutsideNativeText{};
        }
        const auto first = static_cast<std::uint32_t>(tree_.children_.size());
        tree_.children_.insert(tree_.children_.end(), children.begin(), children.end());
        tree_.nodes_.push_back({kind, first, static_cast<std::uint32_t>(children.size()), value});
        return static_cast<std::uint32_t>(tree_.nodes_.size() - 1);
    }

    std::uint32_t add(LinearNodeKind kind, std::initializer_list<std::uint32_t> children) {
        return add(kind, 0, std::span<const std::uint32_t>(children.begin(), children.size()));
    }

    void check_depth(std::size_t depth) const {
        if (depth > max_linear_text_depth || headroom_.exhausted()) throw OutsideNativeText{};
    }

    std::uint32_t sum(std::size_t depth) {
        check_depth(depth);
        const std::uint32_t first = product(depth);
        if (!at("+") && !at("-")) return first;
        std::vector<std::uint32_t> terms{first};
        while (at("+") || at("-")) {
            const bool subtracted = at("-");
            advance();
            const std::uint32_t term = product(depth);
            terms.push_back(subtracted ? add(LinearNodeKind::subtracted, {term}) : term);
        }
        return add(LinearNodeKind::sum, 0, terms);
    }

    std::uint32_t product(std::size_t depth) {
        std::uint32_t left = unary(depth);
        for (;;) {
            LinearNodeKind kind;
            if (at("*")) {
                kind = LinearNodeKind::product;
            } else if (at("%")) {
                kind = LinearNodeKind::remainder;
            } else if (at("//")) {
                kind = LinearNodeKind::floor_quotient;
            } else {
                return left;
            }
            advance();
            left = add(kind, {left, unary(depth)});
        }
    }

    std::uint32_t unary(std::size_t depth) {
        check_depth(depth);
        if (at("-")) {
            advance();
            return add(LinearNodeKind::negated, {unary(depth + 1)});
        }
        if (at("+")) {
            // The subset's unary plus changes no value.
            advance();
            return unary(depth + 1);
        }
        return call(depth);
    }

    std::uint32_t call(std::size_t depth) {
        const bool named = token_.kind == Kind::name;
        std::uint32_t callee = atom(depth);
        while (at("(")) {
            if (!named) throw OutsideNativeText{};
            advance();
            std::vector<std::uint32_t> parts{callee};
            items(")", parts, depth);
            callee = add(LinearNodeKind::call, 0, parts);
        }
        return callee;
    }

    // Comma-separated expressions up to the closing bracket, a trailing comma
    // allowed; returns whether a comma was seen.
    bool items(std::string_view close, std::vector<std::uint32_t>& parts, std::size_t depth) {
        bool comma = false;
        while (!at(close)) {
            parts.push_back(sum(depth + 1));
            if (!at(",")) break;
            comma = true;
            advance();
        }
        expect(close);
        return comma;
    }

    std::uint32_t atom(std::size_t depth) {
        switch (token_.kind) {
            case Kind::integer: {
                std::int64_t value = 0;
                const auto [end, error] = std::from_chars(token_.text.data(), token_.text.data() + token_.text.size(), value);
                if (error != std::errc{} || end != token_.text.data() + token_.text.size()) throw OutsideNativeText{};
                advance();
                return add(LinearNodeKind::integer, value, {});
            }
            case Kind::real: {
                double value = 0.0;
                const auto [end, error] = std::from_chars(token_.text.data(), token_.text.data() + token_.text.size(), value);
                if (error != std::errc{} || end != token_.text.data() + token_.text.size()) throw OutsideNativeText{};
                advance();
                return add(LinearNodeKind::real, std::bit_cast<std::int64_t>(value), {});
            }
            case Kind::name: {
                const auto name = token_.text;
                advance();
                if (name == "True" || name == "False") return add(LinearNodeKind::integer, name == "True" ? 1 : 0, {});
                if (is_keyword(name)) throw OutsideNativeText{};
                return add(LinearNodeKind::name, symbol(name), {});
            }
            case Kind::symbol:
                if (at("(")) return parenthesised(depth);
                if (at("[")) return bracketed(depth);
                throw OutsideNativeText{};
            case Kind::end:
                break;
        }
        throw OutsideNativeText{};
    }

    std::uint32_t parenthesised(std::size_t depth) {
        advance();
        std::vector<std::uint32_t> parts;
        const bool comma = items(")", parts, depth);
        if (parts.size() == 1 && !comma) return parts.front();
        return add(LinearNodeKind::tuple, 0, parts);
    }

    std::uint32_t bracketed(std::size_t depth) {
        advance();
        if (at("]")) {
            advance();
            return add(LinearNodeKind::list, 0, {});
        }
        std::vector<std::uint32_t> parts{sum(depth + 1)};
        if (!at_name("for")) {
            if (at(",")) {
                advance();
                items("]", parts, depth);
            } else {
                expect("]");
            }
            return add(LinearNodeKind::list, 0, parts);
        }
        while (at_name("for")) {
            advance();
            if (token_.kind != Kind::name || is_keyword(token_.text) || token_.text == "True" || token_.text == "False") {
                throw OutsideNativeText{};
            }
            parts.push_back(add(LinearNodeKind::name, symbol(token_.text), {}));
            advance();
            if (!at_name("in")) throw OutsideNativeText{};
            advance();
            parts.push_back(sum(depth + 1));
        }
        expect("]");
        return add(LinearNodeKind::comprehension, 0, parts);
    }

    std::int64_t symbol(std::string_view name) {
        const auto [entry, added] = symbol_ids_.try_emplace(name, static_cast<std::int64_t>(tree_.symbols_.size()));
        if (added) tree_.symbols_.emplace_back(name);
        return entry->second;
    }

    std::string_view text_;
    LinearSyntaxTree& tree_;
    std::size_t position_ = 0;
    std::size_t open_brackets_ = 0;
    Token token_{Kind::end, {}};
    std::unordered_map<std::string_view, std::int64_t> symbol_ids_;
    const kelvo::StackHeadroom& headroom_ = kelvo::StackHeadroom::of_this_thread();
};

LinearSyntaxTree::LinearSyntaxTree(std::string_view text) {
    nodes_.reserve(text.size() / 4 + 1);
    children_.reserve(text.size() / 4 + 1);
    LinearTextParser(text, *this).parse();
}

}  // namespace vx
