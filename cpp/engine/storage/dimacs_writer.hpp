#pragma once
// DIMACS text of a storage: "p cnf" for hard clauses only, otherwise the
// weighted format without a top line ("h" before hard clauses, the weight
// before soft ones). The header counts what is stored, so the file is always
// consistent with its clauses.

#include <string>
#include <string_view>

#include "engine/storage/wcnf_storage.hpp"

namespace kelvo {

std::string dimacs_text(const WcnfStorage& storage);
// Throws std::system_error when the file cannot be written.
void write_dimacs_file(const WcnfStorage& storage, const std::string& path);

}  // namespace kelvo
