#pragma once
// Constraints that differ only in the cells they name (the diagonals of a
// board, say, or the edges of a graph over its colours) have one shape. A
// text's shape is the text itself with every constant cell call x(3,4)
// replaced by its variable and the order of its cell's first appearance, and
// every constant argument of a call that also takes an index, x(3,c), by a
// parameter: the order of its value's first appearance. The engine's reading
// depends on the cells only through that pattern, and on the parameters
// affinely, so the texts of one shape share one reading
// (shape_template.hpp).
//
// Shapes are scanned by the thousand, most of them met before: the scanner
// keeps what depends only on the variables, the index names and the
// settings, and a text's shape reuses the buffers of the one before.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/model_text/model_text_evaluator.hpp"
#include "engine/pbct/pb_config.hpp"

namespace kelvo {

// The index names a shape's parameters are read as, parameter_prefix + their order.
inline constexpr std::string_view parameter_prefix = "_vx_parameter_";
std::string parameter_name(std::size_t parameter);

struct TextShape {
    // The shape under the scanner's variables, index names and settings:
    // equal keys of one scanner, one reading.
    std::string key;
    std::vector<std::int64_t> cells;  // distinct, in order of first appearance, as the variables number them
    // The distinct constant arguments of calls that also take an index
    // (x(3,c)), in order of first appearance.
    std::vector<std::int64_t> parameters;
    std::string parameterized;  // the text with those arguments named; empty without parameters
};

// One constant argument of a call that also takes an index: where it stands in the text and its value.
struct ConstantArgument {
    std::size_t position;
    std::size_t length;
    std::int64_t value;
};

// The variables' positions by name, open-addressed over a power of two:
// every name of every text is looked up, and most are no variable.
class VariablePositions {
public:
    // The first position given a name stays its.
    void add(std::string_view name, std::size_t position);
    void clear();
    [[nodiscard]] std::optional<std::size_t> find(std::string_view name) const;
    [[nodiscard]] bool contains(std::string_view name) const { return find(name).has_value(); }

private:
    struct Slot {
        std::string name;
        std::size_t position = 0;
        bool used = false;
    };
    [[nodiscard]] static std::size_t hash(std::string_view name);
    void grow();

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

// Looks names up by view: a text's names are never copied to be looked up.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};
template <typename Value>
using NameMap = std::unordered_map<std::string, Value, NameHash, std::equal_to<>>;

class ShapeScanner {
public:
    // The variables the texts name from now on; what depends on them is
    // worked out again only if they differ from the last ones.
    void use_variables(std::span<const model_text::ModelVariable> variables);
    void add_variable(model_text::ModelVariable variable);
    [[nodiscard]] std::span<const model_text::ModelVariable> variables() const { return variables_; }

    // The text's shape into shape, its buffers reused, in one pass of the
    // tokenizer; false when a variable is named other than by a constant cell
    // call or a call of indexes and constants, an index shares a variable's
    // name or the parameters' prefix, or the text cannot be tokenized: such a
    // text is read every time.
    [[nodiscard]] bool scan(std::string_view text, std::span<const std::string> index_names, const PBConfig& config,
                            TextShape& shape);

private:
    // The distinct cells of a text in order of first appearance, each with its
    // order, in an open-addressed table kept between texts: a text may name a
    // thousand cells, and a node per cell would cost more than reading them.
    class FirstAppearances {
    public:
        // The cell's order among cells, appended there when it is new.
        std::size_t order_of(std::int64_t number, std::vector<std::int64_t>& cells);
        // Forgets the cells of the text before, touching only their slots.
        void clear();

    private:
        [[nodiscard]] std::size_t slot_of(std::int64_t number) const;
        void grow(std::span<const std::int64_t> cells);

        std::vector<std::uint32_t> slots_;
        std::vector<std::size_t> used_;
    };

    // The key's prefix and whether the index names can be read beside the
    // variables, worked out again when the index names or the settings change.
    void use_context(std::span<const std::string> index_names, const PBConfig& config);

    std::vector<model_text::ModelVariable> variables_;
    VariablePositions variables_by_name_;
    bool context_known_ = false;
    std::vector<std::string> index_names_;
    PBConfig config_;
    bool index_names_readable_ = false;
    // What a reading depends on besides its text, numbered as met: a key
    // starts with its context's number. The variables are part of it: when
    // they change, every context is new (a host may alternate hard and soft
    // texts, or index names, under one set of variables, which need not be
    // spelled again).
    void forget_contexts();
    NameMap<std::size_t> contexts_;
    std::size_t next_context_ = 0;
    std::string context_prefix_;
    FirstAppearances appearances_;
    std::vector<ConstantArgument> constants_;  // of the call being scanned
};

}  // namespace kelvo
