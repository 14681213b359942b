#include "engine/instantiation/structured_template_view.hpp"

#include <stdexcept>
#include <string>

namespace kelvo {

void StructuredTemplateView::check() const {
    if (values.size() != kinds.size() || form_ends.size() != kinds.size()) {
        throw std::invalid_argument("one value and one form end per distinct literal are expected");
    }
    std::int64_t previous = 0;
    for (std::size_t l = 0; l < kinds.size(); ++l) {
        if (kinds[l] > static_cast<std::uint8_t>(TemplateLiteralKind::bxpr_auxiliary)) {
            throw std::invalid_argument("literal kind " + std::to_string(kinds[l]) + " is unknown");
        }
        if (form_ends[l] < previous) throw std::invalid_argument("form ends must not decrease");
        previous = form_ends[l];
    }
    if (static_cast<std::size_t>(previous) != forms.size()) {
        throw std::invalid_argument("the last form must end with the forms");
    }
    for (const auto reference : literals) {
        const auto position = reference < 0 ? -static_cast<std::int64_t>(reference) : reference;
        if (position == 0 || static_cast<std::size_t>(position) > kinds.size()) {
            throw std::invalid_argument("literal " + std::to_string(reference) + " names no variable of the template");
        }
    }
    previous = 0;
    for (const auto end : ends) {
        if (end < previous) throw std::invalid_argument("clause ends must not decrease");
        previous = end;
    }
    if (static_cast<std::size_t>(previous) != literals.size()) {
        throw std::invalid_argument("the last clause must end with the last literal");
    }
}

}  // namespace kelvo
