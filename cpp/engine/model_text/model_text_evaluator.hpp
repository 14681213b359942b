#pragma once
// Evaluates a parsed model text for one instance: index names bound to
// integers, model variables to their cell numbers, connectives built in the
// instance's Boolean context; every comparison stands for a placeholder until
// the formula is complete (comparison_encoding.hpp).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/bxpr/boolean_expression.hpp"
#include "engine/instantiation/variable_cells.hpp"
#include "engine/model_text/model_text_parser.hpp"
#include "engine/model_text/model_text_values.hpp"
#include "engine/model_text/text_refusals.hpp"
#include "engine/pbct/pb_config.hpp"
#include "engine/support/stack_headroom.hpp"

namespace kelvo::model_text {

using ModelVariable = VariableCells;

// What the names of one text mean; fixed once per constraint.
class NameTable {
public:
    // Index names are looked up before variables, variables before builtins.
    NameTable(const SyntaxTree& tree, std::span<const std::string> index_names,
              const std::unordered_map<std::string, std::size_t>& variables_by_name);

    struct Meaning {
        enum class Kind : std::uint8_t { unknown, index, variable, builtin } kind = Kind::unknown;
        std::size_t slot = 0;  // index position, variable position or Builtin
    };
    [[nodiscard]] const Meaning& meaning(std::int64_t symbol) const { return meanings_[static_cast<std::size_t>(symbol)]; }

private:
    std::vector<Meaning> meanings_;
};

struct PendingComparison {
    bxpr::Ref placeholder;
    Term term;
    Comparator comparator;
    std::int64_t bound;
};

// The Boolean context of one instance and the meaning of its variables.
class InstanceContext {
public:
    bxpr::Context context;
    std::vector<PendingComparison> comparisons;

    bxpr::Ref new_comparison(Term term, Comparator comparator, std::int64_t bound);
    [[nodiscard]] bool is_comparison(bxpr::Ref variable) const { return placeholders_.contains(variable.node()); }
    // A placeholder that stays in the formula becomes a _pbct_aux variable.
    void adopt_as_auxiliary(bxpr::Ref placeholder) { pbct_indices_.emplace(placeholder.node(), pbct_count_++); }

    bxpr::Ref variable(std::int64_t number);
    bxpr::Ref new_pbct_auxiliary();
    // The model variable number of a variable node, if it is one.
    [[nodiscard]] std::optional<std::int64_t> model_number(bxpr::Ref variable) const;
    // The n of a _pbct_aux_n node, if it is one.
    [[nodiscard]] std::optional<std::int64_t> pbct_index(bxpr::Ref variable) const;
    [[nodiscard]] std::int64_t pbct_count() const { return pbct_count_; }

private:
    std::unordered_map<std::int64_t, bxpr::Ref> references_;
    std::unordered_map<std::uint32_t, std::int64_t> numbers_;      // node -> model number
    std::unordered_map<std::uint32_t, std::int64_t> pbct_indices_;  // node -> n
    std::unordered_map<std::uint32_t, std::size_t> placeholders_;   // node -> comparison
    std::int64_t pbct_count_ = 0;
};

// An occurrence whose index values depend on the indexes: x(i + 1,j).
struct TemplateOccurrence {
    std::size_t variable;
    std::vector<Affine> forms;
    std::uint32_t position;
};

// Occurrences of one variable with the same forms are one: the key they share.
std::string occurrence_key(const TemplateOccurrence& occurrence);

class Evaluator {
public:
    Evaluator(const SyntaxTree& tree, const NameTable& names, std::span<const ModelVariable> variables,
              const PBConfig& config);

