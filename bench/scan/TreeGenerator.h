#pragma once
// Deterministic directory trees for the scan benchmarks: the same
// parameters give the same names in the same places on every run.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kivra::bench {

struct TreeShape {
    std::size_t entries = 100000; // files and directories below the root
    std::size_t depth = 6;        // deepest level of directories
    std::size_t fanout = 8;       // subdirectories per directory
    std::uint64_t seed = 1;
};

// Kinds of names in the mix, one in ten each unless noted: 8.3 names in
// upper case (three in ten), long names (two), lower-case 8.3 names,
// Japanese names, and names sharing their first six characters (three).
// Creates the tree below `root` (which must not exist yet); files are empty.
// Returns the number of entries made.
std::size_t GenerateTree(const std::filesystem::path& root, const TreeShape& shape);

// One directory of `count` long-named files: all sharing their first six
// characters, or each with a prefix of its own.
void GenerateFlatDirectory(const std::filesystem::path& root, std::size_t count, bool sharedPrefix);

} // namespace kivra::bench
