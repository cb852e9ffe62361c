// Message dialogs: what each dialog of the program shows, how it answers the
// keyboard, the mouse and the close box, and how it is laid out.
#include "AppTestSupport.h"

#include "app/Application.h"
#include "app/Fonts.h"
#include "app/MessageDialog.h"
#include "app/QtText.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"
#include "tests/support/AccessibilityEvents.h"

#include <QAccessible>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace kivra::test {
namespace {

using app::MessageDialogType;
using app::TMessageForm;
using platform::Text;

const auto& T() { return texts::Texts(); }

QSize Screen() { return QGuiApplication::primaryScreen()->geometry().size(); }

std::vector<QPushButton*> ButtonsLeftToRight(const QWidget* dialog)
{
    auto buttons = dialog->findChildren<QPushButton*>();
    std::vector<QPushButton*> sorted(buttons.begin(), buttons.end());
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
    return sorted;
}

class DialogTest : public testing::Test {
protected:
    DialogTest() { app::InstallFontSubstitutions(); }

    // Shows the dialog and lets `user` act on it once it is up.
    app::TModalResult Show(const Text& text, MessageDialogType type, app::MessageDialogButtons buttons,
                           const std::function<void(TMessageForm*)>& user)
    {
        ModalAnswer answer([&](QWidget* modal) {
            auto* dialog = qobject_cast<TMessageForm*>(modal);
            ASSERT_NE(dialog, nullptr);
            user(dialog);
        });
        return app::ShowMessageDialog(text, type, buttons, 0);
    }

    // Types a key as the user does: to the control that has the focus.
    static void Type(TMessageForm* dialog, Qt::Key key)
    {
        QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
        QTest::keyClick(target, key);
    }

    platform::MemoryPlatform files;
    bool named = (files.SetModuleFileName("C:\\KIVRA\\KIVRA.EXE"), true);
    platform::ScopedPlatform use{files.AsPlatform()};
    app::TApplication application;
};

// ---- The combinations the program uses ---------------------------------------

struct InUse {
    MessageDialogType type;
    app::MessageDialogButtons buttons;
    Text title;
    std::vector<std::string> names;
    std::vector<Text> captions;
    std::vector<app::TModalResult> results;
    std::string defaultButton;
    std::string cancelButton;
};

TEST(ButtonSets, TheSetsInUseHoldTheBitsOfTheirButtons)
{
    EXPECT_EQ(app::YesButton, 0x0001);
    EXPECT_EQ(app::YesNoButtons, 0x0003);
    EXPECT_EQ(app::OKButton, 0x0004);
    EXPECT_EQ(app::AbortButton, 0x0010);
    EXPECT_EQ(app::ButtonBit(app::MessageDialogButton::Help), 0x0100);
}

TEST_F(DialogTest, EachCombinationInUseShowsItsTitleIconAndButtons)
{
    const std::vector<InUse> cases = {
        {MessageDialogType::Information,
         app::YesButton,
         T().TitleInformation,
         {"Yes"},
         {T().ButtonYes},
         {6},
         "Yes",
         ""},
        {MessageDialogType::Warning, app::AbortButton, T().TitleWarning, {"Abort"}, {T().ButtonAbort}, {3}, "", ""},
        {MessageDialogType::Warning,
         app::YesNoButtons,
         T().TitleWarning,
         {"Yes", "No"},
         {T().ButtonYes, T().ButtonNo},
         {6, 7},
         "Yes",
         "No"},
        {MessageDialogType::Information,
         app::YesNoButtons,
         T().TitleInformation,
         {"Yes", "No"},
         {T().ButtonYes, T().ButtonNo},
         {6, 7},
         "Yes",
         "No"},
    };
    for (const InUse& use : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int(use.type) << " set " << use.buttons);
        const auto dialog = app::BuildMessageDialog(T().RootMissing, use.type, use.buttons);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->Caption(), use.title);
        auto* image = dialog->Component<QLabel>("Image");
        ASSERT_NE(image, nullptr);
        EXPECT_FALSE(image->pixmap().isNull());
        EXPECT_EQ(image->size(), QSize(32, 32));
        EXPECT_EQ(dialog->Component<QLabel>("Message")->text(), app::ToQString(T().RootMissing));

