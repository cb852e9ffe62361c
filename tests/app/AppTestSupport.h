#pragma once
// What the tests of the application frame share: a form with a stored layout
// (forms/TTestForm.ui, compiled into each test program), a form whose layout
// does not exist, and a way to answer the modal window the program shows next.

#include "app/Application.h"
#include "app/Form.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace kivra::test {

class TTestForm : public app::TForm {
    Q_OBJECT

public:
    TTestForm();

    // Run by the next form constructed, from within its constructor.
    static inline std::function<void(TTestForm*)> duringConstruction;
    // Become the form's OnCreate / OnShow / OnDestroy.
    static inline app::TNotifyEvent createHandler;
    static inline app::TNotifyEvent showHandler;
    static inline app::TNotifyEvent destroyHandler;
};

class TMissingForm : public app::TForm {
    Q_OBJECT

public:
    TMissingForm() : TForm("TMissingForm") {}
};

// Waits, while the program runs its own loops, for a modal window that was
// not there when it was made, and answers it once.
class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(QWidget*)> answer)
        : answer_(std::move(answer)),
          before_(QApplication::activeModalWidget())
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == before_ || !modal->isVisible()) return;
            timer_.stop();
            answered_ = true;
            answer_(modal);
        });
        timer_.start(5);
    }
    bool Answered() const { return answered_; }

private:
    std::function<void(QWidget*)> answer_;
    QPointer<QWidget> before_;
    QTimer timer_;
    bool answered_ = false;
};

} // namespace kivra::test
