#pragma once
// A check run in a child process of its own: for what a test must not do
// to its own process (limit its descriptors, become another user, mount a
// file system in a namespace of its own).

#include <functional>

namespace kivra::test {

// Runs `check` in a child process, as the user "nobody" when `asNobody`
// (and the tests run as root); `status` receives the child's wait status,
// whose exit status is what `check` returned (tests give each failing step
// a number of its own). False when the child could not become nobody.
bool InChild(const std::function<int()>& check, int& status, bool asNobody = false);

} // namespace kivra::test