    // The value of the whole text with the index names at these values;
    // formulas go into `instance` (which may be null for texts without any).
    Value evaluate(std::span<const std::int64_t> index_values, InstanceContext* instance);
    // The same with index values that may pass 64 bits (integers, plain or wide).
    Value evaluate_exactly(const std::vector<Value>& index_values, InstanceContext* instance);
    // The value for all instances at once, index names standing for
    // themselves; throws NeedsInstances when that cannot be. With `opaque`,
    // an index expression that is no affine form (i ** 2, ~i) stands for a
    // symbol of its own spelling: the template can then be looked at (does
    // it ever hold?), not instantiated.
    Value evaluate_template(std::size_t index_count, InstanceContext* instance, bool opaque = false);
    [[nodiscard]] const std::vector<TemplateOccurrence>& template_occurrences() const { return templates_; }
    // The cell number of a template occurrence for these index values.
    // Throws the errors below.
    [[nodiscard]] std::int64_t template_number(std::size_t occurrence, std::span<const std::int64_t> index_values) const;
    // A template occurrence's cell outside its variable, named with the text around it.
    [[nodiscard]] CellOutOfRange out_of_range_error(std::size_t occurrence, std::span<const std::int64_t> cell) const;
    // A template occurrence's index values past 64 bits, out of range as well.
    [[nodiscard]] CellOutOfRange index_overflow_error(std::size_t occurrence) const;
    Value evaluate_node(NodeId node);

    [[noreturn]] void fail_at(NodeId node, const std::string& problem) const;
    [[noreturn]] void fail_on_kind_at(NodeId node, const std::string& problem) const;

private:
    const SyntaxTree& tree_;
    const NameTable& names_;
    std::span<const ModelVariable> variables_;
    PBConfig config_;
    InstanceContext* instance_ = nullptr;
    std::span<const std::int64_t> index_values_;
    const std::vector<Value>* exact_index_values_ = nullptr;  // instead of index_values_, when set
    bool symbolic_ = false;
    bool opaque_ = false;
    std::size_t index_count_ = 0;
    std::unordered_map<std::string, std::size_t> opaque_slots_;  // spelling -> slot past the indexes
    std::vector<TemplateOccurrence> templates_;
    std::unordered_map<std::string, std::size_t> template_ids_;
    std::vector<std::optional<Value>> locals_;  // comprehension targets, by symbol
    const StackHeadroom& headroom_ = StackHeadroom::of_this_thread();

    Value evaluate_kind(NodeId node);
    Value name_value(NodeId node);
    Value sum(NodeId node);
    Value product(NodeId node);
    Value power(NodeId node);
    Value connective(NodeId node);
    Value negation(NodeId node);
    Value inversion(NodeId node);
    Value attribute(NodeId node);
    Value call(NodeId node);
    Value comprehension(NodeId node);
    std::vector<Value> arguments(NodeId call_node);
    void expand_comprehension(NodeId node, std::size_t clause, std::vector<Value>& out);

    Value call_builtin(NodeId node, Builtin builtin, std::vector<Value> args);
    Value call_method(NodeId node, Value object, const std::string& method, std::vector<Value> args);
    Value call_bx(NodeId node, const std::string& function, std::vector<Value> args);
    Value occurrence(NodeId node, const ModelVariable& variable, const std::vector<Value>& args);
    Value template_occurrence(NodeId node, std::size_t variable, const std::vector<Value>& args);
    Value range(NodeId node, const std::vector<Value>& args);
    Value wide_range(NodeId node, const std::vector<Value>& args) const;
    Value index_expression(NodeId node);
    [[nodiscard]] bool is_opaque(const Value& value) const;
    [[nodiscard]] std::string spelling_of(NodeId node) const;
    Value exact_product(NodeId node, const ExactInteger& left, const ExactInteger& right) const;
    Value exact_power(NodeId node, const ExactInteger& base, std::int64_t exponent) const;
    void refuse_index_values_outside_64_bits(NodeId node, const ModelVariable& variable,
                                             const std::vector<Value>& args) const;
    Value encode_comparison(NodeId node, const FormulaPbValue& formula);

    InstanceContext& instance(NodeId node);
    std::int64_t integer(NodeId node, const Value& value, std::string_view role) const;
    Term term(NodeId node, Value value, std::string_view role) const;
    bxpr::Ref formula(NodeId node, const Value& value, std::string_view role);
    std::vector<Value> items(NodeId node, Value value, std::string_view role) const;
};

// A short description of a value's kind for messages ("a number", "a formula").
std::string_view kind_of(const Value& value);

// Refuses a name that means nothing in the text, before any instance runs.
void check_names(const SyntaxTree& tree, const NameTable& names);

// Integer sequences, as the foralls ranges give them: each value plain or wide.
std::vector<Value> integers_of(const Evaluator& evaluator, NodeId node, const Value& value);

}  // namespace kelvo::model_text
