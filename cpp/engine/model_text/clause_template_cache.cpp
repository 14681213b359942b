#include "engine/model_text/clause_template_cache.hpp"

#include <utility>

namespace kelvo {

ClauseTemplateReading ClauseTemplateCache::read(std::string_view text, std::span<const std::string> index_names,
                                                std::span<const model_text::ModelVariable> variables,
                                                const PBConfig& config) {
    const std::scoped_lock lock(mutex_);
    scanner_.use_variables(variables);
    if (!scanner_.scan(text, index_names, config, shape_)) {
        return read_clause_template(text, index_names, variables, config);
    }
    auto found = shapes_.find(shape_.key);
    if (found == shapes_.end()) {
        auto first = first_hard_reading(shape_, text, index_names, variables, config);
        if (first.shape) shapes_.emplace(shape_.key, std::move(*first.shape));
        return std::move(first.reading);
    }
    const ShapeTemplate& shape = found->second;
    if (shape.read_directly || !parameters_fit(shape.structure, shape_.parameters, index_names.size())) {
        return read_clause_template(text, index_names, variables, config);
    }
    return served(shape.structure, shape_.cells, shape_.parameters, index_names.size());
}

}  // namespace kelvo
