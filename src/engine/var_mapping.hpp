#pragma once
// Names of variables (x[1,2], _pbct_aux[0,3,1]) to their numbers, with the
// inverse built on request.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kelvo {

using VariableNumber = std::int64_t;

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

class VarMapping {
public:
    void set_var_map(std::vector<std::pair<std::string, VariableNumber>> entries);
    void build_inverse_map();

    [[nodiscard]] std::optional<VariableNumber> number_of(std::string_view name) const;
    // Builds the inverse first when it is missing or stale.
    [[nodiscard]] std::optional<std::string_view> name_of(VariableNumber number);
    [[nodiscard]] std::size_t size() const { return names_.size(); }
    [[nodiscard]] bool empty() const { return names_.empty(); }
    [[nodiscard]] const std::vector<std::pair<std::string, VariableNumber>>& entries() const { return entries_; }

private:
    std::vector<std::pair<std::string, VariableNumber>> entries_;
    std::unordered_map<std::string, VariableNumber, StringHash, std::equal_to<>> names_;
    std::unordered_map<VariableNumber, std::size_t> numbers_;  // number -> position in entries_
    bool inverse_built_ = false;
};

}  // namespace kelvo
