#pragma once
// The one table of character classes and the one keyword list of every
// reader of expression text: the engine's model-text tokenizer (and so its
// shape cache), the kernels' index expressions, clause literals and linear
// text. Independent of the locale; a name reaches past ASCII as the host's
// do, every byte of a multi-byte UTF-8 character counting as a letter.

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace kelvo::text {

enum class CharacterClass : std::uint8_t { other, letter, digit, blank, line_break };

inline constexpr std::array<CharacterClass, 256> character_classes = [] {
    std::array<CharacterClass, 256> classes{};
    for (int c = 'a'; c <= 'z'; ++c) classes[static_cast<std::size_t>(c)] = CharacterClass::letter;
    for (int c = 'A'; c <= 'Z'; ++c) classes[static_cast<std::size_t>(c)] = CharacterClass::letter;
    for (int c = 0x80; c <= 0xFF; ++c) classes[static_cast<std::size_t>(c)] = CharacterClass::letter;
    classes['_'] = CharacterClass::letter;
    for (int c = '0'; c <= '9'; ++c) classes[static_cast<std::size_t>(c)] = CharacterClass::digit;
    classes[' '] = classes['\t'] = classes['\f'] = CharacterClass::blank;
    classes['\n'] = classes['\r'] = CharacterClass::line_break;
    return classes;
}();

constexpr CharacterClass class_of(char c) { return character_classes[static_cast<unsigned char>(c)]; }
constexpr bool starts_name(char c) { return class_of(c) == CharacterClass::letter; }
constexpr bool is_digit(char c) { return class_of(c) == CharacterClass::digit; }
constexpr bool continues_name(char c) { return starts_name(c) || is_digit(c); }
constexpr bool is_blank(char c) { return class_of(c) == CharacterClass::blank; }
constexpr bool is_line_break(char c) { return class_of(c) == CharacterClass::line_break; }

// The host's keywords: a text naming one means something no reader here reads
// as a name (True, False and None are read as constants before this is asked).
inline constexpr std::string_view keywords[] = {
    "False", "None", "True", "and", "as", "assert", "async", "await", "break", "class", "continue", "def",
    "del", "elif", "else", "except", "finally", "for", "from", "global", "if", "import", "in", "is",
    "lambda", "nonlocal", "not", "or", "pass", "raise", "return", "try", "while", "with", "yield",
};

inline bool is_keyword(std::string_view word) {
    return std::find(std::begin(keywords), std::end(keywords), word) != std::end(keywords);
}

// A letter or "_", then letters, digits and "_" (by the table above).
inline bool is_identifier(std::string_view word) {
    return !word.empty() && starts_name(word.front()) && std::all_of(word.begin(), word.end(), continues_name);
}

}  // namespace kelvo::text
