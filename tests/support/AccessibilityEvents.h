#pragma once
// While an AccessibilityEvents lives, Qt's accessibility is on, as a screen
// reader's bus turns it on, and every event Qt sends is recorded.

#include <QAccessible>
#include <QPointer>

#include <vector>

// The offscreen platform has no such bus: the two calls of Qt's platform
// layer that the desktop's bridge makes (Qt's own platform accessibility,
// which the offscreen platform keeps).
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

    AccessibilityEvents() : previous_(QAccessible::installUpdateHandler(&Record)) { SetActive(this); }
    ~AccessibilityEvents()
    {
        SetActive(nullptr);
        QAccessible::installUpdateHandler(previous_);
    }

    // The children of `object` that focus events named, in their order.
    std::vector<int> FocusedChildren(const QObject* object) const
    {
        std::vector<int> children;
        for (const Event& event : events_)
            if (event.type == QAccessible::Focus && event.object == object) children.push_back(event.child);
        return children;
    }
    const std::vector<Event>& Events() const { return events_; }
    void Clear() { events_.clear(); }

private:
    static void SetActive(AccessibilityEvents* events)
    {
        current_ = events;
        QGuiApplicationPrivate::platform_integration->accessibility()->setActive(events != nullptr);
    }
    static void Record(QAccessibleEvent* event)
    {
        if (current_) current_->events_.push_back({event->object(), event->type(), event->child()});
    }

    static inline AccessibilityEvents* current_ = nullptr;
    QAccessible::UpdateHandler previous_;
    std::vector<Event> events_;
};

} // namespace kivra::test
