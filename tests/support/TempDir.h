#pragma once
// A fresh directory under /tmp on the real file system for one test, removed
// with everything in it when the test is done, read-only subtrees and
// entries made by other users included.

#include <string>
#include <string_view>

namespace kivra::test {

class TempDir {
public:
    // Fails the calling test and throws when /tmp cannot take a directory.
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory's absolute path, without a final "/".
    const std::string& Path() const { return path_; }

    // Creates a directory or a file (with its missing parent directories)
    // below the temporary directory and returns its absolute path. Names are as the
    // Linux file system takes them (UTF-8 or any other bytes).
    std::string MakeDirectory(std::string_view relative) const;
    std::string MakeFile(std::string_view relative, std::string_view content = {}) const;

private:
    std::string path_;
};

} // namespace kivra::test
