// Help: the requests the program makes and what the help viewer shows.
#include "AppTestSupport.h"

#include "app/Application.h"
#include "app/HelpViewer.h"
#include "app/MessageDialog.h"
#include "app/QtText.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"
#include "tests/support/AccessibilityEvents.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

namespace kivra::test {
namespace {

using platform::Text;

const auto& T() { return texts::Texts(); }

constexpr const char* SmallHelp = "KIVRA HELP\n"
                                  "# a comment\n"
                                  "@title Kivra ヘルプ\n"
                                  "@topic 10 目次\n"
                                  "{20|探すもの} と {30|ボタン}\n"
                                  "@topic 20 探すもの\n"
                                  "長い名前と\n"
                                  "小文字の名前。\n"
                                  "\n"
                                  "- 一つ目 <b>\n"
                                  "- 二つ目\n"
                                  "@topic 30 ボタン\n"
                                  "検索開始\n";

class HelpTest : public testing::Test {
protected:
    HelpTest()
    {
        files.SetModuleFileName("C:\\KIVRA\\KIVRA.EXE");
        files.AddDrive('C', platform::DRIVE_FIXED);
        files.AddDirectory("C:\\KIVRA");
        files.AddFile("C:\\KIVRA\\KIVRA.HLP", platform::FILE_ATTRIBUTE_ARCHIVE, {}, SmallHelp);
    }

    app::HelpViewer* Viewer() const
    {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* viewer = qobject_cast<app::HelpViewer*>(window); viewer && viewer->isVisible()) return viewer;
        }
        return nullptr;
    }

    platform::MemoryPlatform files;
    platform::ScopedPlatform use{files.AsPlatform()};
    app::TApplication application;
};

TEST_F(HelpTest, NothingHappensWithoutAHelpFilePath)
{
    EXPECT_FALSE(application.ShowHelp(app::HELP_CONTENTS, 0));
    EXPECT_FALSE(application.ShowHelpContext(20));
    EXPECT_EQ(Viewer(), nullptr);
}

TEST_F(HelpTest, TheContentsCommandOpensTheFirstTopicUnderTheFilesTitle)
{
    application.SetHelpFilePath("C:\\KIVRA\\KIVRA.HLP");
    EXPECT_TRUE(application.ShowHelp(app::HELP_CONTENTS, 0));
    app::HelpViewer* viewer = Viewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->windowTitle(), QString::fromUtf8("Kivra ヘルプ"));
    EXPECT_TRUE(viewer->PageText().startsWith(QString::fromUtf8("目次\n探すもの と ボタン")))
        << viewer->PageText().toStdString();
}

TEST_F(HelpTest, EscapeClosesTheViewer)
{
    application.SetHelpFilePath("C:\\KIVRA\\KIVRA.HLP");
    application.ShowHelp(app::HELP_CONTENTS, 0);
    app::HelpViewer* viewer = Viewer();
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(viewer));
    QTest::keyClick(viewer->findChild<QTextBrowser*>(QStringLiteral("Document")), Qt::Key_Escape);
    EXPECT_EQ(Viewer(), nullptr);
}

