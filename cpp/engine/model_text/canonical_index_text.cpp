#include "engine/model_text/canonical_index_text.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "engine/model_text/model_text_evaluator.hpp"
#include "engine/model_text/model_text_parser.hpp"
#include "engine/model_text/model_text_tokenizer.hpp"
#include "engine/model_text/text_refusals.hpp"

namespace kelvo::model_text {

namespace {

// An integer or an affine form; nullopt for any other value.
std::optional<Affine> form_of(const Value& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value.content)) return Affine{*number, {}};
    if (const auto* form = std::get_if<Affine>(&value.content)) return *form;
    return std::nullopt;
}

// The magnitude of a number the text writes after its sign: the reader reads
// the smallest 64-bit integer's only past 64 bits.
std::optional<std::string> magnitude_text(std::int64_t number) {
    if (number == std::numeric_limits<std::int64_t>::min()) return std::nullopt;
    return std::to_string(number < 0 ? -number : number);
}

std::optional<std::string> text_of(const Affine& form, std::span<const std::string> names) {
    std::string text;
    const auto append = [&text](bool negative, const std::string& piece) {
        if (text.empty()) {
            text = negative ? "-" + piece : piece;
        } else {
            text += negative ? " - " : " + ";
            text += piece;
        }
    };
    for (const auto& [slot, coefficient] : form.terms) {
        const auto magnitude = magnitude_text(coefficient);
        if (!magnitude) return std::nullopt;
        append(coefficient < 0, *magnitude == "1" ? names[slot] : *magnitude + " * " + names[slot]);
    }
    if (form.constant != 0 || form.terms.empty()) {
        const auto magnitude = magnitude_text(form.constant);
        if (!magnitude) return std::nullopt;
        append(form.constant < 0, *magnitude);
    }
    return text;
}

}  // namespace

std::optional<std::string> canonical_index_text(std::string_view text) {
    try {
        const SyntaxTree tree = parse_expression(text);
        // Every name an index, slot by name order: the form's terms come by name.
        std::vector<std::string> names = tree.symbols();
        std::sort(names.begin(), names.end());
        const NameTable table(tree, names, {});
        Evaluator evaluator(tree, table, {}, PBConfig{});
        const auto form = form_of(evaluator.evaluate_template(names.size(), nullptr));
        if (!form) return std::nullopt;
        return text_of(*form, names);
    } catch (const NeedsInstances&) {
        return std::nullopt;
    } catch (const TextError&) {
        return std::nullopt;
    } catch (const NumberOutOfRange&) {
        return std::nullopt;
    } catch (const OperandKindError&) {
        return std::nullopt;
    }
}

}  // namespace kelvo::model_text
