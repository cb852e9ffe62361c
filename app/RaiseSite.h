#pragma once
// Where an exception was raised: the code address of the `throw` that raised
// it, for the last-chance report.

#include <exception>

namespace kivra::app {

// The address just after the call that raised `raised`, when it was the last
// exception raised on this thread by the program's own code; null otherwise
// (an exception raised again elsewhere, or inside the run-time library).
const void* RaiseSiteOf(const std::exception_ptr& raised);

} // namespace kivra::app
