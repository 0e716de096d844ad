// Fixed-size block allocator for cell records. Millions of cells are made
// and dropped together; blocks carved from large chunks cost a pointer push
// or pop instead of a general allocation, and carry no allocator header.
#pragma once

#include <cstddef>

namespace vorlix::cell_pool {

inline constexpr size_t kBlockSize = 40;  // sizeof(Cell), checked where Cell is defined

void* allocate();
void deallocate(void* p) noexcept;

}  // namespace vorlix::cell_pool