TEST_F(HelpTest, TheContextCommandOpensTheNumberedTopicWithItsParagraphsAndList)
{
    application.SetHelpFilePath("C:\\KIVRA\\KIVRA.HLP");
    EXPECT_TRUE(application.ShowHelpContext(20));
    const QString page = Viewer()->PageText();
    EXPECT_TRUE(page.contains(QString::fromUtf8("長い名前と 小文字の名前。"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QString::fromUtf8("一つ目 <b>"))) << "markup in the file is shown as text";
    EXPECT_FALSE(page.contains(QStringLiteral("@topic")));
}

TEST_F(HelpTest, LinksLeadToTheirTopicsAndBackReturns)
{
    application.SetHelpFilePath("C:\\KIVRA\\KIVRA.HLP");
    application.ShowHelp(app::HELP_CONTENTS, 0);
    app::HelpViewer* viewer = Viewer();
    auto* document = viewer->findChild<QTextBrowser*>(QStringLiteral("Document"));
    emit document->anchorClicked(QUrl(QStringLiteral("topic:30")));
    EXPECT_TRUE(viewer->PageText().startsWith(QString::fromUtf8("ボタン"))) << viewer->PageText().toStdString();
    auto* back = viewer->findChild<QPushButton*>(QStringLiteral("Back"));
    ASSERT_TRUE(back->isEnabled());
    QTest::mouseClick(back, Qt::LeftButton);
    EXPECT_TRUE(viewer->PageText().startsWith(QString::fromUtf8("目次")));
    EXPECT_FALSE(back->isEnabled());
}

TEST_F(HelpTest, AScreenReaderFindsThePagesLinksAndFollowsTheFocusBetweenThem)
{
    test::AccessibilityEvents events;
    application.SetHelpFilePath("C:\\KIVRA\\KIVRA.HLP");
    application.ShowHelp(app::HELP_CONTENTS, 0);
    app::HelpViewer* viewer = Viewer();
    ASSERT_TRUE(QTest::qWaitForWindowActive(viewer));
    auto* document = viewer->findChild<QTextBrowser*>(QStringLiteral("Document"));
    QAccessibleInterface* page = QAccessible::queryAccessibleInterface(document);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(viewer)->role(), QAccessible::Window);
    EXPECT_EQ(page->text(QAccessible::Name), viewer->windowTitle());
    EXPECT_EQ(page->textInterface()->text(0, page->textInterface()->characterCount()), viewer->PageText());
    ASSERT_EQ(page->childCount(), 2);
    EXPECT_EQ(page->child(1)->role(), QAccessible::Link);
    EXPECT_EQ(page->child(1)->text(QAccessible::Name), QString::fromUtf8("ボタン"));

    // Tab moves from link to link; each is told, after the page itself (-1)
    // as it takes the focus.
    document->setFocus(Qt::TabFocusReason);
    QTest::keyClick(document, Qt::Key_Tab);
    QTest::keyClick(document, Qt::Key_Tab);
    EXPECT_EQ(events.FocusedChildren(document), (std::vector<int>{-1, 0, 1}));
    EXPECT_EQ(page->focusChild(), page->child(1));

    page->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(viewer->PageText().startsWith(QString::fromUtf8("ボタン"))) << "pressing a link follows it";
}

TEST_F(HelpTest, AnUnknownTopicIsReportedInTheViewer)
{
    application.SetHelpFilePath("C:\\KIVRA\\KIVRA.HLP");
    EXPECT_TRUE(application.ShowHelpContext(99));
    Text expected = T().HelpTopicMissingFormat;
    expected.replace(expected.find("%d"), 2, "99");
    EXPECT_EQ(Viewer()->PageText(), app::ToQString(expected));
}

TEST_F(HelpTest, AMissingFileIsReportedByTheViewerItself)
{
    application.SetHelpFilePath("C:\\KIVRA\\NONE.HLP");
    EXPECT_TRUE(application.ShowHelp(app::HELP_CONTENTS, 0));
    Text expected = T().HelpFileMissingFormat;
    expected.replace(expected.find("%s"), 2, "C:\\KIVRA\\NONE.HLP");
    ASSERT_NE(Viewer(), nullptr);
    EXPECT_EQ(Viewer()->PageText(), app::ToQString(expected));
}

TEST_F(HelpTest, AFileThatCannotBeReadOrIsNoHelpFileIsReported)
{
    files.HoldOpen("C:\\KIVRA\\KIVRA.HLP");
    application.SetHelpFilePath("C:\\KIVRA\\KIVRA.HLP");
    application.ShowHelp(app::HELP_CONTENTS, 0);
    Text unreadable = T().HelpFileUnreadableFormat;
    unreadable.replace(unreadable.find("%s"), 2, "C:\\KIVRA\\KIVRA.HLP");
    unreadable.replace(unreadable.find("%d"), 2, "32");
    EXPECT_EQ(Viewer()->PageText(), app::ToQString(unreadable));

    files.AddFile("C:\\KIVRA\\README.TXT", platform::FILE_ATTRIBUTE_ARCHIVE, {}, "just text\n@topic 1 x\n");
    application.SetHelpFilePath("C:\\KIVRA\\README.TXT");
    application.ShowHelp(app::HELP_CONTENTS, 0);
    Text invalid = T().HelpFileInvalidFormat;
    invalid.replace(invalid.find("%s"), 2, "C:\\KIVRA\\README.TXT");
    EXPECT_EQ(Viewer()->PageText(), app::ToQString(invalid));
}

TEST_F(HelpTest, OtherCommandsAreRefusedAndTheQuitCommandClosesTheViewer)
{
    application.SetHelpFilePath("C:\\KIVRA\\KIVRA.HLP");
    EXPECT_FALSE(application.ShowHelp(0x0101, 0));
    EXPECT_TRUE(application.ShowHelp(app::HELP_CONTENTS, 0));
    EXPECT_TRUE(application.ShowHelp(2, 0));
    EXPECT_EQ(Viewer(), nullptr);
}

