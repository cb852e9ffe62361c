// A user who picks a directory and starts a run, as a program of its own
// that may not pass over the permissions of files: it drops the capabilities
// that let root read any directory, so that a directory without read
// permission cannot be searched even when the tests run as root. The scan
// root is the only argument. Every message's title and text is told on
// standard output, and each is answered with its first button.
#include "app/Application.h"
#include "app/MessageDialog.h"
#include "app/QtText.h"
#include "platform/posix/PosixPlatform.h"
#include "selectors/DirectoryListBox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Main.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

using namespace kivra;

void Report(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

bool DropReadAnything()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    const unsigned dropped = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective &= ~dropped;
    data[0].permitted &= ~dropped;
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: kivra_ui_run_child ROOT\n", stderr);
        return 2;
    }
    if (!DropReadAnything()) {
        std::fputs("cannot drop the capabilities\n", stderr);
        return 2;
    }
    const platform::Text root = argv[1];
    platform::PosixSources sources;
    sources.mountTable = ui::testing::RootOnlyMountTable();
    platform::PosixPlatform posix(sources);
    platform::ScopedPlatform scoped(posix.Interfaces());

    return app::ApplicationMain(argc, argv, [&] {
        app::Application().CreateOwnedForm(ui::Form1);
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Report("box " + box->windowTitle().toStdString() + ": " + box->text().toStdString());
                box->buttons().front()->click();
            }
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<app::TMessageForm*>(widget);
                if (!dialog || !dialog->isVisible() || dialog->ModalResult() != app::mrNone) continue;
                const auto* label = dialog->findChild<QLabel*>(QStringLiteral("Message"));
                Report("dialog " + ui::testing::Readable(app::ToText(dialog->windowTitle())) + ": " +
                       ui::testing::Readable(label ? app::ToText(label->text()) : platform::Text()));
                dialog->findChildren<QPushButton*>().front()->click();
            }
        });
        answer.start(10);
        QTimer::singleShot(0, [&] {
            app::Guarded([&] { ui::Form1->DirectoryListBox1->OpenPath(root); });
            QTest::mouseClick(ui::Form1->BtnRun, Qt::LeftButton);
            app::Application().RequestQuit();
        });
        app::Application().RunMessageLoop();
    });
}
