// How the window keeps painting during a whole run: the main window on Qt's
// offscreen platform runs the search over a generated tree on the Linux
// platform while a timer asks it to repaint every 10 ms; the longest time
// between two paints is told for each step (the caption shown when the
// paint before it was made).
//
//   kivra-run-repaint-bench [--entries N] [--tree DIR]
//
// Without --tree a tree of N entries (default 1,000,000) is made under /tmp
// and removed afterwards. The result files go beside this program.
#include "app/Application.h"
#include "app/MessageDialog.h"
#include "app/QtText.h"
#include "bench/scan/TreeGenerator.h"
#include "platform/CodePage.h"
#include "platform/SystemPlatform.h"
#include "platform/WinApi.h"
#include "selectors/DirectoryListBox.h"
#include "ui/Main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

using namespace kivra;

namespace {

// Notes the time of every paint of the main window's controls.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* window) : window_(window)
    {
        clock_.start();
        qApp->installEventFilter(this);
    }
    ~PaintWatch() override { qApp->removeEventFilter(this); }

    // The longest time between two paints, by the caption of the first.
    std::map<std::string, double> longest;
    long paints = 0;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(receiver);
        if (event->type() != QEvent::Paint || !widget || widget->window() != window_) return false;
        const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
        if (paints > 0) {
            double& step = longest[lastCaption_];
            step = std::max(step, now - last_);
        }
        last_ = now;
        lastCaption_ = platform::Utf8FromCp932(app::ToText(window_->windowTitle()));
        // Counts after the step's text are progress, not a step of their own.
        if (const auto count = lastCaption_.find("\u3002 "); count != std::string::npos)
            lastCaption_.resize(count + std::strlen("\u3002"));
        ++paints;
        return false;
    }

private:
    QWidget* window_;
    QElapsedTimer clock_;
    double last_ = 0;
    std::string lastCaption_;
};

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const platform::ScopedPlatform system(platform::SystemPlatform());
    std::size_t entries = 1000000;
    std::string tree;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--entries") == 0) entries = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--tree") == 0) tree = argv[i + 1];
    }
    const bool made = tree.empty();
    if (made) {
        tree = "/tmp/kvrepaint" + std::to_string(getpid());
        bench::TreeShape shape;
        shape.entries = entries;
        std::printf("making a tree of %zu entries in %s\n", bench::GenerateTree(tree, shape), tree.c_str());
    }
    int status = 0;
    const int code = app::ApplicationMain(argc, argv, [&] {
        app::Application().CreateOwnedForm(ui::Form1);
        ui::TForm1& window = *ui::Form1;
        window.show();
        QApplication::processEvents();
        std::string root;
        if (!platform::WindowsPathFromSystemPath(tree, root)) {
            std::fprintf(stderr, "no Windows path for %s\n", tree.c_str());
            status = 2;
            return;
        }
        window.DirectoryListBox1->OpenPath(root);

        PaintWatch watch(&window);
        QTimer repaint;
        QObject::connect(&repaint, &QTimer::timeout, &window, [&window] { window.update(); });
        repaint.start(10);
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<app::TMessageForm*>(widget); dialog && dialog->isVisible())
                    dialog->SetModalResult(app::mrOk);
        });
        answer.start(50);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(window.BtnRun, Qt::LeftButton);
        std::printf("run over %s: %zu lines, %.1f s (four one-second waits included)\n", root.c_str(),
                    window.LongNameList->Count(), static_cast<double>(clock.elapsed()) / 1000);
        std::printf("  %ld paints; the longest time between two, by the step they began in:\n", watch.paints);
        for (const auto& [step, longest] : watch.longest) std::printf("    %8.1f ms  %s\n", longest, step.c_str());
        app::Application().RequestQuit();
    });
    if (made) std::filesystem::remove_all(tree);
    return status ? status : code;
}
