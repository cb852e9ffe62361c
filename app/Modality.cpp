#include "app/Modality.h"

#include <QApplication>

namespace kivra::app {

DisabledWindows::DisabledWindows(const QWidget* except) : active_(QApplication::activeWindow())
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window == except || !window->isVisible() || !window->isEnabled()) continue;
        window->setEnabled(false);
        disabled_.emplace_back(window);
    }
}

DisabledWindows::~DisabledWindows()
{
    for (const QPointer<QWidget>& window : disabled_) {
        if (window) window->setEnabled(true);
    }
    if (active_) active_->activateWindow();
}

} // namespace kivra::app
