#include "bench/scan/TreeGenerator.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace kivra::bench {

namespace {

namespace fs = std::filesystem;

// SplitMix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_;
};

const char* const Words[] = {"report", "Summary", "draft", "Final", "notes", "budget", "Photo", "minutes"};
const char* const Japanese[] = {"日本語", "資料", "表計算", "報告書", "写真", "議事録"};
const char* const Extensions[] = {"TXT", "DOC", "CSV", "JPG"};

// A name unique within its directory thanks to `serial`.
std::string Name(Random& random, std::size_t serial, bool directory)
{
    const std::uint64_t r = random.Next();
    const unsigned kind = static_cast<unsigned>(r % 10);
    const char* ext = directory ? "" : Extensions[(r >> 8) % 4];
    const std::string dot = directory ? "" : ".";
    char buffer[128];
    switch (kind) {
    case 0:
    case 1:
    case 2: // 8.3, upper case
        std::snprintf(buffer, sizeof buffer, "F%07zX%s%s", serial, dot.c_str(), ext);
        return buffer;
    case 3:
    case 4: // long, mixed case, blanks
        std::snprintf(buffer, sizeof buffer, "%s %s %zu%s%s", Words[(r >> 12) % 8], Words[(r >> 16) % 8], serial,
                      dot.c_str(), directory ? "" : "docx");
        return buffer;
    case 5: // 8.3, lower case
        std::snprintf(buffer, sizeof buffer, "d%07zx%s%s", serial, dot.c_str(), directory ? "" : "txt");
        return buffer;
    case 6: // Japanese
        std::snprintf(buffer, sizeof buffer, "%s_%zu%s%s", Japanese[(r >> 20) % 6], serial, dot.c_str(),
                      directory ? "" : "txt");
        return buffer;
    default: // the same first six characters
        std::snprintf(buffer, sizeof buffer, "SHARED_PREFIX_%zu%s%s", serial, dot.c_str(), ext);
        return buffer;
    }
}

void Touch(const fs::path& path)
{
    std::ofstream file(path);
    if (!file) throw std::runtime_error("cannot create " + path.string());
}

} // namespace

std::size_t GenerateTree(const fs::path& root, const TreeShape& shape)
{
    if (fs::exists(root)) throw std::runtime_error(root.string() + " exists already");
    fs::create_directories(root);
    Random random(shape.seed);

    // Directories breadth first up to the depth, at most a fifth of the
    // entries, then the files spread over all of them in turn.
    std::vector<fs::path> directories{root};
    std::size_t made = 0;
    const std::size_t directoryBudget = shape.entries / 5;
    for (std::size_t next = 0, level = 0; next < directories.size() && made < directoryBudget; ++level) {
        const std::size_t levelEnd = directories.size();
        if (level >= shape.depth) break;
        for (; next < levelEnd && made < directoryBudget; ++next) {
            for (std::size_t i = 0; i < shape.fanout && made < directoryBudget; ++i) {
                fs::path dir = directories[next] / Name(random, i, true);
                fs::create_directory(dir);
                directories.push_back(std::move(dir));
                ++made;
            }
        }
    }
    std::vector<std::size_t> serials(directories.size(), shape.fanout);
    for (std::size_t i = 0; made < shape.entries; ++i, ++made) {
        const std::size_t d = i % directories.size();
        Touch(directories[d] / Name(random, serials[d]++, false));
    }
    return made;
}

void GenerateFlatDirectory(const fs::path& root, std::size_t count, bool sharedPrefix)
{
    if (fs::exists(root)) throw std::runtime_error(root.string() + " exists already");
    fs::create_directories(root);
    char buffer[64];
    for (std::size_t i = 0; i < count; ++i) {
        if (sharedPrefix) {
            std::snprintf(buffer, sizeof buffer, "Common Prefix %06zu.txt", i);
        } else {
            // Six characters that differ from every other file's: the
            // serial in base 26, then the same long tail.
            std::string prefix;
            for (std::size_t n = i, k = 0; k < 6; ++k, n /= 26) prefix.push_back(static_cast<char>('A' + n % 26));
            std::snprintf(buffer, sizeof buffer, "%s Prefix %06zu.txt", prefix.c_str(), i);
        }
        Touch(root / buffer);
    }
}

} // namespace kivra::bench
