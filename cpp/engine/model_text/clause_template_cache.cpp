#include "engine/model_text/clause_template_cache.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <utility>

#include "engine/model_text/model_text_tokenizer.hpp"

namespace kelvo {

namespace {

using model_text::ModelVariable;
using model_text::Token;
using model_text::TokenKind;

struct Cell {
    std::size_t variable;
    std::int64_t number;  // as the variables number their cells
};

struct Shape {
    std::string key;
    std::vector<Cell> cells;  // distinct, in order of first appearance
};

void append_field(std::string& key, std::string_view field) {
    key += std::to_string(field.size());
    key += ':';
    key += field;
}

// What else the reading depends on: the index names, the variables and the encoder's settings.
std::string context_key(std::span<const std::string> index_names, std::span<const ModelVariable> variables,
                        const PBConfig& config) {
    std::string key = std::to_string(static_cast<int>(config.pb_encoder)) + ',' +
                      std::to_string(config.max_clauses_per_constraint) + ',' +
                      (config.cardinality_encodings ? "1" : "0") + '|';
    for (const auto& name : index_names) append_field(key, name);
    key += '|';
    for (const auto& variable : variables) {
        append_field(key, variable.name);
        for (const auto size : variable.sizes) key += std::to_string(size) + ',';
        key += ';';
    }
    return key + '|';
}

std::optional<std::int64_t> integer_of(const Token& token) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(token.text.data(), token.text.data() + token.text.size(), value);
    if (error != std::errc{} || end != token.text.data() + token.text.size()) return std::nullopt;
    return value;
}

// The number of the cell of the constant call starting at tokens[at] ("(" 3
// "," 4 ")"), with the position after it; nullopt when the call is anything
// else or names no cell of the variable. Cells are read by the million: no
// allocation here.
std::optional<std::pair<std::int64_t, std::size_t>> constant_call(const std::vector<Token>& tokens, std::size_t at,
                                                                  const ModelVariable& variable) {
    if (tokens[at].kind != TokenKind::left_paren) return std::nullopt;
    std::int64_t number = variable.first_number;
    std::size_t dimension = 0;
    for (++at;; ++at) {
        if (tokens[at].kind != TokenKind::integer) return std::nullopt;
        const auto value = integer_of(tokens[at]);
        if (!value || dimension >= variable.sizes.size() || *value >= variable.sizes[dimension]) {
            return std::nullopt;
        }
        number += *value * variable.strides[dimension++];
        ++at;
        if (tokens[at].kind == TokenKind::right_paren) break;
        if (tokens[at].kind != TokenKind::comma) return std::nullopt;
    }
    if (dimension != variable.sizes.size()) return std::nullopt;
    return std::pair{number, at + 1};
}

// nullopt when a variable is named other than by a constant cell call, an
// index shares a variable's name, or the text cannot be tokenized.
std::optional<Shape> shape_of(std::string_view text, std::span<const std::string> index_names,
                              std::span<const ModelVariable> variables, const PBConfig& config) {
    std::unordered_map<std::string_view, std::size_t> variables_by_name;
    for (std::size_t v = 0; v < variables.size(); ++v) variables_by_name.emplace(variables[v].name, v);
    for (const auto& name : index_names) {
        if (variables_by_name.contains(name)) return std::nullopt;
    }
    std::vector<Token> tokens;
    try {
        tokens = model_text::tokenize(text);
    } catch (const model_text::TextError&) {
        return std::nullopt;  // the reader declines it with the reason
    }
    Shape shape{context_key(index_names, variables, config), {}};
    shape.key.reserve(shape.key.size() + text.size());
    std::unordered_map<std::int64_t, std::size_t> order_of_cell;
    // A cell call takes six tokens at least ("x", "(", 3, ",", 4, ")").
    order_of_cell.reserve(tokens.size() / 6);
    for (std::size_t t = 0; t < tokens.size();) {
        const Token& token = tokens[t];
        const auto variable = token.kind == TokenKind::name ? variables_by_name.find(token.text)
                                                            : variables_by_name.end();
        if (variable == variables_by_name.end()) {
            shape.key += static_cast<char>('A' + static_cast<int>(token.kind));
            if (token.kind == TokenKind::name || token.kind == TokenKind::integer || token.kind == TokenKind::string) {
                append_field(shape.key, token.text);
            }
            ++t;
            continue;
        }
        if (t > 0 && tokens[t - 1].kind == TokenKind::dot) return std::nullopt;
        auto call = constant_call(tokens, t + 1, variables[variable->second]);
        if (!call) return std::nullopt;
        const auto [found, inserted] = order_of_cell.try_emplace(call->first, shape.cells.size());
        if (inserted) shape.cells.push_back({variable->second, call->first});
        shape.key += '#';
        shape.key += std::to_string(variable->second) + ':' + std::to_string(found->second) + ';';
        t = call->second;
    }
    return shape;
}

}  // namespace

