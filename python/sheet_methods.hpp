// The search methods of Sheet live in their own source.
#pragma once

#include "binding.hpp"

namespace vorlix::py {

// Null-terminated table of Sheet's search methods.
PyMethodDef* sheet_search_methods();

}  // namespace vorlix::py