TEST(HelpPage, ACaptionsAccessKeyIsShownUnderlinedAsTheControlShowsIt)
{
    app::HelpTopic topic{
        30, QStringLiteral("ボタン"), {QString::fromUtf8("- 検索開始(&O): 調べます。R&D と (&&) はそのまま。")}};
    const QString page = app::HelpDocument::PageOf(topic);
    EXPECT_TRUE(page.contains(QString::fromUtf8("検索開始(<u>O</u>)"))) << page.toStdString();
    EXPECT_FALSE(page.contains(QStringLiteral("&amp;O"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("R&amp;D"))) << "an ampersand elsewhere is text";
}

TEST(HelpPlace, TheViewerOpensBesideTheProgramNeverOverItsSelectors)
{
    const QSize viewer(420, 480);
    // 1600 x 1200: room on the right.
    const QRect wide(0, 0, 1600, 1200);
    EXPECT_EQ(app::HelpViewerPlace(wide, QRect(550, 415, 500, 370), viewer), QRect(1050, 415, 420, 480));
    // 1024 x 768: 262 pixels either side; narrower, on the right.
    const QRect small(0, 0, 1024, 768);
    const QRect centred(262, 199, 500, 370);
    const QRect place = app::HelpViewerPlace(small, centred, viewer);
    EXPECT_FALSE(place.intersects(centred)) << "the directory list stays in view";
    EXPECT_EQ(place, QRect(762, 199, 262, 480));
    // A program near the right edge: the viewer goes left of it.
    EXPECT_EQ(app::HelpViewerPlace(wide, QRect(1000, 100, 500, 370), viewer), QRect(580, 100, 420, 480));
    // No readable room on either side: at the screen's right edge.
    EXPECT_EQ(app::HelpViewerPlace(QRect(0, 0, 800, 600), QRect(150, 115, 500, 370), viewer),
              QRect(380, 115, 420, 480));
}

TEST_F(HelpTest, TheViewerStaysUsableWhileAMessageIsShown)
{
    TTestForm* main = nullptr;
    application.CreateOwnedForm(main);
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    application.SetHelpFilePath("C:\\KIVRA\\KIVRA.HLP");
    application.ShowHelp(app::HELP_CONTENTS, 0);
    app::HelpViewer* viewer = Viewer();
    ASSERT_NE(viewer, nullptr);
    struct BlockWatch : QObject {
        int blocked = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            blocked += event->type() == QEvent::WindowBlocked;
            return false;
        }
    } watch;
    viewer->installEventFilter(&watch);
    bool enabledMeanwhile = false;
    QTimer::singleShot(50, [&] {
        enabledMeanwhile = viewer->isEnabled();
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<app::TMessageForm*>(window); dialog && dialog->isVisible()) dialog->close();
    });
    app::ShowMessageDialog(T().VerdictNormal, app::MessageDialogType::Information, app::YesNoButtons, 0);
    EXPECT_TRUE(enabledMeanwhile);
    EXPECT_EQ(watch.blocked, 0) << "no modal state blocks it";
    EXPECT_TRUE(main->isEnabled()) << "the program's window is enabled again";
}

TEST(HelpFile, TheProgramsHelpFileIsAHelpFileWhoseLinksAllLeadSomewhere)
{
    QFile file(QStringLiteral(KIVRA_HELP_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto help =
        app::HelpDocument::Parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    ASSERT_TRUE(help);
    const QString contents = app::HelpDocument::PageOf(help->Contents());
    static const QRegularExpression link(QStringLiteral("topic:(\\d+)"));
    int links = 0;
    for (const QString& source : {contents}) {
        for (auto match = link.globalMatch(source); match.hasNext(); ++links) {
            const auto number = match.next().captured(1).toUInt();
            const app::HelpTopic* topic = help->Find(number);
            ASSERT_NE(topic, nullptr) << number;
            // Every topic the contents lead to leads only to existing topics.
            for (auto inner = link.globalMatch(app::HelpDocument::PageOf(*topic)); inner.hasNext();)
                EXPECT_NE(help->Find(inner.next().captured(1).toUInt()), nullptr);
        }
    }
    EXPECT_GE(links, 5) << "the contents lead to the program's topics";
}

} // namespace
} // namespace kivra::test
