#pragma once
// What every modal wait of the program does around itself: the program's
// other top-level windows are disabled while it lasts, and afterwards the
// ones that still exist are enabled again and the window that was active
// before is activated again.

#include <QPointer>
#include <QWidget>

#include <vector>

namespace kivra::app {

class DisabledWindows {
public:
    // Disables every visible, enabled top-level window but `except`.
    explicit DisabledWindows(const QWidget* except = nullptr);
    ~DisabledWindows();
    DisabledWindows(const DisabledWindows&) = delete;
    DisabledWindows& operator=(const DisabledWindows&) = delete;

private:
    QPointer<QWidget> active_;
    std::vector<QPointer<QWidget>> disabled_;
};

} // namespace kivra::app
