#include "app/Guard.h"

namespace kivra::app {

namespace {

HandlerFailureReport& InstalledReport()
{
    static HandlerFailureReport report;
    return report;
}

} // namespace

HandlerFailureReport SetHandlerFailureReport(HandlerFailureReport report)
{
    return std::exchange(InstalledReport(), std::move(report));
}

void ReportHandlerFailure(const std::exception_ptr& raised) noexcept
{
    if (const HandlerFailureReport& report = InstalledReport()) report(raised);
}

} // namespace kivra::app
