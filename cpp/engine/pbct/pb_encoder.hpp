#pragma once
// The pseudo-Boolean encoder: one comparison into clauses, every auxiliary
// drawn from the caller's numberer. All or nothing: a constraint that needs
// more clauses than the configuration allows raises ClauseLimitExceeded and
// leaves both the database and the numberer as they were.

#include "engine/pbct/aux_var_manager.hpp"
#include "engine/pbct/pb_config.hpp"
#include "engine/pbct/pb_constraint.hpp"
#include "engine/pbct/vector_clause_database.hpp"

namespace kelvo {

class PbEncoder {
public:
    explicit PbEncoder(PBConfig config = {});

    // Input variables must lie below the numberer's next number (the caller
    // drew them from it), so that no auxiliary can coincide with one.
    void encode(const PBConstraint& constraint, VectorClauseDatabase& database, AuxVarManager& variables) const;

private:
    PBConfig config_;
};

}  // namespace kelvo
