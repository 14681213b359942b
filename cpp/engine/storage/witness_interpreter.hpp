#pragma once
// Reads a solver's model (signed variable numbers) back as truth values of
// the named model variables.

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/storage/var_mapping.hpp"

namespace kelvo {

class WitnessInterpreter {
public:
    void set_var_mapping(std::shared_ptr<VarMapping> mapping) {
        mapping_ = std::move(mapping);
        tables_built_ = false;
    }
    [[nodiscard]] const std::shared_ptr<VarMapping>& var_mapping() const { return mapping_; }
    void set_auxiliary_vars(std::vector<std::string> prefixes) {
        auxiliary_prefixes_ = std::move(prefixes);
        tables_built_ = false;
    }
    [[nodiscard]] const std::vector<std::string>& auxiliary_vars() const { return auxiliary_prefixes_; }

    // With leave_out_auxiliaries, names that start with an auxiliary prefix
    // get no entry. Returns false (and builds nothing) for an empty mapping.
    bool build_mapping_tables(bool leave_out_auxiliaries);
    [[nodiscard]] bool tables_built() const { return tables_built_; }

    // One (name, value) per table entry, in the order of the mapping; a number
    // the model lacks is false. Throws std::logic_error before the tables exist.
    [[nodiscard]] std::vector<std::pair<std::string, bool>> interpret(std::span<const std::int64_t> model) const;

private:
    std::shared_ptr<VarMapping> mapping_;
    std::vector<std::string> auxiliary_prefixes_;
    VarMapping table_;
    VariableNumber largest_number_ = 0;
    bool tables_built_ = false;

};

}  // namespace kelvo