        const auto buttons = ButtonsLeftToRight(dialog.get());
        ASSERT_EQ(buttons.size(), use.names.size());
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            EXPECT_EQ(buttons[i]->objectName().toStdString(), use.names[i]);
            EXPECT_EQ(buttons[i]->text(), app::ToQString(use.captions[i]));
            EXPECT_EQ(buttons[i]->property("ModalResult").toInt(), use.results[i]);
            EXPECT_EQ(buttons[i]->isDefault(), use.names[i] == use.defaultButton);
            EXPECT_EQ(buttons[i]->property("Cancel").toBool(), use.names[i] == use.cancelButton);
        }
    }
}

TEST_F(DialogTest, AScreenReaderSeesADialogOrForWarningsAndErrorsAnAlertDescribedByItsMessage)
{
    for (const auto type : {MessageDialogType::Warning, MessageDialogType::Error, MessageDialogType::Information,
                            MessageDialogType::Confirmation}) {
        const bool alert = type == MessageDialogType::Warning || type == MessageDialogType::Error;
        test::AccessibilityEvents events;
        const auto dialog = app::BuildMessageDialog(T().VerdictNormal, type, app::YesNoButtons);
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(dialog.get());
        EXPECT_EQ(window->role(), alert ? QAccessible::AlertMessage : QAccessible::Dialog);
        EXPECT_EQ(window->text(QAccessible::Name), dialog->windowTitle());
        EXPECT_EQ(window->text(QAccessible::Description), QString::fromUtf8("正常です。")) << "without its blanks";
        dialog->show();
        const auto& seen = events.Events();
        EXPECT_EQ(
            std::count_if(seen.begin(), seen.end(), [](const auto& event) { return event.type == QAccessible::Alert; }),
            alert ? 1 : 0)
            << "an alert is read out as it comes up";
    }
}

TEST_F(DialogTest, YesAloneAnswersEnterAndItsLetterIgnoresEscapeAndClosesWith2)
{
    EXPECT_EQ(Show(T().RootMissing, MessageDialogType::Information, app::YesButton,
                   [](TMessageForm* d) { Type(d, Qt::Key_Return); }),
              6);
    EXPECT_EQ(Show(T().RootMissing, MessageDialogType::Information, app::YesButton,
                   [](TMessageForm* d) { Type(d, Qt::Key_Y); }),
              6);
    EXPECT_EQ(Show(T().RootMissing, MessageDialogType::Information, app::YesButton,
                   [](TMessageForm* d) {
                       Type(d, Qt::Key_Escape);
                       EXPECT_EQ(d->ModalResult(), app::mrNone) << "Escape has no button to press";
                       d->close();
                   }),
              2);
}

TEST_F(DialogTest, AbortAloneIsPressedByEnterThroughTheFocusAndOnlyTheCloseBoxGives2)
{
    EXPECT_EQ(Show(T().SaveFailedLongNames, MessageDialogType::Warning, app::AbortButton,
                   [](TMessageForm* d) {
                       EXPECT_EQ(d->focusWidget(), d->Component("Abort"));
                       Type(d, Qt::Key_Return);
                   }),
              3);
    EXPECT_EQ(Show(T().SaveFailedLongNames, MessageDialogType::Warning, app::AbortButton,
                   [](TMessageForm* d) {
                       Type(d, Qt::Key_Escape);
                       EXPECT_EQ(d->ModalResult(), app::mrNone);
                       d->close();
                   }),
              2);
    EXPECT_EQ(Show(T().SaveFailedLongNames, MessageDialogType::Warning, app::AbortButton,
                   [](TMessageForm* d) { Type(d, Qt::Key_A); }),
              3);
}

