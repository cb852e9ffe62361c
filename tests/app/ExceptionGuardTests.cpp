// The guard around every event handler and the last-chance report.
#include "AppTestSupport.h"

#include "app/Application.h"
#include "app/QtText.h"
#include "app/RaiseSite.h"
#include "platform/Exceptions.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"

#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

namespace kivra::test {
namespace {

using app::TApplication;
using platform::Text;

const auto& T() { return texts::Texts(); }

struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qsizetype buttons = 0;
    bool otherWindowEnabled = true;
};

class GuardTest : public testing::Test {
protected:
    // Runs the handler inside the guard, answering the box it may show.
    std::optional<ShownBox> Guard(const std::function<void()>& handler)
    {
        std::optional<ShownBox> shown;
        ModalAnswer answer([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            shown = ShownBox{box->windowTitle(), box->text(), box->icon(), box->buttons().size(), other.isEnabled()};
            box->buttons().front()->click();
        });
        app::Guarded(handler);
        return shown;
    }

    platform::MemoryPlatform files;
    bool named = (files.SetModuleFileName("C:\\KIVRA\\KIVRA.EXE"), true);
    platform::ScopedPlatform use{files.AsPlatform()};
    TApplication application;
    QWidget other;
};

TEST_F(GuardTest, AnExceptionIsShownWithAFullStopUnderTheTitleWithTheStopIconAndOneButton)
{
    other.show();
    bool after = false;
    const auto shown = Guard([] { throw Exception("\x83\x65\x83\x58\x83\x67"); }); // テスト
    after = true;
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text, QString::fromUtf8("テスト."));
    EXPECT_EQ(shown->title, QStringLiteral("Kivra"));
    EXPECT_EQ(shown->icon, QMessageBox::Critical);
    EXPECT_EQ(shown->buttons, 1);
    EXPECT_FALSE(shown->otherWindowEnabled) << "the program's other windows are disabled meanwhile";
    EXPECT_TRUE(other.isEnabled()) << "and enabled again afterwards";
    EXPECT_TRUE(after) << "the program goes on";
}

TEST_F(GuardTest, TheFullStopIsAddedEvenWhenTheTextAlreadyEndsInOne)
{
    EXPECT_EQ(Guard([] { throw Exception("done."); })->text, QStringLiteral("done.."));
    EXPECT_EQ(Guard([] { throw Exception("\x8F\x49\x97\xB9\x81\x42"); })->text, QString::fromUtf8("終了。."));
    EXPECT_EQ(Guard([] { throw EInOutError(5); })->text, app::ToQString(T().InOutAccessDenied + "."));
}

TEST_F(GuardTest, AnAbortIsSilent)
{
    bool after = false;
    EXPECT_FALSE(Guard([] { throw EAbort("quiet"); }));
    after = true;
    EXPECT_TRUE(after);
}

TEST_F(GuardTest, RunningOutOfMemoryIsShownInTheProgramsOwnWordsAndTheProgramGoesOn)
{
    const auto shown = Guard([] { throw std::bad_alloc(); });
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text, app::ToQString(T().OutOfMemory + "."));
    EXPECT_EQ(shown->title, QStringLiteral("Kivra"));
    EXPECT_EQ(shown->icon, QMessageBox::Critical);
    EXPECT_EQ(shown->buttons, 1);

    // A button whose handler asks for more memory than there is.
    QPushButton button(QStringLiteral("go"));
    button.show();
    std::size_t asked = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        app::Guarded([&] {
            asked = std::numeric_limits<std::ptrdiff_t>::max() / 2;
            std::vector<char> huge(asked);
            asked = huge.size() + 1;
        });
    });
    std::optional<QString> text;
    ModalAnswer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        text = box->text();
        box->buttons().front()->click();
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, app::ToQString(T().OutOfMemory + "."));
    EXPECT_EQ(asked, std::size_t(std::numeric_limits<std::ptrdiff_t>::max() / 2))
        << "the rest of the handler is skipped";
    text.reset();
    ModalAnswer again([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        text = box->text();
        box->buttons().front()->click();
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(text, app::ToQString(T().OutOfMemory + ".")) << "the program goes on: the button works again";
}

TEST_F(GuardTest, AForeignExceptionShowsTheLastChanceTextAndTheProgramGoesOn)
{
    const auto shown = Guard([] { throw std::runtime_error("disk on fire"); });
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->title, app::ToQString(T().UncaughtTitle));
    EXPECT_TRUE(shown->text.contains(QStringLiteral("std::runtime_error"))) << shown->text.toStdString();
    EXPECT_TRUE(shown->text.contains(QStringLiteral("disk on fire.\n"))) << shown->text.toStdString();
    EXPECT_EQ(shown->icon, QMessageBox::Critical);
}

