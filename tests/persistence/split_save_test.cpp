// Split-save slicing: how the items of a project are shared out over the files.
#include "persistence/split_save.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::size_t> SliceSizes(std::size_t total, int files) {
    std::vector<std::size_t> sizes;
    std::size_t next = 0;
    for (const SplitSlice& slice : SplitSlices(total, files)) {
        EXPECT_EQ(slice.first, next);  // consecutive, nothing skipped
        next = slice.first + slice.count;
        sizes.push_back(slice.count);
    }
    return sizes;
}

}  // namespace

TEST(SplitSave, SliceSizes) {
    struct Case {
        std::size_t total;
        int files;
        std::vector<std::size_t> sizes;
    };
    const Case cases[] = {
        {5, 2, {3, 2}},     {10, 3, {4, 4, 2}},
        {10, 4, {4, 4, 2}},  // fewer files than asked
        {3, 5, {3}},         // q = 0, r = T: one file holds all
        {10, 1, {10}},      {10, 10, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {0, 2, {}},         {10, 0, {}},
        {10, -3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.total) + " in " + std::to_string(c.files));
        EXPECT_EQ(SliceSizes(c.total, c.files), c.sizes);
    }
}
