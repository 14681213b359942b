#include "engine/model_text/clause_template_cache.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <utility>

#include "engine/model_text/model_text_tokenizer.hpp"

namespace kelvo {

struct ShapeCell {
    std::size_t variable;
    std::int64_t number;  // as the variables number their cells
};

struct TextShape {
    std::string key;
    std::vector<ShapeCell> cells;  // distinct, in order of first appearance
    // The distinct constant arguments of calls that also take an index
    // (x(3,c)), in order of first appearance: read as indexes named
    // parameter_name(p), so that x(3,c) and x(4,c) share one reading.
    std::vector<std::int64_t> parameters;
    std::string parameterized;  // the text with those arguments named; empty without parameters
};

namespace {

using model_text::ModelVariable;
using model_text::Token;
using model_text::TokenKind;

constexpr std::string_view parameter_prefix = "_vx_parameter_";

std::string parameter_name(std::size_t slot) { return std::string(parameter_prefix) + std::to_string(slot); }

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

    std::vector<ShapeCell> take_cells() { return std::move(cells_); }

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
    std::vector<ShapeCell> cells_;
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

// One constant argument of a call that also takes an index: where it stands in the text and its value.
struct ConstantArgument {
    std::size_t position;
    std::size_t length;
    std::int64_t value;
};

// The constant arguments of the call whose "(" is the next token at
// text[at] when its every other argument names an index (x(3,c), x(i + 1,2)),
// with the position after its ")"; nullopt when the call is anything else: a
// constant argument outside the dimension, an argument without an index (a
// comprehension's variable, a constant expression), another variable called
// inside, or the wrong number of arguments.
std::optional<std::pair<std::vector<ConstantArgument>, std::size_t>> indexed_call(
    std::string_view text, std::size_t at, const ModelVariable& variable,
    const std::unordered_map<std::string_view, std::size_t>& variables_by_name,
    std::span<const std::string> index_names) {
    if (model_text::next_token(text, at).kind != TokenKind::left_paren) return std::nullopt;
    std::vector<ConstantArgument> constants;
    std::size_t dimension = 0;
    for (;;) {
        // One argument: a lone integer, or tokens up to the "," or ")" at this depth.
        std::size_t peek = at;
        const Token first = model_text::next_token(text, peek);
        if (first.kind == TokenKind::integer) {
            std::size_t after_at = peek;
            const Token after = model_text::next_token(text, after_at);
            if (after.kind == TokenKind::comma || after.kind == TokenKind::right_paren) {
                std::int64_t value = 0;
                const auto* const last = first.text.data() + first.text.size();
                const auto [end, error] = std::from_chars(first.text.data(), last, value);
                if (error != std::errc{} || end != last || dimension >= variable.sizes.size() ||
                    value >= variable.sizes[dimension]) {
                    return std::nullopt;
                }
                constants.push_back({first.position, first.text.size(), value});
                ++dimension;
                at = after_at;
                if (after.kind == TokenKind::right_paren) break;
                continue;
            }
        }
        bool names_an_index = false;
        std::size_t depth = 0;
        Token token{};
        for (;;) {
            token = model_text::next_token(text, at);
            if (token.kind == TokenKind::end) return std::nullopt;
            if (token.kind == TokenKind::name) {
                if (variables_by_name.contains(token.text)) return std::nullopt;
                names_an_index = names_an_index ||
                                 std::find(index_names.begin(), index_names.end(), token.text) != index_names.end();
            }
            if (token.kind == TokenKind::left_paren || token.kind == TokenKind::left_bracket) ++depth;
            if (token.kind == TokenKind::right_paren || token.kind == TokenKind::right_bracket) {
                if (depth == 0) break;
                --depth;
            }
            if (token.kind == TokenKind::comma && depth == 0) break;
        }
        if (!names_an_index || token.kind == TokenKind::right_bracket) return std::nullopt;
        ++dimension;
        if (token.kind == TokenKind::right_paren) break;
    }
    if (dimension != variable.sizes.size()) return std::nullopt;
    return std::pair{std::move(constants), at};
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
std::optional<TextShape> shape_of(std::string_view text, std::span<const std::string> index_names,
                              std::span<const ModelVariable> variables, const PBConfig& config) {
    std::unordered_map<std::string_view, std::size_t> variables_by_name;
    for (std::size_t v = 0; v < variables.size(); ++v) variables_by_name.emplace(variables[v].name, v);
    for (const auto& name : index_names) {
        if (variables_by_name.contains(name) || name.starts_with(parameter_prefix)) return std::nullopt;
    }
    TextShape shape{context_key(index_names, variables, config), {}, {}, {}};
    shape.key.reserve(shape.key.size() + text.size());
    FirstAppearances appearances;
    std::size_t copied = 0;  // the text before it is in the key
    std::size_t parameterized_copied = 0;  // the text before it is in shape.parameterized
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
            if (!call) {
                const auto indexed = indexed_call(text, at, variables[variable->second], variables_by_name, index_names);
                if (!indexed) return std::nullopt;
                for (const auto& constant : indexed->first) {
                    const auto found = std::find(shape.parameters.begin(), shape.parameters.end(), constant.value);
                    const auto slot = static_cast<std::size_t>(found - shape.parameters.begin());
                    if (found == shape.parameters.end()) shape.parameters.push_back(constant.value);
                    append_characters(shape.key, text, copied, constant.position);
                    shape.key += "#p" + std::to_string(slot) + ';';
                    copied = constant.position + constant.length;
                    shape.parameterized.append(text.substr(parameterized_copied, constant.position - parameterized_copied));
                    shape.parameterized += parameter_name(slot);
                    parameterized_copied = copied;
                }
                previous = TokenKind::right_paren;
                at = indexed->second;
                continue;
            }
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
    if (!shape.parameters.empty()) shape.parameterized.append(text.substr(parameterized_copied));
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

std::optional<StructuredClauseTemplate> ClauseTemplateCache::served(const Entry& entry,
                                                                    std::span<const std::int64_t> cell_numbers,
                                                                    std::span<const std::int64_t> parameters,
                                                                    std::size_t index_count) {
    StructuredClauseTemplate served{entry.kinds, {}, {}, {}, entry.literals, {entry.ends.begin(), entry.ends.end()},
                                    entry.pbct, entry.bxpr, entry.never_holds};
    served.values.reserve(entry.values.size());
    for (std::size_t l = 0; l < entry.kinds.size(); ++l) {
        const auto value = static_cast<std::size_t>(entry.values[l]);
        served.values.push_back(entry.kinds[l] == StructuredClauseTemplate::Kind::cell ? cell_numbers[value]
                                                                                      : entry.values[l]);
    }
    if (parameters.empty()) {
        served.forms = entry.forms;
        served.form_ends.assign(entry.form_ends.begin(), entry.form_ends.end());
        return served;
    }
    // Each dimension's form over the indexes and then the parameters: the
    // parameters' values go into its constant.
    const std::size_t width = 1 + index_count + parameters.size();
    served.forms.reserve(entry.forms.size() / width * (1 + index_count));
    served.form_ends.reserve(entry.form_ends.size());
    std::size_t begin = 0;
    for (const auto end : entry.form_ends) {
        for (std::size_t form = begin; form + width <= end; form += width) {
            std::int64_t constant = entry.forms[form];
            for (std::size_t p = 0; p < parameters.size(); ++p) {
                std::int64_t term = 0;
                if (__builtin_mul_overflow(entry.forms[form + 1 + index_count + p], parameters[p], &term) ||
                    __builtin_add_overflow(constant, term, &constant)) {
                    return std::nullopt;
                }
            }
            served.forms.push_back(constant);
            served.forms.insert(served.forms.end(), entry.forms.begin() + static_cast<std::ptrdiff_t>(form + 1),
                                entry.forms.begin() + static_cast<std::ptrdiff_t>(form + 1 + index_count));
        }
        served.form_ends.push_back(static_cast<std::int64_t>(served.forms.size()));
        begin = end;
    }
    return served;
}

ClauseTemplateReading ClauseTemplateCache::read(std::string_view text, std::span<const std::string> index_names,
                                                std::span<const ModelVariable> variables, const PBConfig& config) {
    auto shape = shape_of(text, index_names, variables, config);
    if (!shape) return read_clause_template(text, index_names, variables, config);
    std::vector<std::int64_t> cell_numbers;
    cell_numbers.reserve(shape->cells.size());
    for (const auto& cell : shape->cells) cell_numbers.push_back(cell.number);
    const std::scoped_lock lock(mutex_);
    auto found = entries_.find(shape->key);
    if (found == entries_.end()) {
        auto first = first_reading(*shape, text, index_names, variables, config);
        if (!first.entry) return std::move(first.reading);
        found = entries_.emplace(std::move(shape->key), std::move(*first.entry)).first;
        if (shape->parameters.empty()) return std::move(first.reading);
    }
    const Entry& entry = found->second;
    if (entry.read_directly) return read_clause_template(text, index_names, variables, config);
    if (auto served_template = served(entry, cell_numbers, shape->parameters, index_names.size())) {
        return std::move(*served_template);
    }
    return read_clause_template(text, index_names, variables, config);
}

ClauseTemplateCache::FirstReading ClauseTemplateCache::first_reading(const TextShape& shape, std::string_view text,
                                                                     std::span<const std::string> index_names,
                                                                     std::span<const ModelVariable> variables,
                                                                     const PBConfig& config) {
    std::unordered_map<std::int64_t, std::size_t> order_of_cell;
    for (std::size_t c = 0; c < shape.cells.size(); ++c) order_of_cell.emplace(shape.cells[c].number, c);
    if (shape.parameters.empty()) {
        auto reading = read_clause_template(text, index_names, variables, config);
        const auto* read = std::get_if<StructuredClauseTemplate>(&reading);
        auto entry = read == nullptr ? std::nullopt : entry_of(*read, order_of_cell);
        return {std::move(reading), std::move(entry)};
    }
    std::vector<std::string> names(index_names.begin(), index_names.end());
    for (std::size_t p = 0; p < shape.parameters.size(); ++p) names.push_back(parameter_name(p));
    auto reading = read_clause_template(shape.parameterized, names, variables, config);
    const auto* read = std::get_if<StructuredClauseTemplate>(&reading);
    // Read with its parameters the text lies outside the grammar: every text
    // of the shape is read as it is.
    if (read == nullptr) {
        Entry read_directly;
        read_directly.read_directly = true;
        return {read_clause_template(text, index_names, variables, config), std::move(read_directly)};
    }
    auto entry = entry_of(*read, order_of_cell);
    if (!entry) return {read_clause_template(text, index_names, variables, config), std::nullopt};
    return {std::move(reading), std::move(entry)};
}

}  // namespace kelvo
