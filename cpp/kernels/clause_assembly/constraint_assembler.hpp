#pragma once
// A model's hard constraints on their way from text to numbered clauses in
// one crossing: the model's variables held here as it creates them, each
// text read through the engine's shape cache and compiled for the
// instantiator, nothing converted for the host between the two.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/instantiation/variable_cells.hpp"
#include "engine/model_text/clause_template_cache.hpp"
#include "engine/model_text/constraint_template.hpp"
#include "engine/pbct/pb_config.hpp"
#include "kernels/clause_assembly/clause_template.hpp"

namespace vx {

// One constraint's reading: its clause template compiled, unless it never holds.
struct ReadConstraint {
    std::optional<ClauseTemplate> compiled;
    kelvo::AuxiliarySlots slots;
    bool never_holds = false;
    // The reading as the engine gave it and the variables it names, kept for
    // the host's evaluation of index arithmetic past 64 bits.
    kelvo::StructuredClauseTemplate structure;
    std::size_t index_count = 0;
    std::shared_ptr<const std::vector<kelvo::VariableCells>> variables;
    // A soft constraint's: one per clause; empty for a hard one.
    std::vector<std::uint64_t> weights;

    [[nodiscard]] bool always_holds() const { return !never_holds && structure.ends.empty(); }
};

class ConstraintAssembler {
public:
    // The model's next variable, its cells numbered row-major from first.
    // Throws std::invalid_argument when its numbers do not fit 64 bits or a size is not positive.
    void add_variable(std::string name, std::vector<std::int64_t> sizes, std::int64_t first);

    // The text read with index_names symbolic, through the cache, or why the
    // engine leaves it to the host. Any other failure is thrown.
    [[nodiscard]] std::variant<ReadConstraint, kelvo::DeclinedReading> read_hard(
        std::string_view text, std::span<const std::string> index_names, const kelvo::PBConfig& config);

    // The soft constraint's term read with index_names symbolic, each entry c
    // a unit clause of weight |weight * c| on the side that makes the sum
    // smaller (minimization) or larger; or why the host reads it instead (an
    // entry that weighs nothing or whose weight passes 63 bits is the host's
    // to word). Any other failure is thrown.
    [[nodiscard]] std::variant<ReadConstraint, kelvo::DeclinedReading> read_soft(
        std::string_view text, std::span<const std::string> index_names, std::int64_t weight, bool minimization);

    [[nodiscard]] std::size_t shapes() const { return cache_.size(); }

private:
    [[nodiscard]] ReadConstraint compiled(kelvo::StructuredClauseTemplate structure, std::size_t index_count) const;

    // The reader's numbers are positive: its cells count from the model's
    // numbers plus one (the model's placeholder is cell 0).
    std::vector<kelvo::VariableCells> reading_;
    // As the model numbers them; a new variable makes a new table, so that a
    // reading keeps the variables it was read with.
    std::shared_ptr<const std::vector<kelvo::VariableCells>> model_ =
        std::make_shared<const std::vector<kelvo::VariableCells>>();
    kelvo::ClauseTemplateCache cache_;
};

}  // namespace vx
