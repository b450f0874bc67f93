// Slicing the project's items for split save: every slice takes q + r items (q = T / count,
// r = T mod count), so the last file may hold fewer and fewer files than asked may be written.
#pragma once

#include <cstddef>
#include <vector>

struct SplitSlice {
    std::size_t first = 0;
    std::size_t count = 0;
};

// The slices of `total` items for `fileCount` files; none when the count is below 1.
std::vector<SplitSlice> SplitSlices(std::size_t total, int fileCount);
