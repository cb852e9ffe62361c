#pragma once
// What every modal wait of the program does around itself: the program's
// other top-level windows are disabled while it lasts, and afterwards the
// ones that still exist are enabled again and the window that was active
// before is activated again.

#include "platform/CodePage.h"

#include <QPointer>
#include <QWidget>

#include <initializer_list>
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

// Formats a text of the program: each "%s" and "%p" of `format`, in order,
// takes the next of `arguments`; "%d" too. Code page 932 never uses the byte
// "%" inside a double-byte character, so a plain scan finds them.
platform::Text FormatText(const platform::Text& format, std::initializer_list<platform::Text> arguments);

} // namespace kivra::app
