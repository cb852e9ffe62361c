#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace kivra::test {

namespace fs = std::filesystem;

namespace {

// Gives the owner full access to every directory of the tree, top down, so
// that the removal can enter and empty each of them; a test may have left
// some without write or search permission.
void OpenUp(const fs::path& directory)
{
    std::error_code ignored;
    fs::permissions(directory, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (fs::directory_iterator it(directory, ignored), end; it != end; it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) OpenUp(it->path());
    }
}

} // namespace

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "kivra-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        ADD_FAILURE() << "cannot create a temporary directory from " << pattern;
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir()
{
    OpenUp(path_);
    std::error_code error;
    fs::remove_all(path_, error);
    if (error) ADD_FAILURE() << "cannot remove " << path_ << ": " << error.message();
}

std::string TempDir::MakeDirectory(std::string_view relative) const
{
    const fs::path path = fs::path(path_) / relative;
    std::error_code error;
    fs::create_directories(path, error);
    if (error) ADD_FAILURE() << "cannot create directory " << path << ": " << error.message();
    return path.string();
}

std::string TempDir::MakeFile(std::string_view relative, std::string_view content) const
{
    const fs::path path = fs::path(path_) / relative;
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream file(path, std::ios::binary);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!file) ADD_FAILURE() << "cannot write file " << path;
    return path.string();
}

} // namespace kivra::test
