#pragma once
// What assistive technology would be told: while an AccessibilityEvents
// lives, Qt's accessibility is active and every event it sends is recorded
// (the object, the kind and the child it concerns) instead of going to a
// desktop bus.

#include <QAccessible>
#include <QPointer>

#include <vector>

// Qt turns its accessibility on when a screen reader's bus asks for it; the
// offscreen platform has no such bus, so the tests do what the desktop's
// bridge does, through the two calls of Qt's platform layer it makes (the
// offscreen platform keeps Qt's own platform accessibility).
class QPlatformAccessibility {
public:
    void setActive(bool active);
};
class QPlatformIntegration {
public:
    QPlatformAccessibility* accessibility() const;
};
class QGuiApplicationPrivate {
public:
    static QPlatformIntegration* platform_integration;
};

namespace kivra::test {

class AccessibilityEvents {
public:
    struct Event {
        QPointer<QObject> object;
        QAccessible::Event type;
        int child;
    };

    AccessibilityEvents()
    {
        current_ = this;
        previous_ = QAccessible::installUpdateHandler(&Record);
        Platform()->setActive(true);
    }
    ~AccessibilityEvents()
    {
        Platform()->setActive(false);
        QAccessible::installUpdateHandler(previous_);
        current_ = nullptr;
    }
    AccessibilityEvents(const AccessibilityEvents&) = delete;
    AccessibilityEvents& operator=(const AccessibilityEvents&) = delete;

    // The children of `object` that focus events named, in their order.
    std::vector<int> FocusedChildren(const QObject* object) const
    {
        std::vector<int> children;
        for (const Event& event : events_) {
            if (event.type == QAccessible::Focus && event.object == object) children.push_back(event.child);
        }
        return children;
    }
    const std::vector<Event>& Events() const { return events_; }
    void Clear() { events_.clear(); }

private:
    static QPlatformAccessibility* Platform() { return QGuiApplicationPrivate::platform_integration->accessibility(); }
    static void Record(QAccessibleEvent* event)
    {
        if (current_) current_->events_.push_back({event->object(), event->type(), event->child()});
    }

    static inline AccessibilityEvents* current_ = nullptr;
    QAccessible::UpdateHandler previous_ = nullptr;
    std::vector<Event> events_;
};

} // namespace kivra::test
