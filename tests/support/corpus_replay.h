// Replays a fuzz corpus through its fuzz target's own checks (each aborts or traps on a
// broken round trip), so that every input that once found new paths stays covered by the
// ordinary test run.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Feeds every file of `folder` to `target`; returns how many there were.
inline int ReplayCorpus(const std::string& folder, int (*target)(const std::uint8_t*, std::size_t)) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++files;
    }
    return files;
}
