#include "platform/Process.h"

#include "platform/Console.h"

#include <signal.h>

namespace kivra::platform {

std::thread StartThread(std::function<void()> work)
{
    // A new thread starts with the signal mask of the thread starting it.
    const InterruptionsHeld held;
    return std::thread(std::move(work));
}

void FailWritesPastFileSizeLimit() { signal(SIGXFSZ, SIG_IGN); }

} // namespace kivra::platform
