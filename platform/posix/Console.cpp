#include "platform/Console.h"

#include <unistd.h>

namespace kivra::platform {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

} // namespace kivra::platform
