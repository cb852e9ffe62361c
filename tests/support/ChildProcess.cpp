#include "tests/support/ChildProcess.h"

#include <sys/wait.h>
#include <unistd.h>

namespace kivra::test {

namespace {
// The child's exit status when it could not become nobody.
constexpr int NotNobody = 99;
} // namespace

bool InChild(const std::function<int()>& check, int& status, bool asNobody)
{
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        if (asNobody && getuid() == 0 && (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0))
            _exit(NotNobody);
        if (asNobody && getuid() == 0) _exit(NotNobody);
        _exit(check());
    }
    waitpid(child, &status, 0);
    return !(WIFEXITED(status) && WEXITSTATUS(status) == NotNobody);
}

} // namespace kivra::test
