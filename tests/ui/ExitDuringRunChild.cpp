// A user who starts a run and chooses Exit from the File menu while the run
// waits its first second: the program as main() runs it, with the scan root
// given as the only argument. Reports on standard output what it saw; the
// exit code is the program's own.
#include "app/Application.h"
#include "app/MessageDialog.h"
#include "app/QtText.h"
#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"
#include "selectors/DirectoryListBox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Main.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <string>

namespace {

using namespace kivra;

void Report(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// Writes down how each message dialog ends. A dialog still open after ten
// seconds is answered, so that a program that does not end its dialogs on
// a quit request fails the test instead of hanging.
class DialogWatch : public QObject {
public:
    DialogWatch()
    {
        // Every hide passes here, even of a dialog that closes before any
        // timer could see it.
        qApp->installEventFilter(this);
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start(10);
    }
    ~DialogWatch() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::Hide) return false;
        auto* dialog = qobject_cast<app::TMessageForm*>(object);
        if (!dialog) return false;
        const auto* label = dialog->findChild<QLabel*>(QStringLiteral("Message"));
        const platform::Text text = label ? app::ToText(label->text()) : platform::Text();
        Report("dialog \"" + ui::testing::Readable(text) + "\" closed with " + std::to_string(dialog->ModalResult()));
        return false;
    }

private:
    void Poll()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<app::TMessageForm*>(widget);
            if (!dialog || !dialog->isVisible()) continue;
            if (dialog != watched_) {
                watched_ = dialog;
                openFor_ = 0;
            } else if (++openFor_ > 1000) {
                Report("answered by the watcher");
                if (auto* yes = dialog->findChild<QPushButton*>(QStringLiteral("Yes"))) yes->click();
            }
        }
    }

    QTimer timer_;
    QPointer<QWidget> watched_;
    int openFor_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: kivra_ui_exit_child ROOT\n", stderr);
        return 2;
    }
    const platform::Text root = argv[1];
    platform::PosixSources sources;
    sources.mountTable = ui::testing::RootOnlyMountTable();
    platform::PosixPlatform posix(sources);
    platform::ScopedPlatform scoped(posix.Interfaces());

    return app::ApplicationMain(argc, argv, [&] {
        app::Application().CreateOwnedForm(ui::Form1);
        DialogWatch watch;
        QTimer::singleShot(0, [&] {
            ui::Form1->DirectoryListBox1->OpenPath(root);
            QTest::mouseClick(ui::Form1->BtnRun, Qt::LeftButton);
            Report("run ended");
        });
        // Half a second into the run's first wait: Alt+F, then X for Exit.
        QTimer::singleShot(500, [] {
            QTest::keyClick(ui::Form1, Qt::Key_F, Qt::AltModifier);
            QTimer::singleShot(100, [] {
                if (QWidget* menu = QApplication::activePopupWidget()) QTest::keyClick(menu, Qt::Key_X);
                QTimer::singleShot(100, [] {
                    if (app::Application().QuitRequested()) Report("quit requested during the run");
                });
            });
        });
        app::Application().RunMessageLoop();
        Report("message loop ended");
    });
}
