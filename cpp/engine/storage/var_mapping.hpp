#pragma once
// Names of variables (x[1,2], _pbct_aux[0,3,1]) to their numbers, with the
// inverse built on request. Entries keep the order of their first addition.
// A model variable's cells are kept as one block (name, sizes, first number),
// and a run of auxiliaries prefix[f,k,n..n+c-1] with consecutive numbers as
// one record, both spelled only when read; other names lie one after another
// in one text. Either way a name given again keeps its place and takes the
// new number.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/support/name_index.hpp"
#include "engine/support/named_numbers.hpp"
#include "engine/support/string_hash.hpp"

namespace kelvo {

using VariableNumber = std::int64_t;

class VarMapping {
public:
    void set_var_map(const std::vector<std::pair<std::string, VariableNumber>>& entries);
    void add_entries(const std::vector<std::pair<std::string, VariableNumber>>& entries);
    void add_entry(std::string_view name, VariableNumber number);
    // One entry per cell of a variable, "name[v1,...]" in row-major order,
    // numbers running from first.
    void add_variable_cells(std::string_view name, std::span<const std::int64_t> sizes, VariableNumber first);
    // An auxiliary run: entries prefix[formula,instance,first_index + t] with
    // numbers first + t, for t from 0 to count - 1.
    struct AuxiliaryRun {
        std::size_t prefix;  // position in the prefixes given
        std::int64_t instance;
        std::int64_t first_index;
        std::int64_t count;
        VariableNumber first;
    };
    // Throws std::invalid_argument for a prefix position out of range or a
    // negative index or count.
    void add_auxiliary_runs(std::span<const std::string> prefixes, std::int64_t formula,
                            std::span<const AuxiliaryRun> runs);
    void build_inverse_map();

    [[nodiscard]] std::optional<VariableNumber> number_of(std::string_view name) const;
    // The first name given for the number. Builds the inverse first when it is missing or stale.
    [[nodiscard]] std::optional<std::string> name_of(VariableNumber number);
    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    // Entries by position, in the order of their first addition.
    [[nodiscard]] std::string name_at(std::size_t position) const;
    [[nodiscard]] VariableNumber number_at(std::size_t position) const;
    // 0 when empty or when every number is below 1.
    [[nodiscard]] VariableNumber largest_number() const;

    // A copy without the entries whose names start with one of the prefixes.
    [[nodiscard]] VarMapping without_prefixes(std::span<const std::string> prefixes) const;

private:
    struct CellBlock {
        std::string name;
        std::vector<std::int64_t> sizes;
        std::vector<std::int64_t> strides;
        VariableNumber first;
        std::size_t cells;
        std::size_t position;  // of cell (0, ..., 0)
    };
    struct StoredRun {
        std::string prefix;
        std::int64_t formula;
        std::int64_t instance;
        std::int64_t first_index;
        std::size_t count;
        VariableNumber first;
        std::size_t position;
    };
    enum class SegmentKind : std::uint8_t { entries, cells, run };
    // A stretch of positions: explicit entries from `index` on, a block or a run.
    struct Segment {
        std::size_t first_position;
        std::size_t count;
        SegmentKind kind;
        std::size_t index;  // first explicit entry, the block or the run
    };
    struct RunKey {
        std::string prefix;
        std::int64_t formula;
        std::int64_t instance;
        bool operator==(const RunKey&) const = default;
    };
    struct RunKeyHash {
        std::size_t operator()(const RunKey& key) const {
            return std::hash<std::string>{}(key.prefix) ^ (std::hash<std::int64_t>{}(key.formula) * 31) ^
                   (std::hash<std::int64_t>{}(key.instance) * 1000003);
        }
    };
    // Numbers of generated entries (cells and runs), sorted by first number,
    // with the largest end so far, for the inverse.
    struct NumberInterval {
        VariableNumber first;
        std::size_t count;
        std::size_t position;
    };

    NamedNumbers entries_;
    NameIndex names_;
    std::vector<CellBlock> blocks_;
    std::unordered_map<std::string, std::size_t, StringHash, std::equal_to<>> blocks_by_name_;
    // What stands before "[" in explicit names: a block of that name could share them.
    std::unordered_set<std::string, StringHash, std::equal_to<>> explicit_prefixes_;
    std::vector<StoredRun> runs_;
    std::unordered_map<RunKey, std::vector<std::size_t>, RunKeyHash> runs_by_key_;
    std::unordered_set<std::string, StringHash, std::equal_to<>> run_prefixes_;
    std::vector<Segment> segments_;
    std::vector<std::size_t> explicit_segments_;  // the explicit ones among segments_, in order
    std::vector<NumberInterval> intervals_;
    std::vector<VariableNumber> interval_ends_;  // the largest first + count up to each interval
    std::unordered_map<std::size_t, VariableNumber> renumbered_cells_;  // position -> number given again
    std::size_t size_ = 0;
    // The first position of each number of explicit entries and renumbered
    // cells: by number when the numbers are dense, else sorted pairs.
    std::vector<std::uint64_t> dense_inverse_;  // position + 1, 0 for none
    std::vector<std::pair<VariableNumber, std::size_t>> sorted_inverse_;
    bool inverse_built_ = false;

    void make_room(std::size_t more, std::size_t letters);
    void append_explicit(std::string_view name, VariableNumber number);
    [[nodiscard]] std::optional<std::size_t> generated_position(std::string_view name) const;
    [[nodiscard]] std::optional<std::size_t> cell_position(std::string_view name) const;
    [[nodiscard]] std::optional<std::size_t> run_position(std::string_view name) const;
    [[nodiscard]] bool may_share_names_with_runs(std::string_view prefix) const;
    void add_run_entries_one_by_one(const std::string& prefix, std::int64_t formula, const AuxiliaryRun& run);
    [[nodiscard]] const Segment& segment_of(std::size_t position) const;
    [[nodiscard]] std::size_t explicit_position(std::size_t entry) const;
    [[nodiscard]] std::optional<std::size_t> first_position_of(VariableNumber number) const;
    [[nodiscard]] std::optional<std::size_t> inverse_position(VariableNumber number) const;
};

}  // namespace kelvo