TEST_F(DialogTest, ShiftWithAButtonsLetterPressesItAsTheLetterAloneDoes)
{
    EXPECT_EQ(Show(T().SaveFailedLongNames, MessageDialogType::Warning, app::AbortButton,
                   [](TMessageForm* d) { QTest::keyClick(d->focusWidget(), Qt::Key_A, Qt::ShiftModifier); }),
              3);
    EXPECT_EQ(Show(T().VerdictFound, MessageDialogType::Warning, app::YesNoButtons,
                   [](TMessageForm* d) { QTest::keyClick(d->focusWidget(), Qt::Key_N, Qt::ShiftModifier); }),
              7);
    EXPECT_EQ(Show(T().VerdictFound, MessageDialogType::Warning, app::YesNoButtons,
                   [](TMessageForm* d) {
                       QTest::keyClick(d->focusWidget(), Qt::Key_N, Qt::ControlModifier);
                       EXPECT_EQ(d->ModalResult(), app::mrNone) << "Ctrl with the letter is no press";
                       d->close();
                   }),
              2);
}

TEST_F(DialogTest, TheFirstButtonShowsThatItHasTheFocus)
{
    Show(T().SaveFailedLongNames, MessageDialogType::Warning, app::AbortButton, [](TMessageForm* d) {
        auto* abort = d->Component<QPushButton>("Abort");
        EXPECT_EQ(d->focusWidget(), abort);
        // The style draws the focus frame for a focus the keyboard gave.
        EXPECT_TRUE(d->testAttribute(Qt::WA_KeyboardFocusChange));
        d->close();
    });
}

TEST_F(DialogTest, YesNoAnswersEnterWithYesEscapeWithNoAndTheCloseBoxWith2)
{
    for (const auto type : {MessageDialogType::Warning, MessageDialogType::Information}) {
        EXPECT_EQ(Show(T().VerdictFound, type, app::YesNoButtons, [](TMessageForm* d) { Type(d, Qt::Key_Return); }), 6);
        EXPECT_EQ(Show(T().VerdictFound, type, app::YesNoButtons, [](TMessageForm* d) { Type(d, Qt::Key_Escape); }), 7);
        EXPECT_EQ(Show(T().VerdictFound, type, app::YesNoButtons, [](TMessageForm* d) { Type(d, Qt::Key_N); }), 7);
        EXPECT_EQ(Show(T().VerdictFound, type, app::YesNoButtons, [](TMessageForm* d) { d->close(); }), 2);
        EXPECT_EQ(Show(T().VerdictFound, type, app::YesNoButtons,
                       [](TMessageForm* d) { QTest::mouseClick(d->Component<QPushButton>("No"), Qt::LeftButton); }),
                  7);
    }
}

TEST_F(DialogTest, EnterPressesTheButtonThatHasTheFocus)
{
    EXPECT_EQ(Show(T().VerdictNormal, MessageDialogType::Information, app::YesNoButtons,
                   [](TMessageForm* d) {
                       d->Component("No")->setFocus();
                       Type(d, Qt::Key_Return);
                   }),
              7);
}

TEST_F(DialogTest, WhileADialogIsUpTheOtherWindowsAreDisabledAndItIsFreedOnReturn)
{
    QWidget main;
    main.show();
    QPointer<TMessageForm> shown;
    bool mainEnabledMeanwhile = true;
    Show(T().VerdictNormal, MessageDialogType::Information, app::YesNoButtons, [&](TMessageForm* d) {
        shown = d;
        mainEnabledMeanwhile = main.isEnabled();
        Type(d, Qt::Key_Return);
    });
    EXPECT_FALSE(mainEnabledMeanwhile);
    EXPECT_TRUE(main.isEnabled());
    EXPECT_TRUE(shown.isNull());
}

TEST_F(DialogTest, TheHelpButtonLeavesTheDialogOpen)
{
    EXPECT_EQ(Show("?", MessageDialogType::Confirmation, 0x0100,
                   [](TMessageForm* d) {
                       d->Component<QPushButton>("Help")->click();
                       EXPECT_EQ(d->ModalResult(), app::mrNone);
                       d->close();
                   }),
              2);
}

// ---- Layout --------------------------------------------------------------------

