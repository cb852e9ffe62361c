// The application frame: its title, the forms it creates and owns, its
// message loop and the end of the program.
#include "AppTestSupport.h"

#include "app/Application.h"
#include "app/Fonts.h"
#include "app/MessageDialog.h"
#include "app/QtText.h"
#include "platform/Exceptions.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivra::test {
namespace {

using app::TApplication;
using platform::Text;

const auto& T() { return texts::Texts(); }

// Runs `call` from the message queue, as a handler of a posted message.
void Post(std::function<void()> call) { QMetaObject::invokeMethod(qApp, std::move(call), Qt::QueuedConnection); }

class FrameTest : public testing::Test {
protected:
    FrameTest()
    {
        files.SetModuleFileName("C:\\KIVRA\\KIVRA.EXE");
        TTestForm::duringConstruction = nullptr;
        TTestForm::createHandler = nullptr;
        TTestForm::showHandler = nullptr;
        TTestForm::destroyHandler = nullptr;
    }
    ~FrameTest() override { application.reset(); }

    TApplication& Start()
    {
        application = std::make_unique<TApplication>();
        application->PumpPendingMessages();
        return *application;
    }

    platform::MemoryPlatform files;
    platform::ScopedPlatform use{files.AsPlatform()};
    std::unique_ptr<TApplication> application;
};

// ---- The application title ------------------------------------------------

Text TitleFor(const Text& modulePath)
{
    platform::MemoryPlatform files;
    files.SetModuleFileName(modulePath);
    platform::ScopedPlatform use(files.AsPlatform());
    TApplication application;
    return application.ApplicationTitle();
}

TEST(ApplicationTitle, KeepsTheFirstLetterAndLowerCasesTheRestOfTheNameBeforeItsFirstDot)
{
    EXPECT_EQ(TitleFor("C:\\KIVRA\\KIVRA.EXE"), "Kivra");
    EXPECT_EQ(TitleFor("C:\\KIVRA\\kivra.exe"), "kivra");
    EXPECT_EQ(TitleFor("C:\\TOOLS\\MY.TOOL.EXE"), "My");
}

TEST(ApplicationTitle, OfANameWithoutADotIsTheWholeNameLowerCasedAfterItsFirstLetter)
{
    EXPECT_EQ(TitleFor("C:\\home\\user\\build\\bin\\kivra"), "kivra");
    EXPECT_EQ(TitleFor("C:\\BIN\\KIVRA"), "Kivra");
}

TEST(ApplicationTitle, IgnoresDotsOfTheDirectoriesAndBackslashBytesInsideDoubleByteCharacters)
{
    EXPECT_EQ(TitleFor("C:\\V1.0\\KIVRA"), "Kivra");
    // 0x95 0x5C is one character whose second byte is the backslash's.
    EXPECT_EQ(TitleFor("C:\\BIN\\X\x95\x5CKIVRA.EXE"), "X\x95\x5Ckivra");
}

TEST(ApplicationTitle, OfAPathTooLongForItsBufferHoldsNoZeroByte)
{
    const platform::Text title = TitleFor("C:\\" + platform::Text(300, 'D') + "\\KIVRA.EXE");
    EXPECT_EQ(title.find('\0'), platform::Text::npos);
    EXPECT_EQ(title, "D" + platform::Text(251, 'd')) << "the name's part of the 255 bytes that fit";
}

TEST_F(FrameTest, TheDesktopShowsTheProgramUnderItsTitleWithItsIcon)
{
    Start();
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Kivra"));
    EXPECT_FALSE(QGuiApplication::windowIcon().isNull());
}

// ---- Forms with stored layouts ---------------------------------------------

TEST_F(FrameTest, AMissingLayoutRaisesTheResourceErrorAndLeavesNoForm)
{
    TApplication& app = Start();
    TMissingForm* reference = reinterpret_cast<TMissingForm*>(&app);
    try {
        app.CreateOwnedForm(reference);
        FAIL() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "TMissingForm" + T().ResourceNotFoundFormat.substr(2));
    }
    EXPECT_EQ(reference, nullptr);
    EXPECT_EQ(app.MainForm(), nullptr);
}

