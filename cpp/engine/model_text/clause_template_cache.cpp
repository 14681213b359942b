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

// The distinct cells of a text in order of first appearance, each with its
// order, in an open-addressed table: a text may name a thousand cells, and a
// node per cell would cost more than reading them.
class FirstAppearances {
public:
    // The cell's order, the next one when it is new.
    std::size_t order_of(std::size_t variable, std::int64_t number) {
        if (2 * (cells_.size() + 1) > slots_.size()) grow();
        auto slot = slot_of(number);
        while (slots_[slot] != empty) {
            if (cells_[slots_[slot]].number == number) return slots_[slot];
            slot = (slot + 1) & (slots_.size() - 1);
        }
        slots_[slot] = static_cast<std::uint32_t>(cells_.size());
        cells_.push_back({variable, number});
        return cells_.size() - 1;
    }

    std::vector<Cell> take_cells() { return std::move(cells_); }

private:
    static constexpr std::uint32_t empty = std::numeric_limits<std::uint32_t>::max();

    [[nodiscard]] std::size_t slot_of(std::int64_t number) const {
        return static_cast<std::size_t>(static_cast<std::uint64_t>(number) * 0x9E3779B97F4A7C15ULL >> 17) &
               (slots_.size() - 1);
    }

    void grow() {
        slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), empty);
        for (std::size_t c = 0; c < cells_.size(); ++c) {
            auto slot = slot_of(cells_[c].number);
            while (slots_[slot] != empty) slot = (slot + 1) & (slots_.size() - 1);
            slots_[slot] = static_cast<std::uint32_t>(c);
        }
    }

    std::vector<std::uint32_t> slots_;
    std::vector<Cell> cells_;
};

// The number of the cell of the constant call whose "(" is the next token
// at text[at] ("(" 3 "," 4 ")"), with the position after its ")"; nullopt
// when the call is anything else or names no cell of the variable. Cells are
// read by the million: no allocation here.
std::optional<std::pair<std::int64_t, std::size_t>> constant_call(std::string_view text, std::size_t at,
                                                                  const ModelVariable& variable) {
    if (model_text::next_token(text, at).kind != TokenKind::left_paren) return std::nullopt;
    std::int64_t number = variable.first;
    for (std::size_t dimension = 0;; ++dimension) {
        const Token value_token = model_text::next_token(text, at);
        if (value_token.kind != TokenKind::integer || dimension >= variable.sizes.size()) return std::nullopt;
        std::int64_t value = 0;
        const auto* const last = value_token.text.data() + value_token.text.size();
        const auto [end, error] = std::from_chars(value_token.text.data(), last, value);
        if (error != std::errc{} || end != last || value >= variable.sizes[dimension]) return std::nullopt;
        number += value * variable.strides[dimension];
        const Token after = model_text::next_token(text, at);
        if (after.kind == TokenKind::right_paren) {
            if (dimension + 1 != variable.sizes.size()) return std::nullopt;
            return std::pair{number, at};
        }
        if (after.kind != TokenKind::comma) return std::nullopt;
    }
}

// The characters of text[from, to) into the key, each '#' written twice: a
// text cannot spell the replacement of a cell call.
void append_characters(std::string& key, std::string_view text, std::size_t from, std::size_t to) {
    for (std::size_t at = from; at < to; ++at) {
        key += text[at];
        if (text[at] == '#') key += '#';
    }
}

// The text itself with each constant cell call replaced by its variable and
// the order of its cell's first appearance ("#0:3;"), in one pass of the
// tokenizer; nullopt when a variable is named other than by a constant cell
// call, an index shares a variable's name, or the text cannot be tokenized.
std::optional<Shape> shape_of(std::string_view text, std::span<const std::string> index_names,
                              std::span<const ModelVariable> variables, const PBConfig& config) {
    std::unordered_map<std::string_view, std::size_t> variables_by_name;
    for (std::size_t v = 0; v < variables.size(); ++v) variables_by_name.emplace(variables[v].name, v);
    for (const auto& name : index_names) {
        if (variables_by_name.contains(name)) return std::nullopt;
    }
    Shape shape{context_key(index_names, variables, config), {}};
    shape.key.reserve(shape.key.size() + text.size());
    FirstAppearances appearances;
    std::size_t copied = 0;  // the text before it is in the key
    auto previous = TokenKind::end;
    try {
        for (std::size_t at = 0;;) {
            const Token token = model_text::next_token(text, at);
            if (token.kind == TokenKind::end) break;
            const auto variable = token.kind == TokenKind::name ? variables_by_name.find(token.text)
                                                                : variables_by_name.end();
            const auto kind = std::exchange(previous, token.kind);
            if (variable == variables_by_name.end()) continue;
            // An attribute of that name is no cell of the variable.
            if (kind == TokenKind::dot) return std::nullopt;
            const auto call = constant_call(text, at, variables[variable->second]);
            if (!call) return std::nullopt;
            append_characters(shape.key, text, copied, token.position);
            char marker[48] = {'#'};
            auto* written = std::to_chars(marker + 1, std::end(marker), variable->second).ptr;
            *written++ = ':';
            written = std::to_chars(written, std::end(marker), appearances.order_of(variable->second, call->first)).ptr;
            *written++ = ';';
            shape.key.append(marker, written);
            previous = TokenKind::right_paren;
            copied = at = call->second;
        }
    } catch (const model_text::TextError&) {
        return std::nullopt;  // the reader declines it with the reason
    }
    append_characters(shape.key, text, copied, text.size());
    shape.cells = appearances.take_cells();
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
