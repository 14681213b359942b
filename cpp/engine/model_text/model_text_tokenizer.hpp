#pragma once
// Tokens of the model text: the expression language the modelling layer
// writes (a subset of Python expressions) and the text of the foralls ranges.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::model_text {

enum class TokenKind : std::uint8_t {
    integer, decimal, name, string,
    left_paren, right_paren, left_bracket, right_bracket, left_brace, right_brace,
    comma, colon, dot, star, double_star, plus, minus, tilde, ampersand, bar, caret,
    end,
};

struct Token {
    TokenKind kind;
    std::size_t position;  // byte offset of the first character
    std::string_view text;  // for a string: the characters between the quotes, escapes unresolved
};

// A text that cannot be read: the message names the position and shows the
// text around it.
class TextError : public std::invalid_argument {
public:
    TextError(const std::string& problem, std::string_view text, std::size_t position);
    [[nodiscard]] std::size_t position() const { return position_; }

private:
    std::size_t position_;
};

// The text around a position, with a caret line, for error messages.
std::string excerpt_at(std::string_view text, std::size_t position);

// The token at or after `at`, blanks skipped, with `at` moved past it; the
// end token at the end of the text. Throws TextError as tokenize does.
Token next_token(std::string_view text, std::size_t& at);

std::vector<Token> tokenize(std::string_view text);

// The value of a string token's characters with \\, \', \" and \n resolved.
std::string unescape(std::string_view characters);

std::string_view token_kind_name(TokenKind kind);


}  // namespace kelvo::model_text
