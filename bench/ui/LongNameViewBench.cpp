// How long the long-name view takes over a list of 1,000,000 paths, beyond
// the one second it waits on purpose: the main window on Qt's offscreen
// platform, the list filled as a run would leave it, the view button
// clicked. Also the same view with the wait cut short by a tick counter that
// leaps past every deadline, and the list box's row hand-over alone.
//
//   kivra-long-name-view-bench [LINES]     (default 1000000)
#include "app/Application.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"
#include "ui/ListBox.h"
#include "ui/Main.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace kivra;
using Clock = std::chrono::steady_clock;

namespace {

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void FillLongNameList(scan::TStringList& list, long lines)
{
    list.Clear();
    list.Add(texts::Texts().LongNameHeader);
    for (long i = 1; i < lines; ++i)
        list.Add("C:\\DATA\\PROJECT" + std::to_string(i % 997) + "\\Long File Name " + std::to_string(i) + ".txt");
}

// Clicks the view button and returns the milliseconds until the click has
// been handled and the box has painted its rows.
double TimeView(ui::TForm1& window)
{
    const auto start = Clock::now();
    QTest::mouseClick(window.BtnLongName, Qt::LeftButton);
    QApplication::processEvents();
    return MillisecondsSince(start);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    return app::ApplicationMain(argc, argv, [lines] {
        app::Application().CreateOwnedForm(ui::Form1);
        ui::TForm1& window = *ui::Form1;
        window.show();
        QApplication::processEvents();

        FillLongNameList(*window.LongNameList, lines);
        for (QPushButton* button : {window.BtnRun, window.BtnLongName, window.BtnShortName, window.BtnDifferent,
                                    window.BtnLongFile, window.BtnKomojiFile})
            button->setEnabled(true);

        std::printf("long-name view over %ld lines\n", lines);
        for (int round = 1; round <= 3; ++round) {
            const double total = TimeView(window);
            std::printf("  real wait, round %d: %.1f ms in all, %.1f ms beyond the one-second wait (%d rows)\n", round,
                        total, total - 1000.0, window.ListBox1->Count());
        }

        // A tick counter that moves 2 s at every reading ends each wait in
        // one pass: what remains is the view's own work.
        platform::MemoryPlatform leapingClock;
        leapingClock.SetTicks(0, 2000);
        platform::Platform clockOnly;
        clockOnly.clock = &leapingClock;
        platform::ScopedPlatform scoped(clockOnly);
        for (int round = 1; round <= 3; ++round)
            std::printf("  wait cut short, round %d: %.1f ms\n", round, TimeView(window));

        const auto snapshot = window.LongNameList->Snapshot();
        const auto start = Clock::now();
        window.ListBox1->ReplaceLines(snapshot);
        std::printf("  list box hand-over and repaint alone: %.2f ms\n", MillisecondsSince(start));
        app::Application().RequestQuit();
    });
}
