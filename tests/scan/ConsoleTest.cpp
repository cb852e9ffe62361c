// The terminal question kivra-scan asks before it draws its progress line:
// standard error counts as a terminal only when it is one.

#include "platform/Console.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

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

} // namespace