TEST_F(GuardTest, AnExceptionInAButtonsHandlerNeverReachesQt)
{
    QPushButton button(QStringLiteral("go"));
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        app::Guarded([&] {
            ++clicks;
            throw Exception("from a click");
        });
    });
    std::optional<QString> shown;
    ModalAnswer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        shown = box->text();
        box->buttons().front()->click();
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, QStringLiteral("from a click."));
    EXPECT_EQ(clicks, 1);
}

TEST_F(GuardTest, ApplicationMessageBoxReturnsTheButtonPressed)
{
    ModalAnswer answer([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(application.ApplicationMessageBox("?", "Kivra", app::MB_YESNO | app::MB_ICONQUESTION), app::IDNO);
    EXPECT_TRUE(answer.Answered());
}

// ---- Where an exception was raised ------------------------------------------

[[gnu::noinline]] void RaiseInHere(int kind)
{
    if (kind == 0) throw Exception("raised here");
    throw std::runtime_error("raised here too");
}

std::uintptr_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

TEST(RaiseSite, IsTheThrowInTheFunctionThatRaised)
{
    for (int kind : {0, 1}) {
        std::exception_ptr raised;
        try {
            RaiseInHere(kind);
        } catch (...) {
            raised = std::current_exception();
        }
        const void* site = app::RaiseSiteOf(raised);
        ASSERT_NE(site, nullptr) << kind;
        const auto function = Address(reinterpret_cast<const void*>(&RaiseInHere));
        EXPECT_GT(Address(site), function) << kind;
        EXPECT_LT(Address(site), function + 512) << "within the function's own code";
    }
}

TEST(RaiseSite, IsUnknownForAnExceptionThatWasNotTheLastRaised)
{
    std::exception_ptr first;
    try {
        RaiseInHere(0);
    } catch (...) {
        first = std::current_exception();
    }
    try {
        RaiseInHere(1);
    } catch (...) {}
    EXPECT_EQ(app::RaiseSiteOf(first), nullptr);
    EXPECT_EQ(app::RaiseSiteOf(std::exception_ptr()), nullptr);
}

// ---- The last-chance text --------------------------------------------------

std::exception_ptr Raised(const std::function<void()>& raise)
{
    try {
        raise();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

TEST_F(GuardTest, TheLastChanceTextNamesTheClassTheModuleTheAddressAndTheText)
{
    const Text text = application.UncaughtExceptionText(Raised([] { throw EInOutError(3); }), nullptr);
    const QStringList lines = app::ToQString(text).split(u'\n');
    ASSERT_EQ(lines.size(), 4) << "three lines, each ended by a line feed";
    Text first = T().UncaughtFormatLine1;
    first.replace(first.find("%s"), 2, "EInOutError");
    first.replace(first.find("%s"), 2, "KIVRA.EXE");
    EXPECT_EQ(lines[0], app::ToQString(first));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8} ")).match(lines[1]).hasMatch())
        << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(app::ToQString(T().UncaughtFormatLine2.substr(2))));
    EXPECT_EQ(lines[2], app::ToQString(T().InOutInvalidFileName + "."));
    EXPECT_EQ(lines[3], QString());
}

TEST_F(GuardTest, TheLastChanceTextAddsAFullStopOnlyToATextWithoutOne)
{
    const auto third = [&](const Text& message) {
        return app::ToQString(application.UncaughtExceptionText(Raised([&] { throw Exception(message); }), nullptr))
            .split(u'\n')[2];
    };
    EXPECT_EQ(third("done."), QStringLiteral("done."));
    EXPECT_EQ(third("done"), QStringLiteral("done."));
    EXPECT_EQ(third(""), QString());
    EXPECT_EQ(third("\x8F\x49\x97\xB9\x81\x42"), QString::fromUtf8("終了。."));
}

TEST_F(GuardTest, TheLastChanceTextCutsTheModuleNameTo63Bytes)
{
    files.SetModuleFileName("C:\\BIN\\" + Text(70, 'K') + ".EXE");
    TApplication longNamed;
    const Text text = longNamed.UncaughtExceptionText(Raised([] { throw Exception("x"); }), nullptr);
    const Text firstLine = text.substr(0, text.find('\n'));
    EXPECT_NE(firstLine.find(" " + Text(63, 'K') + " "), Text::npos) << firstLine;
    EXPECT_EQ(firstLine.find(Text(64, 'K')), Text::npos);
}

} // namespace
} // namespace kivra::test
