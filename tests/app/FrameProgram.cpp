// A small program on the application frame, for the tests that need a whole
// process: its exit code and what it showed.
//   kivra_app_frame_program uncaught   a form whose layout is missing is
//                                      created outside every guard
//   kivra_app_frame_program close      the main window is closed by its user
// It answers every box it shows and prints the box's title and text.
#include "AppTestSupport.h"

#include "app/Application.h"
#include "platform/SystemPlatform.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

kivra::test::TMissingForm* Missing = nullptr;
kivra::test::TTestForm* Form1 = nullptr;

void AnswerBoxes()
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        std::printf("title: %s\ntext: %s\n", box->windowTitle().toUtf8().constData(), box->text().toUtf8().constData());
        std::fflush(stdout);
        box->buttons().front()->click();
    });
    timer->start(5);
}

} // namespace

int main(int argc, char** argv)
{
    const bool uncaught = argc > 1 && std::strcmp(argv[1], "uncaught") == 0;
    const kivra::platform::ScopedPlatform system(kivra::platform::SystemPlatform());
    return kivra::app::ApplicationMain(argc, argv, [uncaught] {
        using kivra::app::Application;
        AnswerBoxes();
        kivra::test::TTestForm::destroyHandler = [](QObject*) {
            std::printf("destroyed\n");
            std::fflush(stdout);
        };
        if (uncaught) {
            Application().CreateOwnedForm(Missing);
            std::printf("not reached\n");
        }
        Application().CreateOwnedForm(Form1);
        QTimer::singleShot(20, [] { Form1->Close(); });
        Application().RunMessageLoop();
        std::printf("loop ended, main window %s\n", Form1->isVisible() ? "visible" : "hidden");
        std::fflush(stdout);
    });
}
