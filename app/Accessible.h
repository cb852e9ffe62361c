#pragma once
// What the program's controls tell assistive technology beyond Qt's own:
// interfaces of their own, and the focus of a list's row.

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleEvent>

namespace kivra::app {

// Qt's factory of `Interface` for every object of class `Control` itself.
template <typename Control, typename Interface>
QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(Control::staticMetaObject.className()))
        return new Interface(static_cast<Control*>(object));
    return nullptr;
}

// Makes Qt's accessibility use `Interface` for `Control`. Called while the
// program's static objects are made, so that Qt knows it before any such
// control is made: an interface asked for during a control's construction is
// kept for its whole life.
template <typename Control, typename Interface>
bool InstallAccessibleInterface()
{
    QAccessible::installFactory(&AccessibleFactory<Control, Interface>);
    return true;
}

// Tells assistive technology that the row `current` of `view` has the focus,
// only while the view has it: Qt's list and table views tell it of their new
// current row even while another control has the focus. A view calls this
// past QAbstractItemView::currentChanged in its own currentChanged; the row's
// number is its child's while no header is shown.
inline void AnnounceFocusedRow(QAbstractItemView& view, const QModelIndex& current)
{
    if (!current.isValid() || !view.hasFocus() || !QAccessible::isActive()) return;
    QAccessibleEvent focus(&view, QAccessible::Focus);
    focus.setChild(current.row());
    QAccessible::updateAccessibility(&focus);
}

} // namespace kivra::app
