#include "app/OffThread.h"

#include "platform/Process.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

namespace kivra::app {

namespace {

enum class Treatment { Dispatch, Drop, Hold };

Treatment TreatmentOf(const QEvent& event)
{
    if (event.isInputEvent()) return Treatment::Drop;
    switch (event.type()) {
    // Painting and timers.
    case QEvent::Paint:
    case QEvent::UpdateRequest:
    case QEvent::UpdateLater:
    case QEvent::Expose:
    case QEvent::PlatformSurface:
    case QEvent::StyleAnimationUpdate:
    case QEvent::Timer:
    case QEvent::ZeroTimerEvent:
    // The window system's and the toolkit's bookkeeping, which start no
    // handler of the program.
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
    case QEvent::LayoutRequest:
    case QEvent::Polish:
    case QEvent::PolishRequest:
    case QEvent::ChildAdded:
    case QEvent::ChildPolished:
    case QEvent::ChildRemoved:
    case QEvent::WinIdChange:
    case QEvent::WindowStateChange:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::ActivationChange:
    case QEvent::ApplicationStateChange:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::FocusAboutToChange:
    case QEvent::WindowBlocked:
    case QEvent::WindowUnblocked:
    case QEvent::WindowTitleChange:
    case QEvent::WindowIconChange:
    case QEvent::ModifiedChange:
    case QEvent::EnabledChange:
    case QEvent::ZOrderChange:
    case QEvent::CursorChange:
    case QEvent::ToolTipChange:
    case QEvent::ScreenChangeInternal:
    case QEvent::DynamicPropertyChange:
    case QEvent::InputMethodQuery:
    case QEvent::MetaCall:
    case QEvent::DeferredDelete:
    case QEvent::SockAct:
    case QEvent::SockClose:
    case QEvent::ThreadChange: return Treatment::Dispatch;
    // What a user does, beyond the input events themselves.
    case QEvent::Leave:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
    case QEvent::ToolTip:
    case QEvent::WhatsThis:
    case QEvent::QueryWhatsThis:
    case QEvent::WhatsThisClicked:
    case QEvent::StatusTip:
    case QEvent::InputMethod:
    case QEvent::Gesture:
    case QEvent::GestureOverride: return Treatment::Drop;
    default: return Treatment::Hold;
    }
}

// The filter of the wait: sees every event of the GUI thread first.
class WaitFilter : public QObject {
public:
    WaitFilter() { QCoreApplication::instance()->installEventFilter(this); }
    ~WaitFilter() override { QCoreApplication::instance()->removeEventFilter(this); }

    // Hands the held events on, in the order they came, to be delivered by
    // the next pass over the queue.
    void Release()
    {
        for (Held& held : held_) {
            if (!held.receiver) continue;
            auto* widget = qobject_cast<QWidget*>(held.receiver.data());
            if (held.event->type() == QEvent::Close && widget) {
                // A widget asked to close by code: closed as that code would
                // close it.
                QMetaObject::invokeMethod(widget, &QWidget::close, Qt::QueuedConnection);
            } else {
                QCoreApplication::postEvent(held.receiver, held.event.release());
            }
        }
        held_.clear();
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        switch (TreatmentOf(*event)) {
        case Treatment::Dispatch: return false;
        case Treatment::Drop: event->ignore(); return true;
        case Treatment::Hold:
            held_.push_back(Held{receiver, std::unique_ptr<QEvent>(event->clone())});
            event->ignore();
            return true;
        }
        return false;
    }

private:
    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };
    std::vector<Held> held_;
};

} // namespace

void RunOffGuiThread(const std::function<void()>& work)
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    WaitFilter filter;
    std::thread worker = platform::StartThread([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        done.store(true, std::memory_order_release);
        dispatcher->wakeUp();
    });
    while (!done.load(std::memory_order_acquire))
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    worker.join();
    filter.Release();
    if (failure) std::rethrow_exception(failure);
}

} // namespace kivra::app
