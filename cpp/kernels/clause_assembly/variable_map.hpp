#pragma once
// Mapping keys of a variable's cells, "name[v1,v2,...]", in row-major order;
// spelled as the engine's mapping spells them.

#include "engine/storage/cell_keys.hpp"

namespace vx {

using kelvo::cell_count;
using kelvo::RowMajorKeys;

}  // namespace vx
