// What kivra-scan asks of its terminal: standard error counts as a terminal
// only when it is one; a request to stop waits while interruptions are held.

#include "platform/Console.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

// Puts `descriptor` in the place of standard error while it lives.
class StandardErrorOn {
public:
    explicit StandardErrorOn(int descriptor) : saved_(dup(STDERR_FILENO))
    {
        std::fflush(stderr);
        dup2(descriptor, STDERR_FILENO);
    }
    ~StandardErrorOn()
    {
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    StandardErrorOn(const StandardErrorOn&) = delete;
    StandardErrorOn& operator=(const StandardErrorOn&) = delete;

private:
    int saved_;
};

TEST(StandardErrorIsTerminal, IsTrueOnAPseudoTerminal)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    bool answer = false;
    {
        StandardErrorOn redirected(terminal);
        answer = kivra::platform::StandardErrorIsTerminal();
    }
    close(terminal);
    close(master);
    EXPECT_TRUE(answer);
}

TEST(StandardErrorIsTerminal, IsFalseOnAFileAndOnAPipe)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    bool onFile = true;
    {
        StandardErrorOn redirected(fileno(file));
        onFile = kivra::platform::StandardErrorIsTerminal();
    }
    std::fclose(file);
    EXPECT_FALSE(onFile);

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    bool onPipe = true;
    {
        StandardErrorOn redirected(pipeEnds[1]);
        onPipe = kivra::platform::StandardErrorIsTerminal();
    }
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_FALSE(onPipe);
}

// In a child process: a stop asked for while interruptions are held ends
// the process only once they are let go, by the signal that was sent.
TEST(InterruptionsHeld, AStopWaitsUntilTheyAreLetGo)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(ends[0]);
            {
                const kivra::platform::InterruptionsHeld held;
                raise(signal);
                // Still here: say so.
                if (write(ends[1], "held", 4) != 4) _exit(3);
            }
            _exit(0); // not reached: the signal ends the process first
        }
        close(ends[1]);
        char said[8] = {};
        const ssize_t got = read(ends[0], said, sizeof said);
        close(ends[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(std::string(said, got > 0 ? static_cast<std::size_t>(got) : 0), "held") << signal;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
    }
}

// Interruptions that were held already stay held once an inner hold ends.
TEST(InterruptionsHeld, AnInnerHoldLeavesAnOuterOneInPlace)
{
    const pid_t child = fork();
    if (child == 0) {
        const kivra::platform::InterruptionsHeld outer;
        {
            const kivra::platform::InterruptionsHeld inner;
        }
        raise(SIGTERM);
        _exit(7);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
}

} // namespace