TEST_F(FrameTest, AFormTakesItsLayoutWithTheTextTableRowsItNames)
{
    app::RegisterFormWidget("TTestGadget", [](QWidget* parent) {
        auto* gadget = new QLabel(parent);
        gadget->setProperty("made", true);
        return gadget;
    });
    TApplication& app = Start();
    TTestForm* form = nullptr;
    app.CreateOwnedForm(form);
    ASSERT_NE(form, nullptr);

    EXPECT_EQ(form->Caption(), T().FormCaption);
    EXPECT_EQ(form->Component<QPushButton>("Button")->text(), app::ToQString(T().BtnRunCaption));
    // A reference to a row the table does not have is left as written.
    EXPECT_EQ(form->Component<QLabel>("Plain")->text(), QStringLiteral("@NoSuchRow"));
    QWidget* gadget = form->Component("Gadget");
    ASSERT_NE(gadget, nullptr);
    EXPECT_TRUE(gadget->property("made").toBool());
    EXPECT_EQ(gadget->geometry(), QRect(250, 10, 240, 24));

    QMenuBar* menu = form->menuBar();
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), app::ToQString(T().MenuFileCaption));
    auto* exit = form->Component<QAction>("MenuExit");
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->text(), app::ToQString(T().MenuExitCaption));

    EXPECT_EQ(form->font().family(), app::ToQString(T().FormFontName));
    // Characters 19 pixels high in "System": its stand-in's size.
    EXPECT_EQ(form->font().pixelSize(), app::StandInPixelSize(app::ToQString(T().FormFontName), 19));
    EXPECT_EQ(form->Component<QPushButton>("Button")->font(), form->font());
    EXPECT_EQ(QRect(form->Left(), form->Top(), form->Width(), form->Height()), QRect(200, 107, 500, 370));
}

TEST_F(FrameTest, SetBoundsPlacesTheOuterFrame)
{
    TApplication& app = Start();
    TTestForm* form = nullptr;
    app.CreateOwnedForm(form);
    form->SetBounds(-3, 40, 320, 200);
    EXPECT_EQ(QRect(form->Left(), form->Top(), form->Width(), form->Height()), QRect(-3, 40, 320, 200));
    form->SetCaption("\x83\x65\x83\x58\x83\x67"); // テスト
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("テスト"));
    EXPECT_EQ(form->Caption(), "\x83\x65\x83\x58\x83\x67");
}

// The frame around a window is known only once the window exists; the
// outer geometry set before must hold all the same.
TEST_F(FrameTest, TheOuterGeometrySetBeforeTheWindowExistsHoldsOnceItIsShown)
{
    TApplication& app = Start();
    TTestForm* form = nullptr;
    app.CreateOwnedForm(form);
    form->SetBounds(120, 90, 500, 370);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    QTest::qWait(50);
    EXPECT_EQ(QRect(form->Left(), form->Top(), form->Width(), form->Height()), QRect(120, 90, 500, 370));
    const QMargins frame = form->windowHandle()->frameMargins();
    EXPECT_EQ(form->size(), QSize(500 - frame.left() - frame.right(), 370 - frame.top() - frame.bottom()))
        << "the client area is what the frame leaves";
}

TEST_F(FrameTest, SetBoundsOnAShownWindowPlacesItsOuterFrame)
{
    TApplication& app = Start();
    TTestForm* form = nullptr;
    app.CreateOwnedForm(form);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    form->SetBounds(30, 40, 420, 300);
    QTest::qWait(50);
    EXPECT_EQ(QRect(form->Left(), form->Top(), form->Width(), form->Height()), QRect(30, 40, 420, 300));
}