std::optional<ClauseTemplateCache::Entry> ClauseTemplateCache::entry_of(
    const StructuredClauseTemplate& read, const std::unordered_map<std::int64_t, std::size_t>& order_of_cell) {
    constexpr auto widest = std::numeric_limits<std::int32_t>::max();
    if (read.forms.size() > widest || read.literals.size() > widest) return std::nullopt;
    Entry entry{read.kinds, {}, read.forms, {read.form_ends.begin(), read.form_ends.end()}, read.literals,
                {read.ends.begin(), read.ends.end()}, read.pbct, read.bxpr, read.never_holds};
    entry.values.reserve(read.values.size());
    for (std::size_t l = 0; l < read.kinds.size(); ++l) {
        auto value = read.values[l];
        if (read.kinds[l] == StructuredClauseTemplate::Kind::cell) {
            const auto cell = order_of_cell.find(value);
            // A cell the text does not call as such: its shape does not carry it.
            if (cell == order_of_cell.end()) return std::nullopt;
            value = static_cast<std::int64_t>(cell->second);
        }
        if (value < 0 || value > widest) return std::nullopt;
        entry.values.push_back(static_cast<std::int32_t>(value));
    }
    return entry;
}

ClauseTemplateReading ClauseTemplateCache::read(std::string_view text, std::span<const std::string> index_names,
                                                std::span<const ModelVariable> variables, const PBConfig& config) {
    auto shape = shape_of(text, index_names, variables, config);
    if (!shape) return read_clause_template(text, index_names, variables, config);
    const std::scoped_lock lock(mutex_);
    if (const auto found = entries_.find(shape->key); found != entries_.end()) {
        const Entry& entry = found->second;
        StructuredClauseTemplate served{entry.kinds, {}, entry.forms, {entry.form_ends.begin(), entry.form_ends.end()},
                                        entry.literals, {entry.ends.begin(), entry.ends.end()}, entry.pbct,
                                        entry.bxpr, entry.never_holds};
        served.values.reserve(entry.values.size());
        for (std::size_t l = 0; l < entry.kinds.size(); ++l) {
            const auto value = static_cast<std::size_t>(entry.values[l]);
            served.values.push_back(entry.kinds[l] == StructuredClauseTemplate::Kind::cell ? shape->cells[value].number
                                                                                          : entry.values[l]);
        }
        return served;
    }
    auto reading = read_clause_template(text, index_names, variables, config);
    const auto* read = std::get_if<StructuredClauseTemplate>(&reading);
    if (read == nullptr) return reading;
    std::unordered_map<std::int64_t, std::size_t> order_of_cell;
    for (std::size_t c = 0; c < shape->cells.size(); ++c) order_of_cell.emplace(shape->cells[c].number, c);
    if (auto entry = entry_of(*read, order_of_cell)) entries_.emplace(std::move(shape->key), std::move(*entry));
    return reading;
}

}  // namespace kelvo
