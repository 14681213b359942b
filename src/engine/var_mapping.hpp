#pragma once
// Names of variables (x[1,2], _pbct_aux[0,3,1]) to their numbers, with the
// inverse built on request. The names lie one after another in one text, so
// that a mapping of millions of entries costs little more than their letters.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/name_index.hpp"
#include "engine/named_numbers.hpp"

namespace kelvo {

using VariableNumber = std::int64_t;

class VarMapping {
public:
    void set_var_map(const std::vector<std::pair<std::string, VariableNumber>>& entries);
    // Appends entries after the present ones; a name given again keeps its
    // place and takes the new number, as a dictionary update does.
    void add_entries(const std::vector<std::pair<std::string, VariableNumber>>& entries);
    void add_entry(std::string_view name, VariableNumber number);
    // The same for names written one after another in text, name k ending at
    // ends[k]. Throws std::invalid_argument when ends and numbers disagree.
    void add_named_numbers(std::string_view text, std::span<const std::int64_t> ends,
                           std::span<const VariableNumber> numbers);
    // Appends one entry per cell of a variable, "name[v1,...]" in row-major
    // order, numbers running from first.
    void add_variable_cells(std::string_view name, std::span<const std::int64_t> sizes, VariableNumber first);
    void build_inverse_map();

    [[nodiscard]] std::optional<VariableNumber> number_of(std::string_view name) const;
    // Builds the inverse first when it is missing or stale.
    [[nodiscard]] std::optional<std::string_view> name_of(VariableNumber number);
    [[nodiscard]] std::size_t size() const { return entries_.size(); }
    [[nodiscard]] bool empty() const { return entries_.empty(); }
    // Entries in the order of their first addition.
    [[nodiscard]] const NamedNumbers& entries() const { return entries_; }

private:
    void make_room(std::size_t more, std::size_t letters);
    [[nodiscard]] std::optional<std::size_t> position_of_number(VariableNumber number) const;

    NamedNumbers entries_;
    NameIndex names_;
    // The first position of each number: by number when the numbers are
    // dense, else sorted pairs.
    std::vector<std::uint32_t> dense_inverse_;  // position + 1, 0 for none
    std::vector<std::pair<VariableNumber, std::uint32_t>> sorted_inverse_;
    bool inverse_built_ = false;
};

}  // namespace kelvo
