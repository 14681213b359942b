#pragma once
// The all-native road of a pseudo-Boolean model: variables by name and
// sizes, constraints and the target as model text, read and encoded here.
//
// Each constraint is parsed once and read once with its index names left
// symbolic: its connectives are built in a Boolean context, its comparisons
// encoded by the pseudo-Boolean encoder and the whole put into clause form by
// the Tseytin conversion, and the engine's instantiator numbers the clauses for every
// combination of index values. A text whose shape depends on the index
// values (a range, a bound or a coefficient computed from an index) is read
// again for every instance with its values substituted instead. Model variables take the numbers 1.. in creation order; the
// auxiliaries of every instance get a block after all model variables and the
// blocks before them (the _pbct_aux ones first), numbered when the CNF is
// generated, so variables may still be created after constraints. A
// constraint that fails leaves nothing behind.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/instantiation/template_instantiator.hpp"
#include "engine/support/clause_buffer.hpp"
#include "engine/model_text/constraint_template.hpp"
#include "engine/model_text/encoding_metrics.hpp"
#include "engine/model_text/foralls_text.hpp"
#include "engine/model_text/model_text_evaluator.hpp"
#include "engine/pbct/pb_config.hpp"
#include "engine/storage/var_mapping.hpp"
#include "engine/storage/wcnf_storage.hpp"

namespace kelvo {

class FormulaEncoder {
public:
    explicit FormulaEncoder(std::string model_name);

    void create_variables(const std::string& name, std::span<const std::int64_t> sizes);
    void add_constraint(std::string_view text, std::string_view foralls);
    void add_soft_constraint(std::string_view text, std::string_view foralls, std::int64_t weight, bool minimization);
    // The target stays the model's objective unless a build bounds it.
    void add_target(std::string_view text);

    struct TargetBound {
        std::int64_t border;
        bool minimization;  // the target at most border when true, at least border otherwise
    };
    // Without a bound the target stays the objective; with one, the bounded
    // target is written after every constraint (std::invalid_argument when
    // it can never hold). Each call writes the storage afresh.
    void generate_cnf(std::optional<TargetBound> bound = std::nullopt);
    [[nodiscard]] const std::shared_ptr<WcnfStorage>& cnf_storage() const { return storage_; }
    // Model variables (x[1,2]) and auxiliaries (_pbct_aux[f,k,n]); null when empty.
    [[nodiscard]] std::shared_ptr<VarMapping> var_mapping() const;
    // The target's terms (model variable number, coefficient), in text order.
    [[nodiscard]] const std::optional<std::vector<model_text::WeightedVariable>>& objective() const { return objective_; }

    void reset();
    void set_witness(std::vector<std::int64_t> witness) { witness_ = std::move(witness); }
    void set_another_witness(std::vector<std::int64_t> witness) { another_witness_ = std::move(witness); }
    // The other witness satisfies every hard clause and agrees with the first
    // on every model variable.
    bool check_another_witness();

    [[nodiscard]] EncodingMetrics metrics() const;
    bool save_metrics_json(const std::string& path) const;
    bool save_metrics_csv(const std::string& path) const;

    [[nodiscard]] const std::string& model_name() const { return model_name_; }
    [[nodiscard]] std::int64_t model_variable_count() const { return next_number_ - 1; }

private:
    struct InstanceBlock {
        std::int64_t start;  // first auxiliary of the instance, from the constraint's block start
        std::int64_t pbct;
        std::int64_t bxpr;
    };
    struct Encoding {
        ConstraintMetrics metrics;
        std::int64_t model_variables = 0;  // literals above this are auxiliaries, from model_variables + 1
        ClauseBuffer hard;
        ClauseBuffer soft;
        std::vector<Weight> weights;
        std::vector<InstanceBlock> blocks;
        std::int64_t auxiliaries = 0;
    };

    std::string model_name_;
    PBConfig config_;
    std::vector<model_text::ModelVariable> variables_;
    std::unordered_map<std::string, std::size_t> variables_by_name_;
    std::int64_t next_number_ = 1;
    std::vector<Encoding> encodings_;
    Weight soft_weight_limit_ = 1;  // 1 plus every soft weight of encodings_, at most 2^63 - 1
    std::optional<std::vector<model_text::WeightedVariable>> objective_;
    std::optional<TargetBound> bound_;       // of the last generate_cnf
    std::optional<Encoding> bounded_target_;  // written after encodings_
    std::shared_ptr<WcnfStorage> storage_;
    double generation_seconds_ = 0;
    std::optional<std::vector<std::int64_t>> witness_;
    std::optional<std::vector<std::int64_t>> another_witness_;

    Encoding encode(std::string_view text, std::string_view foralls, const std::string& kind,
                    std::optional<std::pair<std::int64_t, bool>> soft);
    // Reads the text once with the index names left symbolic and instantiates
    // the clauses for every combination; throws model_text::NeedsInstances
    // when the text's shape depends on the index values.
    // The clauses of every combination of values, each instance's
    // auxiliaries in the next block. Throws InstantiationFailure.
    void append_instances(const StructuredClauseTemplate& structure, std::span<const std::vector<std::int64_t>> values,
                          Encoding& encoding) const;
    bool encode_for_all_instances(model_text::Evaluator& evaluator, const std::vector<model_text::IndexRange>& ranges,
                                  std::vector<std::int64_t>& values, bool& in_instance,
                                  std::optional<std::pair<std::int64_t, bool>> soft, Encoding& encoding);
    Encoding encode_bounded_target(TargetBound bound);
    // The encodings as written: every constraint, then the bounded target.
    [[nodiscard]] std::vector<const Encoding*> written_encodings() const;
    [[nodiscard]] std::vector<std::int64_t> block_starts(std::span<const Encoding* const> written) const;
};

}  // namespace kelvo