struct Units {
    int horizontalMargin, verticalMargin, horizontalSpacing, verticalSpacing, buttonWidth, buttonHeight, buttonSpacing;
};

Units UnitsOf(const QWidget* dialog)
{
    const QSize average = app::MeasureAverageCharSize(dialog->font());
    const auto h = [&](int units) { return app::MulDiv(units, average.width(), 4); };
    const auto v = [&](int units) { return app::MulDiv(units, average.height(), 8); };
    return {h(8), v(8), h(10), v(10), h(50), v(14), h(4)};
}

TEST_F(DialogTest, TheLayoutFollowsTheMeasuredAverageCharacterSizeOfTheDialogFont)
{
    const auto dialog = app::BuildMessageDialog(T().VerdictFound, MessageDialogType::Warning, app::YesNoButtons);
    EXPECT_EQ(dialog->font().family(), app::ToQString(T().DialogFontName));
    EXPECT_EQ(dialog->font().pixelSize(),
              app::MulDiv(9, qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchY()), 72));
    const Units u = UnitsOf(dialog.get());
    auto* message = dialog->Component<QLabel>("Message");
    const QRect text = message->geometry();
    EXPECT_EQ(dialog->Component("Image")->geometry(), QRect(u.horizontalMargin, u.verticalMargin, 32, 32));
    EXPECT_EQ(text.topLeft(), QPoint(u.horizontalMargin + 32 + u.horizontalSpacing, u.verticalMargin));
    EXPECT_TRUE(message->wordWrap());

    const int iconTextHeight = std::max(text.height(), 32);
    const int groupWidth = 2 * u.buttonWidth + u.buttonSpacing;
    const int clientWidth = std::max(text.width() + 32 + u.horizontalSpacing, groupWidth) + 2 * u.horizontalMargin;
    EXPECT_EQ(dialog->size(),
              QSize(clientWidth, iconTextHeight + u.buttonHeight + u.verticalSpacing + 2 * u.verticalMargin));

    const auto buttons = ButtonsLeftToRight(dialog.get());
    const int top = iconTextHeight + u.verticalMargin + u.verticalSpacing;
    const int left = (clientWidth - groupWidth) / 2;
    EXPECT_EQ(buttons[0]->geometry(), QRect(left, top, u.buttonWidth, u.buttonHeight));
    EXPECT_EQ(buttons[1]->geometry(),
              QRect(left + u.buttonWidth + u.buttonSpacing, top, u.buttonWidth, u.buttonHeight));

    EXPECT_EQ(dialog->Left(), Screen().width() / 2 - dialog->Width() / 2);
    EXPECT_EQ(dialog->Top(), Screen().height() / 2 - dialog->Height() / 2);
}

TEST_F(DialogTest, AShortTextBesideTheIconPutsTheButtonsBelowTheIcon)
{
    const auto dialog = app::BuildMessageDialog("x", MessageDialogType::Information, app::YesButton);
    const Units u = UnitsOf(dialog.get());
    ASSERT_LT(dialog->Component("Message")->height(), 32);
    EXPECT_EQ(dialog->Component("Yes")->y(), 32 + u.verticalMargin + u.verticalSpacing);
    const int clientWidth = dialog->width();
    EXPECT_EQ(dialog->Component("Yes")->x(), (clientWidth - u.buttonWidth) / 2);
}

TEST_F(DialogTest, AnEmptySetShowsNoButtonAndOnlyTheCloseBoxEndsTheDialog)
{
    const auto dialog = app::BuildMessageDialog(T().VerdictNormal, MessageDialogType::Information, 0);
    EXPECT_TRUE(dialog->findChildren<QPushButton*>().isEmpty());
    const Units u = UnitsOf(dialog.get());
    const QRect text = dialog->Component("Message")->geometry();
    EXPECT_EQ(dialog->width(), text.width() + 32 + u.horizontalSpacing + 2 * u.horizontalMargin);

    EXPECT_EQ(Show(T().VerdictNormal, MessageDialogType::Information, 0,
                   [](TMessageForm* d) {
                       Type(d, Qt::Key_Return);
                       Type(d, Qt::Key_Escape);
                       EXPECT_EQ(d->ModalResult(), app::mrNone);
                       d->close();
                   }),
              2);
}

