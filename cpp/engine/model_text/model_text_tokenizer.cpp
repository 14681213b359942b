#include "engine/model_text/model_text_tokenizer.hpp"

#include <algorithm>

#include "engine/support/text_characters.hpp"

namespace kelvo::model_text {

namespace {

constexpr std::size_t excerpt_radius = 40;

using text::continues_name;
using text::is_digit;
using text::starts_name;

bool is_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
bool is_blank(char c) { return text::is_blank(c) || text::is_line_break(c); }

std::size_t string_end(std::string_view text, std::size_t open) {
    const char quote = text[open];
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == quote) {
            return i;
        }
    }
    throw TextError("unterminated string", text, open);
}

// The end of a float's fraction and exponent, as the host writes them
// (0.5, 1.5e-07, 1e+20), from the end of its leading digits; `at` when none.
std::size_t float_end(std::string_view text, std::size_t at) {
    std::size_t i = at;
    if (i < text.size() && text[i] == '.' && text.substr(i, 3) != "...") {
        ++i;
        while (i < text.size() && is_digit(text[i])) ++i;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t digits = i + 1;
        if (digits < text.size() && (text[digits] == '+' || text[digits] == '-')) ++digits;
        if (digits < text.size() && is_digit(text[digits])) {
            i = digits;
            while (i < text.size() && is_digit(text[i])) ++i;
        }
    }
    return i;
}

TokenKind single_character_kind(char c) {
    switch (c) {
        case '(': return TokenKind::left_paren;
        case ')': return TokenKind::right_paren;
        case '[': return TokenKind::left_bracket;
        case ']': return TokenKind::right_bracket;
        case '{': return TokenKind::left_brace;
        case '}': return TokenKind::right_brace;
        case ',': return TokenKind::comma;
        case ':': return TokenKind::colon;
        case '.': return TokenKind::dot;
        case '*': return TokenKind::star;
        case '+': return TokenKind::plus;
        case '-': return TokenKind::minus;
        case '~': return TokenKind::tilde;
        case '&': return TokenKind::ampersand;
        case '|': return TokenKind::bar;
        case '^': return TokenKind::caret;
        default: return TokenKind::end;
    }
}

}  // namespace

// The excerpt is cut at character boundaries, so that a message about a text
// with non-ASCII names stays valid UTF-8; the caret counts characters.
std::string excerpt_at(std::string_view text, std::size_t position) {
    position = std::min(position, text.size());
    std::size_t begin = position > excerpt_radius ? position - excerpt_radius : 0;
    std::size_t end = std::min(text.size(), position + excerpt_radius);
    while (begin < position && is_continuation_byte(text[begin])) ++begin;
    while (end < text.size() && end > position && is_continuation_byte(text[end])) --end;
    std::string shown(text.substr(begin, end - begin));
    std::replace_if(shown.begin(), shown.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    const std::string lead = begin > 0 ? "..." : "";
    const std::string tail = end < text.size() ? "..." : "";
    const auto before_caret = text.substr(begin, position - begin);
    const auto columns = static_cast<std::size_t>(
        std::count_if(before_caret.begin(), before_caret.end(), [](char c) { return !is_continuation_byte(c); }));
    return lead + shown + tail + "\n" + std::string(lead.size() + columns, ' ') + "^";
}

TextError::TextError(const std::string& problem, std::string_view text, std::size_t position)
    : std::invalid_argument(problem + " at position " + std::to_string(position) + ":\n" + excerpt_at(text, position)),
      position_(position) {}

Token next_token(std::string_view text, std::size_t& at) {
    std::size_t& i = at;
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i >= text.size()) return {TokenKind::end, text.size(), {}};
    const char c = text[i];
    const std::size_t start = i;
    if (is_digit(c)) {
        while (i < text.size() && is_digit(text[i])) ++i;
        if (const std::size_t end = float_end(text, i); end > i) {
            i = end;
            if (i < text.size() && starts_name(text[i])) throw TextError("unreadable number", text, start);
            return {TokenKind::decimal, start, text.substr(start, i - start)};
        }
        if (i < text.size() && (starts_name(text[i]) || text[i] == '.')) {
            throw TextError("unreadable number", text, start);
        }
        // The host reads 00 but no other decimal number with a leading zero.
        const auto digits = text.substr(start, i - start);
        if (digits.size() > 1 && digits.front() == '0' && digits.find_first_not_of('0') != std::string_view::npos) {
            throw TextError("a decimal number does not start with 0", text, start);
        }
        return {TokenKind::integer, start, digits};
    }
    if (starts_name(c)) {
        while (i < text.size() && continues_name(text[i])) ++i;
        return {TokenKind::name, start, text.substr(start, i - start)};
    }
    if (c == '\'' || c == '"') {
        const std::size_t close = string_end(text, start);
        i = close + 1;
        return {TokenKind::string, start, text.substr(start + 1, close - start - 1)};
    }
    if (c == '*' && i + 1 < text.size() && text[i + 1] == '*') {
        i += 2;
        return {TokenKind::double_star, start, text.substr(start, 2)};
    }
    if (c == '.' && text.substr(i, 3) == "...") {
        throw TextError("a summarised sequence (\"...\") cannot be read: give a range or a full list", text, start);
    }
    const TokenKind kind = single_character_kind(c);
    if (kind == TokenKind::end) throw TextError(std::string("unexpected character '") + c + "'", text, start);
    ++i;
    return {kind, start, text.substr(start, 1)};
}

std::vector<Token> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    tokens.reserve(text.size() / 3 + 1);
    std::size_t at = 0;
    do {
        tokens.push_back(next_token(text, at));
    } while (tokens.back().kind != TokenKind::end);
    return tokens;
}

std::string unescape(std::string_view characters) {
    std::string value;
    value.reserve(characters.size());
    for (std::size_t i = 0; i < characters.size(); ++i) {
        if (characters[i] == '\\' && i + 1 < characters.size()) {
            const char next = characters[++i];
            value.push_back(next == 'n' ? '\n' : next == 't' ? '\t' : next);
        } else {
            value.push_back(characters[i]);
        }
    }
    return value;
}


std::string_view token_kind_name(TokenKind kind) {
    switch (kind) {
        case TokenKind::integer: return "a number";
        case TokenKind::decimal: return "a float";
        case TokenKind::name: return "a name";
        case TokenKind::string: return "a string";
        case TokenKind::left_paren: return "'('";
        case TokenKind::right_paren: return "')'";
        case TokenKind::left_bracket: return "'['";
        case TokenKind::right_bracket: return "']'";
        case TokenKind::left_brace: return "'{'";
        case TokenKind::right_brace: return "'}'";
        case TokenKind::comma: return "','";
        case TokenKind::colon: return "':'";
        case TokenKind::dot: return "'.'";
        case TokenKind::star: return "'*'";
        case TokenKind::double_star: return "'**'";
        case TokenKind::plus: return "'+'";
        case TokenKind::minus: return "'-'";
        case TokenKind::tilde: return "'~'";
        case TokenKind::ampersand: return "'&'";
        case TokenKind::bar: return "'|'";
        case TokenKind::caret: return "'^'";
        case TokenKind::end: return "the end of the text";
    }
    return "a token";
}

}  // namespace kelvo::model_text
