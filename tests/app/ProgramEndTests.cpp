// The end of the program, seen from outside: its exit code and its last
// words. The program is tests/app/FrameProgram.cpp.
#include "app/QtText.h"
#include "resources/Texts.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace kivra::test {
namespace {

struct Ended {
    int exitCode = -1;
    QString output;
};

Ended RunProgram(const QString& mode)
{
    QProcess process;
    process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/kivra_app_frame_program"));
    process.setArguments({mode});
    process.start();
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}

TEST(ProgramEnd, AnExceptionOutsideEveryGuardShowsTheLastChanceBoxAndEndsWithExitCode1)
{
    const Ended ended = RunProgram(QStringLiteral("uncaught"));
    EXPECT_EQ(ended.exitCode, 1);
    const auto& texts = texts::Texts();
    EXPECT_TRUE(ended.output.contains(QStringLiteral("title: ") + app::ToQString(texts.UncaughtTitle)))
        << ended.output.toStdString();
    platform::Text first = texts.UncaughtFormatLine1;
    first.replace(first.find("%s"), 2, "Exception");
    first.replace(first.find("%s"), 2, "kivra_app_frame_program");
    EXPECT_TRUE(ended.output.contains(QStringLiteral("text: ") + app::ToQString(first) + u'\n'))
        << ended.output.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\n[0-9A-F]{8} ")).match(ended.output).hasMatch());
    platform::Text message = texts.ResourceNotFoundFormat;
    message.replace(message.find("%s"), 2, "TMissingForm");
    EXPECT_TRUE(ended.output.contains(app::ToQString(message) + QStringLiteral(".\n")));
    EXPECT_FALSE(ended.output.contains(QStringLiteral("not reached")));
}

TEST(ProgramEnd, ClosingTheMainWindowEndsTheLoopThenDestroysTheFormAndExitsWith0)
{
    const Ended ended = RunProgram(QStringLiteral("close"));
    EXPECT_EQ(ended.exitCode, 0);
    EXPECT_EQ(ended.output, QStringLiteral("loop ended, main window visible\ndestroyed\n"));
}

} // namespace
} // namespace kivra::test
