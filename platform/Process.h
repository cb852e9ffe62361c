#pragma once
// What the programs ask of their own process: threads that leave a request
// to stop to the main thread, and writes that fail at the file-size limit
// instead of ending the program.

#include <functional>
#include <thread>

namespace kivra::platform {

// Starts a thread that never takes the signals with which a user or the
// system asks the program to stop (interrupt, quit, hang-up, terminate):
// they go to the main thread, so that holding them there (InterruptionsHeld)
// holds them for the whole process. Every thread the program starts is
// started here.
std::thread StartThread(std::function<void()> work);

// A write past the process's file-size limit ("ulimit -f") fails with an
// error the program reports, where it would otherwise end the program
// without a word and leave the file cut short. Called once, at the start of
// main().
void FailWritesPastFileSizeLimit();

} // namespace kivra::platform
