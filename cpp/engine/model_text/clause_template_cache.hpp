#pragma once
// Constraints of one shape (text_shape.hpp) are read once: a later text of
// the shape gets the first one's clauses with its own cells and parameters in
// their places (shape_template.hpp).

#include <cstddef>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "engine/model_text/constraint_template.hpp"
#include "engine/model_text/model_text_evaluator.hpp"
#include "engine/model_text/shape_template.hpp"
#include "engine/model_text/text_shape.hpp"
#include "engine/pbct/pb_config.hpp"

namespace kelvo {

class ClauseTemplateCache {
public:
    // As read_clause_template, from the cache when a text of the same shape
    // was read before. Texts without a shape are read every time.
    ClauseTemplateReading read(std::string_view text, std::span<const std::string> index_names,
                               std::span<const model_text::ModelVariable> variables, const PBConfig& config);

    [[nodiscard]] std::size_t size() const {
        const std::scoped_lock lock(mutex_);
        return shapes_.size();
    }

private:
    // The host may read texts of one model from several threads.
    mutable std::mutex mutex_;
    ShapeScanner scanner_;
    TextShape shape_;  // the buffers of the text being read
    NameMap<ShapeTemplate> shapes_;
};

}  // namespace kelvo
