#pragma once
// Names of variables (x[1,2], _pbct_aux[0,3,1]) to their numbers, with the
// inverse built on request.

#include <cstdint>
#include <optional>
#include <span>
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
    // Appends entries after the present ones; a name given again keeps its
    // place and takes the new number, as a dictionary update does.
    void add_entries(std::vector<std::pair<std::string, VariableNumber>> entries);
    // Appends one entry per cell of a variable, "name[v1,...]" in row-major
    // order, numbers running from first.
    void add_variable_cells(std::string_view name, std::span<const std::int64_t> sizes, VariableNumber first);
    void build_inverse_map();

    [[nodiscard]] std::optional<VariableNumber> number_of(std::string_view name) const;
    // Builds the inverse first when it is missing or stale.
    [[nodiscard]] std::optional<std::string_view> name_of(VariableNumber number);
    [[nodiscard]] std::size_t size() const { return names_.size(); }
    [[nodiscard]] bool empty() const { return names_.empty(); }
    [[nodiscard]] const std::vector<std::pair<std::string, VariableNumber>>& entries() const { return entries_; }

private:
    void add_entry(std::string_view name, VariableNumber number);
    void make_room(std::size_t more);

    std::vector<std::pair<std::string, VariableNumber>> entries_;
    // name -> position in entries_
    std::unordered_map<std::string, std::size_t, StringHash, std::equal_to<>> names_;
    std::unordered_map<VariableNumber, std::size_t> numbers_;  // number -> position in entries_
    bool inverse_built_ = false;
};

}  // namespace kelvo
