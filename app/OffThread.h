#pragma once
// Long work of a command (the tree walk, the classification and the save of
// the result files) done off the GUI thread, while the GUI thread keeps the
// windows painted and lets nothing else start.

#include <functional>

namespace kivra::app {

// Runs `work` on a thread of its own and returns when it has ended; an
// exception it raised is raised again here. Meanwhile this thread waits in a
// loop that dispatches painting, timers and the window system's bookkeeping
// (geometry, activation, focus) only. User input (keys, mouse, shortcuts,
// menus) is dropped: it does nothing. Everything else that could start a
// handler, a request to close a window or to quit among them, is held and
// delivered after `work`, as if it had come just then.
//
// `work` must not touch widgets. It may use the platform: nothing on this
// thread does while it runs (painting does not, and no handler of the
// program can start), so the platform is used by one thread at a time.
void RunOffGuiThread(const std::function<void()>& work);

} // namespace kivra::app
