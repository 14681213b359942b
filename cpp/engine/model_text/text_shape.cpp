#include "engine/model_text/text_shape.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <utility>

#include "engine/model_text/model_text_tokenizer.hpp"

namespace kelvo {

using model_text::ModelVariable;
using model_text::Token;
using model_text::TokenKind;

std::string parameter_name(std::size_t parameter) { return std::string(parameter_prefix) + std::to_string(parameter); }

namespace {

constexpr std::uint32_t empty_slot = std::numeric_limits<std::uint32_t>::max();

void append_field(std::string& key, std::string_view field) {
    key += std::to_string(field.size());
    key += ':';
    key += field;
}

// What else a reading depends on under the same variables: the index names and the encoder's settings.
std::string context_of(std::span<const std::string> index_names, const PBConfig& config) {
    std::string context = std::to_string(static_cast<int>(config.pb_encoder)) + ',' +
                          std::to_string(config.max_clauses_per_constraint) + ',' +
                          (config.cardinality_encodings ? "1" : "0") + '|';
    for (const auto& name : index_names) append_field(context, name);
    return context;
}

bool same_variable(const ModelVariable& one, const ModelVariable& other) {
    return one.name == other.name && one.first == other.first && one.sizes == other.sizes;
}

bool same_config(const PBConfig& one, const PBConfig& other) {
    return one.pb_encoder == other.pb_encoder && one.max_clauses_per_constraint == other.max_clauses_per_constraint &&
           one.cardinality_encodings == other.cardinality_encodings;
}

// The number after a marker's letters, and its ';'.
void append_marker(std::string& key, std::string_view letters, std::size_t number) {
    char marker[32];
    auto* written = std::copy(letters.begin(), letters.end(), marker);
    written = std::to_chars(written, std::end(marker) - 1, number).ptr;
    *written++ = ';';
    key.append(marker, written);
}

// A call of a variable: the cell of a constant one, x(3,4), or the constant
// arguments of one whose every other argument names an index, x(3,c).
struct VariableCall {
    bool constant;
    std::int64_t number;  // a constant call's cell
    std::size_t end;      // the position after its ")"
};

// The call whose "(" is the next token at text[at], read once, its constant
// arguments into constants; nullopt when it is neither kind: a constant
// argument outside its dimension, an argument without an index (a
// comprehension's variable, a constant expression), another variable called
// inside, or the wrong number of arguments. Calls are read by the million: no
// allocation here.
std::optional<VariableCall> variable_call(std::string_view text, std::size_t at, const ModelVariable& variable,
                                          const VariablePositions& variables_by_name,
                                          std::span<const std::string> index_names,
                                          std::vector<ConstantArgument>& constants) {
    constants.clear();
    if (model_text::next_token(text, at).kind != TokenKind::left_paren) return std::nullopt;
    std::int64_t number = variable.first;
    bool constant = true;
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
                number += value * variable.strides[dimension];
                ++dimension;
                at = after_at;
                if (after.kind == TokenKind::right_paren) break;
                continue;
            }
        }
        constant = false;
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
    return VariableCall{constant, number, at};
}

// The characters of text[from, to) into the key, each '#' written twice: a
// text cannot spell the replacement of a cell call.
void append_characters(std::string& key, std::string_view text, std::size_t from, std::size_t to) {
    for (;;) {
        const auto mark = text.find('#', from);
        if (mark == std::string_view::npos || mark >= to) break;
        key.append(text.substr(from, mark + 1 - from));
        key += '#';
        from = mark + 1;
    }
    key.append(text.substr(from, to - from));
}

}  // namespace

std::size_t VariablePositions::hash(std::string_view name) {
    // FNV-1a: names are short.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    return static_cast<std::size_t>(hash ^ (hash >> 29));
}

void VariablePositions::add(std::string_view name, std::size_t position) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    auto slot = hash(name) & (slots_.size() - 1);
    while (slots_[slot].used) {
        if (slots_[slot].name == name) return;
        slot = (slot + 1) & (slots_.size() - 1);
    }
    slots_[slot] = {std::string(name), position, true};
    ++count_;
}

void VariablePositions::clear() {
    slots_.clear();
    count_ = 0;
}

std::optional<std::size_t> VariablePositions::find(std::string_view name) const {
    if (slots_.empty()) return std::nullopt;
    for (auto slot = hash(name) & (slots_.size() - 1); slots_[slot].used; slot = (slot + 1) & (slots_.size() - 1)) {
        if (slots_[slot].name == name) return slots_[slot].position;
    }
    return std::nullopt;
}

void VariablePositions::grow() {
    auto old = std::move(slots_);
    slots_.assign(std::max<std::size_t>(16, 2 * old.size()), Slot{});
    count_ = 0;
    for (auto& entry : old) {
        if (!entry.used) continue;
        auto slot = hash(entry.name) & (slots_.size() - 1);
        while (slots_[slot].used) slot = (slot + 1) & (slots_.size() - 1);
        slots_[slot] = std::move(entry);
        ++count_;
    }
}

