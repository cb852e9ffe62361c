#pragma once
// The guard around event handlers: an exception that leaves a handler goes
// to the report that the application frame installs, and no further (it
// must never unwind through Qt's event delivery).

#include <exception>
#include <functional>
#include <utility>

namespace kivra::app {

using HandlerFailureReport = std::function<void(const std::exception_ptr& raised)>;

// Installs the report of handler failures; returns the one it replaces.
HandlerFailureReport SetHandlerFailureReport(HandlerFailureReport report);
// Hands the exception to the installed report; without one it is dropped.
void ReportHandlerFailure(const std::exception_ptr& raised) noexcept;

// Runs an event handler inside the guard: any exception it raises is
// reported and goes no further.
template <class F>
void Guarded(F&& handler) noexcept
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        ReportHandlerFailure(std::current_exception());
    }
}

} // namespace kivra::app
