#pragma once
// Paths a step of the scan could not handle (directories the walk could not
// search, paths whose short form could not be had): how many, and the first
// of them with the platform's error codes, so that a run can say it did not
// read the tree whole and name where.

#include "platform/CodePage.h"

#include <cstddef>
#include <vector>

namespace kivra::scan {

class PathFailures {
public:
    static constexpr std::size_t KeptPaths = 1000;

    struct Failure {
        platform::Text path;
        platform::DWORD error = 0;
    };

    void Add(const platform::Text& path, platform::DWORD error)
    {
        ++count_;
        if (first_.size() < KeptPaths) first_.push_back(Failure{path, error});
    }
    void Clear()
    {
        count_ = 0;
        first_.clear();
    }
    std::size_t Count() const { return count_; }
    // At most KeptPaths, in the order they were met.
    const std::vector<Failure>& First() const { return first_; }

private:
    std::size_t count_ = 0;
    std::vector<Failure> first_;
};

} // namespace kivra::scan