TEST_F(FrameTest, TheReferenceHoldsTheFormWhileItIsConstructedAndTheFirstFormIsTheMainForm)
{
    TApplication& app = Start();
    TTestForm* first = nullptr;
    TTestForm* second = nullptr;
    std::vector<bool> sawItself;
    TTestForm::duringConstruction = [&](TTestForm* self) { sawItself.push_back(first == self || second == self); };
    TTestForm::createHandler = [&](QObject* sender) { sawItself.push_back(first == sender || second == sender); };
    app.CreateOwnedForm(first);
    app.CreateOwnedForm(second);
    EXPECT_EQ(sawItself, (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(app.MainForm(), first);
    EXPECT_NE(first, second);
}

TEST_F(FrameTest, AFailingCreationHandlerIsReportedAndTheFormIsCreatedAllTheSame)
{
    TApplication& app = Start();
    TTestForm::createHandler = [](QObject*) { throw Exception("boom"); };
    QString shown;
    ModalAnswer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    TTestForm* form = nullptr;
    app.CreateOwnedForm(form);
    EXPECT_EQ(shown, QStringLiteral("boom."));
    EXPECT_NE(form, nullptr);
    EXPECT_EQ(app.MainForm(), form);
}

TEST_F(FrameTest, TheShowHandlerRunsWhenTheFormFirstBecomesVisibleOnly)
{
    TApplication& app = Start();
    int shows = 0;
    TTestForm::showHandler = [&](QObject*) { ++shows; };
    TTestForm* form = nullptr;
    app.CreateOwnedForm(form);
    EXPECT_EQ(shows, 0);
    form->show();
    EXPECT_EQ(shows, 1);
    form->hide();
    form->show();
    EXPECT_EQ(shows, 1);
}

TEST_F(FrameTest, TheShutdownDestroysTheFormsLastCreatedFirstEachAfterItsDestroyHandler)
{
    TApplication& app = Start();
    std::vector<int> order;
    TTestForm* first = nullptr;
    TTestForm* second = nullptr;
    TTestForm::destroyHandler = [&](QObject* sender) {
        order.push_back(sender == first ? 1 : sender == second ? 2 : 0);
        if (sender == second) throw Exception("in destroy");
    };
    app.CreateOwnedForm(first);
    app.CreateOwnedForm(second);
    QPointer<QWidget> watchFirst = first;
    QPointer<QWidget> watchSecond = second;
    ModalAnswer answer([](QWidget* modal) { qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click(); });
    app.Shutdown();
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
    EXPECT_TRUE(answer.Answered()) << "the failing destroy handler is reported";
    EXPECT_TRUE(watchFirst.isNull());
    EXPECT_TRUE(watchSecond.isNull());
    EXPECT_EQ(app.MainForm(), nullptr);
}

// ---- After a modal wait -------------------------------------------------------

// A shown main window with two controls that take the focus; the second has it.
QLineEdit* FocusOnTheSecondControl(TTestForm& form)
{
    auto* edit = new QLineEdit(form.centralWidget());
    edit->setGeometry(10, 100, 115, 25);
    form.show();
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form)) ADD_FAILURE() << "the window did not become active";
    edit->setFocus();
    return edit;
}