std::size_t ShapeScanner::FirstAppearances::order_of(std::int64_t number, std::vector<std::int64_t>& cells) {
    if (2 * (cells.size() + 1) > slots_.size()) grow(cells);
    auto slot = slot_of(number);
    while (slots_[slot] != empty_slot) {
        if (cells[slots_[slot]] == number) return slots_[slot];
        slot = (slot + 1) & (slots_.size() - 1);
    }
    slots_[slot] = static_cast<std::uint32_t>(cells.size());
    used_.push_back(slot);
    cells.push_back(number);
    return cells.size() - 1;
}

void ShapeScanner::FirstAppearances::clear() {
    for (const auto slot : used_) slots_[slot] = empty_slot;
    used_.clear();
}

std::size_t ShapeScanner::FirstAppearances::slot_of(std::int64_t number) const {
    return static_cast<std::size_t>(static_cast<std::uint64_t>(number) * 0x9E3779B97F4A7C15ULL >> 17) &
           (slots_.size() - 1);
}

void ShapeScanner::FirstAppearances::grow(std::span<const std::int64_t> cells) {
    slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), empty_slot);
    used_.clear();
    for (std::size_t c = 0; c < cells.size(); ++c) {
        auto slot = slot_of(cells[c]);
        while (slots_[slot] != empty_slot) slot = (slot + 1) & (slots_.size() - 1);
        slots_[slot] = static_cast<std::uint32_t>(c);
        used_.push_back(slot);
    }
}

void ShapeScanner::use_variables(std::span<const ModelVariable> variables) {
    if (std::equal(variables.begin(), variables.end(), variables_.begin(), variables_.end(), same_variable)) return;
    variables_.assign(variables.begin(), variables.end());
    variables_by_name_.clear();
    for (std::size_t v = 0; v < variables_.size(); ++v) variables_by_name_.add(variables_[v].name, v);
    forget_contexts();
}

void ShapeScanner::add_variable(ModelVariable variable) {
    variables_by_name_.add(variable.name, variables_.size());
    variables_.push_back(std::move(variable));
    forget_contexts();
}

void ShapeScanner::forget_contexts() {
    contexts_.clear();
    context_known_ = false;
}

void ShapeScanner::use_context(std::span<const std::string> index_names, const PBConfig& config) {
    if (context_known_ && same_config(config, config_) &&
        std::equal(index_names.begin(), index_names.end(), index_names_.begin(), index_names_.end())) {
        return;
    }
    index_names_.assign(index_names.begin(), index_names.end());
    config_ = config;
    context_known_ = true;
    index_names_readable_ = std::none_of(index_names.begin(), index_names.end(), [this](const std::string& name) {
        return variables_by_name_.contains(name) || name.starts_with(parameter_prefix);
    });
    const auto [context, added] = contexts_.try_emplace(context_of(index_names, config), next_context_);
    if (added) ++next_context_;
    context_prefix_.clear();
    append_marker(context_prefix_, "", context->second);
}

bool ShapeScanner::scan(std::string_view text, std::span<const std::string> index_names, const PBConfig& config,
                        TextShape& shape) {
    use_context(index_names, config);
    if (!index_names_readable_) return false;
    shape.key.assign(context_prefix_);
    shape.cells.clear();
    shape.parameters.clear();
    shape.parameterized.clear();
    appearances_.clear();
    std::size_t copied = 0;  // the text before it is in the key
    std::size_t parameterized_copied = 0;  // the text before it is in shape.parameterized
    auto previous = TokenKind::end;
    try {
        for (std::size_t at = 0;;) {
            const Token token = model_text::next_token(text, at);
            if (token.kind == TokenKind::end) break;
            const auto variable = token.kind == TokenKind::name ? variables_by_name_.find(token.text) : std::nullopt;
            const auto kind = std::exchange(previous, token.kind);
            if (!variable) continue;
            // An attribute of that name is no cell of the variable.
            if (kind == TokenKind::dot) return false;
            const auto call =
                variable_call(text, at, variables_[*variable], variables_by_name_, index_names, constants_);
            if (!call) return false;
            if (!call->constant) {
                for (const auto& constant : constants_) {
                    const auto found = std::find(shape.parameters.begin(), shape.parameters.end(), constant.value);
                    const auto parameter = static_cast<std::size_t>(found - shape.parameters.begin());
                    if (found == shape.parameters.end()) shape.parameters.push_back(constant.value);
                    append_characters(shape.key, text, copied, constant.position);
                    append_marker(shape.key, "#p", parameter);
                    copied = constant.position + constant.length;
                    shape.parameterized.append(text.substr(parameterized_copied, constant.position - parameterized_copied));
                    shape.parameterized += parameter_prefix;
                    shape.parameterized += std::to_string(parameter);
                    parameterized_copied = copied;
                }
                previous = TokenKind::right_paren;
                at = call->end;
                continue;
            }
            append_characters(shape.key, text, copied, token.position);
            append_marker(shape.key, "#", *variable);
            shape.key.pop_back();
            append_marker(shape.key, ":", appearances_.order_of(call->number, shape.cells));
            previous = TokenKind::right_paren;
            copied = at = call->end;
        }
    } catch (const model_text::TextError&) {
        return false;  // the reader declines it with the reason
    }
    append_characters(shape.key, text, copied, text.size());
    if (!shape.parameters.empty()) shape.parameterized.append(text.substr(parameterized_copied));
    return true;
}

}  // namespace kelvo
