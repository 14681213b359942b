#pragma once
// A model's hard and soft constraints on their way from text to numbered
// clauses in one crossing: the model's variables held here as it creates
// them, each text's shape scanned, and a shape's template compiled once for
// the instantiator, its cells and parameters bound per text; nothing
// converted for the host between the two.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/instantiation/variable_cells.hpp"
#include "engine/model_text/constraint_template.hpp"
#include "engine/model_text/shape_template.hpp"
#include "engine/model_text/text_shape.hpp"
#include "engine/pbct/pb_config.hpp"
#include "kernels/clause_assembly/clause_template.hpp"

namespace vx {

// A template compiled for the instantiator: a shape's, for every text of it,
// or one text's own.
struct CompiledReading {
    // A shape's: each cell's value its slot among a text's cells, the
    // occurrences' forms over the index names and then the parameters.
    kelvo::StructuredClauseTemplate structure;
    bool per_text = false;  // a shape's, bound per text
    std::size_t index_count = 0;  // the index names'
    std::size_t parameter_count = 0;  // a shape's
    kelvo::AuxiliarySlots slots;
    // Unless it never holds, or it is a large shape's. One that always holds
    // is compiled too: its instances check the cells the text calls.
    std::optional<ClauseTemplate> compiled;
    // A large shape is compiled for each text instead: its compiling costs
    // little beside its instances, and a model may have one for every length
    // of its lines, which held compiled would double its memory.
    [[nodiscard]] bool compiled_per_text() const { return per_text && !compiled && !structure.never_holds; }
    // As the model numbers them, kept for the host's evaluation of index
    // arithmetic past 64 bits.
    std::shared_ptr<const std::vector<kelvo::VariableCells>> variables;
};

// One constraint's reading: its compiled template and what its text binds.
struct ReadConstraint {
    std::shared_ptr<const CompiledReading> reading;
    // A large shape's template compiled for this text alone.
    std::shared_ptr<const ClauseTemplate> compiled_for_text;
    // A shape's cells as the model numbers them, and its parameters.
    std::vector<std::int64_t> cells;
    std::vector<std::int64_t> parameters;
    // A soft constraint's: one per clause; empty for a hard one.
    std::vector<std::uint64_t> weights;

    [[nodiscard]] bool never_holds() const { return reading->structure.never_holds; }
    [[nodiscard]] bool always_holds() const { return !never_holds() && reading->structure.ends.empty(); }
    [[nodiscard]] const kelvo::AuxiliarySlots& slots() const { return reading->slots; }
    [[nodiscard]] std::size_t index_count() const { return reading->index_count; }
    // Nullptr when it never holds.
    [[nodiscard]] const ClauseTemplate* compiled() const {
        if (compiled_for_text) return compiled_for_text.get();
        return reading->compiled ? &*reading->compiled : nullptr;
    }
    [[nodiscard]] kelvo::ShapeBindings bindings() const { return {cells, parameters}; }
    // The reading of this text as the engine gave it, cells as the model numbers them.
    [[nodiscard]] kelvo::StructuredClauseTemplate structure() const;
};

// One thread at a time: the bindings hold the host's lock while reading.
class ConstraintAssembler {
public:
    // The model's next variable, its cells numbered row-major from first.
    // Throws std::invalid_argument when its numbers do not fit 64 bits or a size is not positive.
    void add_variable(std::string name, std::vector<std::int64_t> sizes, std::int64_t first);

    // The text read with index_names symbolic, through its shape, or why the
    // engine leaves it to the host. Any other failure is thrown.
    [[nodiscard]] std::variant<ReadConstraint, kelvo::DeclinedReading> read_hard(
        std::string_view text, std::span<const std::string> index_names, const kelvo::PBConfig& config);

    // The soft constraint's term read with index_names symbolic, through its
    // shape, each entry c a unit clause of weight |weight * c| on the side
    // that makes the sum smaller (minimization) or larger; or why the host
    // reads it instead (an entry that weighs nothing or whose weight passes 63
    // bits is the host's to word). Any other failure is thrown.
    [[nodiscard]] std::variant<ReadConstraint, kelvo::DeclinedReading> read_soft(
        std::string_view text, std::span<const std::string> index_names, std::int64_t weight, bool minimization);

    [[nodiscard]] std::size_t shapes() const { return hard_shapes_.size() + soft_shapes_.size(); }

private:
    // A soft shape's template, compiled per orientation: whether an entry of
    // positive coefficient is negated.
    struct SoftShape {
        kelvo::ShapeTemplate shape;
        std::array<std::shared_ptr<const CompiledReading>, 2> oriented;
    };

    [[nodiscard]] std::variant<ReadConstraint, kelvo::DeclinedReading> hard_of(kelvo::ClauseTemplateReading reading,
                                                                              std::size_t index_count) const;
    [[nodiscard]] std::variant<ReadConstraint, kelvo::DeclinedReading> soft_of(kelvo::SoftTemplateReading reading,
                                                                              std::size_t index_count,
                                                                              std::int64_t weight,
                                                                              bool minimization) const;
    [[nodiscard]] std::shared_ptr<const CompiledReading> compiled(kelvo::StructuredClauseTemplate structure,
                                                                  std::size_t index_count) const;
    [[nodiscard]] std::shared_ptr<const CompiledReading> compiled_shape(kelvo::StructuredClauseTemplate structure,
                                                                        std::size_t index_count,
                                                                        std::size_t parameter_count) const;
    // The scanned text's reading from its shape's compiled template.
    [[nodiscard]] ReadConstraint bound(std::shared_ptr<const CompiledReading> reading,
                                       std::vector<std::uint64_t> weights) const;

    // The reader's numbers are positive: its cells count from the model's
    // numbers plus one (the model's placeholder is cell 0). The scanner holds them.
    kelvo::ShapeScanner scanner_;
    kelvo::TextShape shape_;  // the buffers of the text being read
    // As the model numbers them; a new variable makes a new table, so that a
    // reading keeps the variables it was read with.
    std::shared_ptr<const std::vector<kelvo::VariableCells>> model_ =
        std::make_shared<const std::vector<kelvo::VariableCells>>();
    // Null for a shape whose texts are read as they are.
    kelvo::NameMap<std::shared_ptr<const CompiledReading>> hard_shapes_;
    kelvo::NameMap<SoftShape> soft_shapes_;
};

}  // namespace vx