TEST_F(FrameTest, TheFocusReturnsToItsControlWhenAMessageDialogCloses)
{
    TApplication& app = Start();
    TTestForm* form = nullptr;
    app.CreateOwnedForm(form);
    QLineEdit* edit = FocusOnTheSecondControl(*form);
    ASSERT_EQ(QApplication::focusWidget(), edit);

    ModalAnswer answer([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(app::ShowMessageDialog(T().VerdictNormal, app::MessageDialogType::Information, app::YesNoButtons, 0),
              app::mrNo);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    QTest::qWait(20);
    EXPECT_EQ(QApplication::focusWidget(), edit);
    EXPECT_EQ(form->focusWidget(), edit);
}

TEST_F(FrameTest, TheFocusReturnsToItsControlWhenTheMessageBoxOfAnExceptionCloses)
{
    TApplication& app = Start();
    TTestForm* form = nullptr;
    app.CreateOwnedForm(form);
    QLineEdit* edit = FocusOnTheSecondControl(*form);
    ASSERT_EQ(QApplication::focusWidget(), edit);

    ModalAnswer answer([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Ok)->click();
    });
    app::Guarded([] { throw Exception("boom"); });
    EXPECT_TRUE(answer.Answered());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    QTest::qWait(20);
    EXPECT_EQ(QApplication::focusWidget(), edit);
}

// ---- The message loop ------------------------------------------------------

TEST_F(FrameTest, DispatchOneMessageTellsWhetherTheQueueHeldAnything)
{
    TApplication& app = Start();
    EXPECT_FALSE(app.DispatchOneMessage());
    bool ran = false;
    Post([&] { ran = true; });
    EXPECT_TRUE(app.DispatchOneMessage());
    EXPECT_TRUE(ran);
    EXPECT_FALSE(app.DispatchOneMessage());
}

TEST_F(FrameTest, ObjectsThatAHandlerLetsGoLaterAreDeletedByTheLoop)
{
    TApplication& app = Start();
    QPointer<QObject> later;
    Post([&] {
        later = new QObject;
        later->deleteLater();
    });
    for (int pass = 0; pass < 100 && later; ++pass) app.DispatchOneMessage();
    EXPECT_TRUE(later.isNull());
}

TEST_F(FrameTest, AQuitTakenDuringAPumpSetsTheFlagAndThePumpHandlesTheRestOfTheQueue)
{
    TApplication& app = Start();
    std::vector<std::string> handled;
    Post([&] { handled.push_back("before"); });
    app.RequestQuit();
    Post([&] { handled.push_back("after"); });
    EXPECT_FALSE(app.QuitRequested()) << "the quit is a message: nothing happens until it is taken";
    app.PumpPendingMessages();
    EXPECT_TRUE(app.QuitRequested());
    EXPECT_EQ(handled, (std::vector<std::string>{"before", "after"}));
}

TEST_F(FrameTest, HandleNextMessageWaitsForAMessageWhenTheQueueIsEmpty)
{
    TApplication& app = Start();
    bool fired = false;
    QTimer::singleShot(30, [&] { fired = true; });
    while (!fired) app.HandleNextMessage();
    EXPECT_TRUE(fired);
    EXPECT_FALSE(app.QuitRequested());
}

TEST_F(FrameTest, TheLoopShowsTheMainFormAndEndsAfterTheHandlerDuringWhichTheMainWindowWasClosed)
{
    TApplication& app = Start();
    TTestForm* form = nullptr;
    bool shown = false;
    TTestForm::showHandler = [&](QObject*) { shown = true; };
    app.CreateOwnedForm(form);

    std::vector<std::string> steps;
    app::TModalResult dialogResult = -1;
    Post([&] {
        // A handler waiting cooperatively while the user closes the window.
        QTimer::singleShot(0, [&] { form->Close(); });
        for (int pass = 0; pass < 1000 && !app.QuitRequested(); ++pass) app.PumpPendingMessages();
        steps.push_back(app.QuitRequested() ? "quit seen in the wait" : "no quit");
        EXPECT_TRUE(form->isVisible()) << "closing the main window does not hide it";
        dialogResult =
            app::ShowMessageDialog(T().VerdictNormal, app::MessageDialogType::Information, app::YesNoButtons, 0);
        steps.push_back("handler ends");
    });
    app.RunMessageLoop();

    EXPECT_TRUE(shown);
    EXPECT_EQ(steps, (std::vector<std::string>{"quit seen in the wait", "handler ends"}));
    EXPECT_EQ(dialogResult, app::mrCancel);
    EXPECT_TRUE(app.QuitRequested());
    EXPECT_TRUE(form->isVisible()) << "the main window stays until the program ends";
}

TEST_F(FrameTest, ClosingAnotherFormHidesItWithoutEndingTheProgram)
{
    TApplication& app = Start();
    TTestForm* main = nullptr;
    TTestForm* other = nullptr;
    app.CreateOwnedForm(main);
    app.CreateOwnedForm(other);
    main->show();
    other->show();
    other->Close();
    app.PumpPendingMessages();
    EXPECT_FALSE(other->isVisible());
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(app.QuitRequested());
}

TEST_F(FrameTest, TheEndOfTheDesktopSessionEndsTheProgramAsClosingTheMainWindowDoes)
{
    TApplication& app = Start();
    TTestForm* form = nullptr;
    app.CreateOwnedForm(form);
    form->show();
    // What the session manager sends the program when the session ends.
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(qApp, &quit);
    EXPECT_TRUE(app.QuitRequested());
    EXPECT_TRUE(form->isVisible());
}

} // namespace
} // namespace kivra::test
