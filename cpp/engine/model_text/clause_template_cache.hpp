#pragma once
// Constraints that differ only in the cells they name (the diagonals of a
// board, say, or the edges of a graph over its colours) are read once. A
// text's shape is the text itself with every constant cell call x(3,4)
// replaced by its variable and the order of its cell's first appearance, and
// every constant argument of a call that also takes an index, x(3,c), by a
// parameter: the order of its value's first appearance. The engine's reading
// depends on the cells only through that pattern, and on the parameters
// affinely (the first text of a shape is read with them as indexes), so a
// later text of the same shape gets the first one's clauses with its own
// cells and values in their places.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/model_text/constraint_template.hpp"
#include "engine/model_text/model_text_evaluator.hpp"
#include "engine/pbct/pb_config.hpp"

namespace kelvo {

// A text's shape and its constant cells and parameters (clause_template_cache.cpp).
struct TextShape;

class ClauseTemplateCache {
public:
    // As read_clause_template, from the cache when a text of the same shape
    // was read before. Texts naming a variable other than by constant cell
    // calls are read every time.
    ClauseTemplateReading read(std::string_view text, std::span<const std::string> index_names,
                                            std::span<const model_text::ModelVariable> variables,
                                            const PBConfig& config);

    [[nodiscard]] std::size_t size() const {
        const std::scoped_lock lock(mutex_);
        return entries_.size();
    }

private:
    // The template of the first text of a shape, each cell's value replaced
    // by the order of its first appearance in the text. Held compactly: a
    // model may have a shape for every length of its lines.
    struct Entry {
        std::vector<StructuredClauseTemplate::Kind> kinds;
        std::vector<std::int32_t> values;
        std::vector<std::int64_t> forms;
        std::vector<std::uint32_t> form_ends;
        std::vector<std::int32_t> literals;
        std::vector<std::uint32_t> ends;
        std::int64_t pbct = 0;
        std::int64_t bxpr = 0;
        bool never_holds = false;
        // Read with its constant arguments as parameters, the shape lies
        // outside the grammar: each text is read as it is.
        bool read_directly = false;
    };
    struct FirstReading {
        ClauseTemplateReading reading;
        std::optional<Entry> entry;  // nullopt when the shape cannot be cached
    };

    static std::optional<Entry> entry_of(const StructuredClauseTemplate& read,
                                         const std::unordered_map<std::int64_t, std::size_t>& order_of_cell);
    static FirstReading first_reading(const TextShape& shape, std::string_view text,
                                      std::span<const std::string> index_names,
                                      std::span<const model_text::ModelVariable> variables, const PBConfig& config);
    // The entry with the text's own cells and parameters in their places;
    // nullopt when a parameter's arithmetic passes 64 bits.
    static std::optional<StructuredClauseTemplate> served(const Entry& entry, std::span<const std::int64_t> cell_numbers,
                                                          std::span<const std::int64_t> parameters,
                                                          std::size_t index_count);

    // The host may read texts of one model from several threads.
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace kelvo
