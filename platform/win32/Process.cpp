#include "platform/Process.h"

namespace kivra::platform {

// Windows sends no signals to threads: a console's Ctrl+C reaches the
// process through its control handler (InterruptionsHeld), whichever threads
// it runs.
std::thread StartThread(std::function<void()> work) { return std::thread(std::move(work)); }

// Windows sets no limit on the size of a file a process writes: a write
// fails only for the volume's own reasons, which the program reports.
void FailWritesPastFileSizeLimit() {}

} // namespace kivra::platform
