#include "app/Modality.h"

#include <QApplication>
#include <QWindow>

namespace kivra::app {

DisabledWindows::DisabledWindows(const QWidget* except) : active_(QApplication::activeWindow())
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window == except || !window->isVisible() || !window->isEnabled()) continue;
        if (window->property(OutsideModalState).toBool()) continue;
        QPointer<QWidget> focus = window->focusWidget();
        window->setEnabled(false);
        disabled_.push_back({window, focus});
    }
}

DisabledWindows::~DisabledWindows()
{
    for (const Disabled& entry : disabled_) {
        if (!entry.window) continue;
        entry.window->setEnabled(true);
        // As the window had it: the window's own focus, which it hands to the
        // control when it is active again.
        if (entry.focus && entry.focus->window() == entry.window && entry.focus->isEnabled() &&
            entry.focus->isVisibleTo(entry.window))
            entry.focus->setFocus(Qt::ActiveWindowFocusReason);
    }
    if (active_) active_->activateWindow();
}

void MakeModalToProgram(QWidget& window, const QWidget* program)
{
    if (program && program != &window && program->windowHandle()) {
        window.winId();
        window.windowHandle()->setTransientParent(program->windowHandle());
        window.setWindowModality(Qt::WindowModal);
    } else {
        window.setWindowModality(Qt::ApplicationModal);
    }
}

} // namespace kivra::app
