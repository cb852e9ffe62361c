// What the application frame's message loop costs, on Qt's offscreen
// platform unless the environment names another:
//   - one pass of PumpPendingMessages over an empty queue (the cooperative
//     wait runs these back to back for a whole second, so this is how often
//     the window gets to react);
//   - one posted message, handled by PumpPendingMessages;
//   - one message dialog, built, shown, answered with Enter and freed.
//
//   kivra-message-loop-bench [MESSAGES]     (default 100000)
#include "app/Application.h"
#include "app/Fonts.h"
#include "app/MessageDialog.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace kivra;
using Clock = std::chrono::steady_clock;

namespace {

double MicrosecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const long messages = argc > 1 ? std::atol(argv[1]) : 100000;
    QApplication qt(argc, argv);
    app::InstallFontSubstitutions();
    platform::MemoryPlatform files;
    files.SetModuleFileName("C:\\KIVRA\\KIVRA.EXE");
    platform::ScopedPlatform use(files.AsPlatform());
    app::TApplication application;

    // A visible window, as during a run.
    QLabel window(QStringLiteral("Kivra"));
    window.resize(500, 370);
    window.show();
    application.PumpPendingMessages();

    // Empty passes for one second, as DelayTime(1000) makes them.
    long passes = 0;
    const auto waitStart = Clock::now();
    while (MicrosecondsSince(waitStart) < 1e6) {
        application.PumpPendingMessages();
        ++passes;
    }
    std::printf("empty pump passes in one second: %ld (%.2f us each)\n", passes, 1e6 / static_cast<double>(passes));

    long handled = 0;
    for (long i = 0; i < messages; ++i)
        QMetaObject::invokeMethod(
            qApp, [&] { ++handled; }, Qt::QueuedConnection);
    const auto postedStart = Clock::now();
    application.PumpPendingMessages();
    const double postedTime = MicrosecondsSince(postedStart);
    std::printf("posted messages: %ld handled in %.1f ms (%.3f us each)\n", handled, postedTime / 1000.0,
                postedTime / static_cast<double>(messages));

    const int dialogs = 200;
    const auto& texts = texts::Texts();
    const auto dialogStart = Clock::now();
    for (int i = 0; i < dialogs; ++i) {
        QTimer::singleShot(0, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            QWidget* target = dialog && dialog->focusWidget() ? dialog->focusWidget() : dialog;
            if (!target) return;
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &press);
        });
        app::ShowMessageDialog(texts.VerdictNormal, app::MessageDialogType::Information, app::YesNoButtons, 0);
    }
    std::printf("message dialogs built, shown, answered and freed: %.2f ms each\n",
                MicrosecondsSince(dialogStart) / 1000.0 / dialogs);
    return 0;
}
