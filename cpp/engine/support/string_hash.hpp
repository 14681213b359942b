#pragma once
// A transparent hash, so that maps keyed by std::string are searched with a
// std::string_view without making a string.

#include <cstddef>
#include <functional>
#include <string_view>

namespace kelvo {

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

}  // namespace kelvo
