#pragma once
// Constraints that differ only in the cells they name (the diagonals of a
// board, say) are read once. A text's shape is its tokens with every cell
// call x(3,4) replaced by its variable and the order of its cell's first
// appearance; the engine's reading depends on the cells only through that
// pattern, so a later text of the same shape gets the first one's clauses
// with its own cells named in their places.

#include <cstddef>
#include <cstdint>
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

class ClauseTemplateCache {
public:
    // As read_clause_template, from the cache when a text of the same shape
    // was read before. Texts naming a variable other than by constant cell
    // calls are read every time.
    std::optional<NamedClauseTemplate> read(std::string_view text, std::span<const std::string> index_names,
                                            std::span<const model_text::ModelVariable> variables,
                                            const PBConfig& config);

    [[nodiscard]] std::size_t size() const { return entries_.size(); }

private:
    // A name of the template: the cell of the given order of appearance, or
    // a name that is the same for every text of the shape.
    struct Slot {
        bool cell;
        std::size_t index;
    };
    struct Entry {
        std::vector<Slot> slots;
        std::vector<std::string> fixed_names;
        std::vector<std::int32_t> literals;
        std::vector<std::int64_t> ends;
        std::int64_t pbct = 0;
        std::int64_t bxpr = 0;
        bool never_holds = false;
    };

    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace kelvo
