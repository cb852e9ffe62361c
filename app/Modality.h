#pragma once
// What every modal wait of the program does around itself: the program's
// other top-level windows are disabled while it lasts, and afterwards the
// ones that still exist are enabled again, each with the control that had
// its keyboard focus, and the window that was active before is activated
// again.

#include <QPointer>
#include <QWidget>

#include <vector>

namespace kivra::app {

// A window with this property set to true belongs to no modal wait of the
// program (the help viewer, which stands for the platform's help engine):
// it is neither disabled nor blocked while a dialog is up.
inline constexpr const char* OutsideModalState = "OutsideModalState";

// Makes `window` modal to the program's main window `program` only, so that
// windows outside the program's modal state stay usable; with no main window
// (or when `window` is that window), modal to the whole application.
void MakeModalToProgram(QWidget& window, const QWidget* program);

class DisabledWindows {
public:
    // Disables every visible, enabled top-level window but `except` and those
    // outside the modal state.
    explicit DisabledWindows(const QWidget* except = nullptr);
    ~DisabledWindows();
    DisabledWindows(const DisabledWindows&) = delete;
    DisabledWindows& operator=(const DisabledWindows&) = delete;

private:
    struct Disabled {
        QPointer<QWidget> window;
        // Disabling a window takes the focus from its controls; this is the
        // one to give it back to.
        QPointer<QWidget> focus;
    };
    QPointer<QWidget> active_;
    std::vector<Disabled> disabled_;
};

} // namespace kivra::app