TEST_F(DialogTest, BitsAboveTheHelpButtonShowNothing)
{
    const auto plain = app::BuildMessageDialog(T().RootMissing, MessageDialogType::Information, app::YesButton);
    const auto extra = app::BuildMessageDialog(T().RootMissing, MessageDialogType::Information, 0xFE01);
    ASSERT_EQ(extra->findChildren<QPushButton*>().size(), 1);
    EXPECT_NE(extra->Component("Yes"), nullptr);
    EXPECT_EQ(extra->size(), plain->size());
}

TEST_F(DialogTest, ButtonsAppearInTheirOwnOrderWithTheirResults)
{
    const auto dialog = app::BuildMessageDialog("?", MessageDialogType::Confirmation, 0x01FF);
    std::vector<std::string> names;
    std::vector<int> results;
    for (QPushButton* button : ButtonsLeftToRight(dialog.get())) {
        names.push_back(button->objectName().toStdString());
        results.push_back(button->property("ModalResult").toInt());
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All", "Help"}));
    EXPECT_EQ(results, (std::vector<int>{6, 7, 1, 2, 3, 4, 5, 8, 0}));
    EXPECT_TRUE(dialog->Component<QPushButton>("OK")->isDefault()) << "OK wins over Yes";
    EXPECT_TRUE(dialog->Component("Cancel")->property("Cancel").toBool()) << "Cancel wins over No";
    EXPECT_FALSE(dialog->Component("No")->property("Cancel").toBool());
}

TEST_F(DialogTest, RetryIsTheDefaultAndOKTheCancelButtonWhenTheFirstChoicesAreMissing)
{
    const auto dialog = app::BuildMessageDialog("?", MessageDialogType::Error, 0x0024); // OK, Retry
    EXPECT_TRUE(dialog->Component<QPushButton>("OK")->isDefault());
    EXPECT_TRUE(dialog->Component("OK")->property("Cancel").toBool());
    const auto retry = app::BuildMessageDialog("?", MessageDialogType::Error, 0x0020);
    EXPECT_TRUE(retry->Component<QPushButton>("Retry")->isDefault());
}

TEST_F(DialogTest, ALongTextWrapsAtHalfTheScreenWidth)
{
    Text words;
    for (int i = 0; i < 60; ++i) words += "word ";
    const auto dialog = app::BuildMessageDialog(words, MessageDialogType::Warning, app::AbortButton);
    const QRect text = dialog->Component("Message")->geometry();
    const int lineHeight = QFontMetrics(dialog->font()).height();
    EXPECT_LE(text.width(), Screen().width() / 2);
    EXPECT_GT(text.width(), Screen().width() / 4);
    EXPECT_GE(text.height(), 2 * lineHeight);
}

TEST_F(DialogTest, ACustomDialogHasNoIconAndTheApplicationTitle)
{
    const auto dialog = app::BuildMessageDialog("?", MessageDialogType::Custom, 0x0004);
    EXPECT_EQ(dialog->Component("Image"), nullptr);
    EXPECT_EQ(dialog->Caption(), "Kivra");
    EXPECT_EQ(dialog->Component("Message")->x(), UnitsOf(dialog.get()).horizontalMargin);
}

TEST_F(DialogTest, AnAmpersandInTheTextIsAMnemonicPrefixAndTakesNoRoom)
{
    const auto marked = app::BuildMessageDialog("Save &All files", MessageDialogType::Custom, 0);
    const auto plain = app::BuildMessageDialog("Save All files", MessageDialogType::Custom, 0);
    EXPECT_EQ(marked->Component("Message")->size(), plain->Component("Message")->size());
}

TEST_F(DialogTest, APositionGivenReplacesTheCentredEdge)
{
    QPoint at;
    Show("?", MessageDialogType::Information, app::YesButton, [&](TMessageForm* d) {
        at = QPoint(d->Left(), d->Top());
        d->close();
    });
    const auto centred = app::BuildMessageDialog("?", MessageDialogType::Information, app::YesButton);
    EXPECT_EQ(at, QPoint(centred->Left(), centred->Top()));

    ModalAnswer answer([&](QWidget* modal) {
        at = QPoint(modal->frameGeometry().topLeft());
        modal->close();
    });
    app::ShowMessageDialogAt("?", MessageDialogType::Information, app::YesButton, 0, 7, -1);
    EXPECT_EQ(at, QPoint(7, centred->Top()));
}

TEST(Fonts, TheFacesTheWindowsAskForAreTheIpaFonts)
{
    app::InstallFontSubstitutions();
    QFont system(app::ToQString(T().FormFontName));
    system.setPixelSize(19);
    EXPECT_EQ(QFontInfo(system).family(), QStringLiteral("IPAGothic"));
    QFont dialog(app::ToQString(T().DialogFontName));
    dialog.setPixelSize(12);
    EXPECT_EQ(QFontInfo(dialog).family(), QStringLiteral("IPAPGothic"));
}

TEST(Fonts, TheSystemFacesStandInDrawsHalfWidthCharactersEightPixelsWideInACellThatFitsEighteen)
{
    app::InstallFontSubstitutions();
    const QString system = app::ToQString(T().FormFontName);
    const QFont font = app::DesignedFont(system, -19);
    const QFontMetrics metrics(font);
    EXPECT_EQ(metrics.horizontalAdvance(QString::fromUtf8("ｱ")), 8);
    EXPECT_EQ(metrics.horizontalAdvance(QStringLiteral("A")), 8);
    EXPECT_EQ(metrics.horizontalAdvance(QString::fromUtf8("漢")), 16);
    EXPECT_LE(metrics.height(), 18) << "a row of 18 pixels shows the descenders";
    // The main window's label: 25 half-width units in its 230 pixels.
    EXPECT_LE(metrics.horizontalAdvance(app::ToQString(T().Label1Caption)), 230);
    EXPECT_EQ(app::DesignedFont(app::ToQString(T().DialogFontName), -12).pixelSize(), 12)
        << "other faces keep their size";
}

// ---- The arithmetic ------------------------------------------------------------

TEST(MulDiv, RoundsToTheNearestWithHalvesAwayFromZero)
{
    EXPECT_EQ(app::MulDiv(8, 6, 4), 12);
    EXPECT_EQ(app::MulDiv(10, 13, 8), 16); // 16.25
    EXPECT_EQ(app::MulDiv(14, 13, 8), 23); // 22.75
    EXPECT_EQ(app::MulDiv(5, 3, 2), 8);    // 7.5
    EXPECT_EQ(app::MulDiv(-5, 3, 2), -8);  // -7.5
    EXPECT_EQ(app::MulDiv(5, 3, -2), -8);
    EXPECT_EQ(app::MulDiv(9, 96, 72), 12);
    EXPECT_EQ(app::MulDiv(9, 120, 72), 15);
}

TEST(MulDiv, CarriesTheProductIn64BitsAndFailsWithMinusOne)
{
    EXPECT_EQ(app::MulDiv(100000, 100000, 100000), 100000);
    EXPECT_EQ(app::MulDiv(2000000000, 2, 4), 1000000000);
    EXPECT_EQ(app::MulDiv(1, 2, 0), -1);
    EXPECT_EQ(app::MulDiv(2000000000, 2000000000, 1), -1);
}

TEST(MeasureAverageCharSize, IsTheTruncatedMeanOfTheLettersAndTheFontHeight)
{
    QFont monospaced(QStringLiteral("IPAGothic"));
    monospaced.setPixelSize(12);
    const QFontMetrics metrics(monospaced);
    const QSize average = app::MeasureAverageCharSize(monospaced);
    EXPECT_EQ(average.height(), metrics.height());
    const int all = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_LE(average.width() * 52, all);
    EXPECT_GT((average.width() + 1) * 52, all);
    EXPECT_GT(average.width(), 0);
}

} // namespace
} // namespace kivra::test
