#pragma once
// The clauses the pseudo-Boolean encoder wrote, in writing order, kept flat.

#include <span>

#include "engine/support/clause_buffer.hpp"
#include "engine/pbct/pb_config.hpp"

namespace kelvo {

class VectorClauseDatabase {
public:
    explicit VectorClauseDatabase(PBConfig config = {}) : config_(config) {}

    void add_clauses(const ClauseBuffer& clauses) { clauses_.append_all(clauses); }
    void add_clause(std::span<const Literal> clause) { clauses_.append(clause); }
    void clear() { clauses_.clear(); }

    [[nodiscard]] const ClauseBuffer& clauses() const { return clauses_; }
    [[nodiscard]] const PBConfig& config() const { return config_; }

private:
    PBConfig config_;
    ClauseBuffer clauses_;
};

}  // namespace kelvo
