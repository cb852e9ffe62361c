#pragma once
// The one thing the command-line program asks of its terminal.

namespace kivra::platform {

// True when the process's standard error is a terminal: a progress line
// redrawn in place there is seen by a person, while in a file or a pipe it
// would only be clutter.
bool StandardErrorIsTerminal();

} // namespace kivra::platform
