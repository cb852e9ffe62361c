#include "tests/ui/UiTestSupport.h"

#include "app/Application.h"
#include "app/Fonts.h"
#include "app/MessageDialog.h"
#include "app/QtText.h"
#include "selectors/DirectoryListBox.h"
#include "ui/ListBox.h"
#include "ui/Main.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kivra::ui::testing {

namespace fs = std::filesystem;

WindowState StateOf(const TForm1& window)
{
    WindowState state;
    state.caption = window.Caption();
    const QPushButton* buttons[] = {window.BtnRun,       window.BtnLongName, window.BtnShortName,
                                    window.BtnDifferent, window.BtnLongFile, window.BtnKomojiFile};
    for (std::size_t i = 0; i < state.buttons.size(); ++i)
        state.buttons[i] = buttons[i]->isEnabledTo(&window); // while a dialog disables the window too
    state.rows = window.ListBox1->Count();
    state.selectedRow = window.ListBox1->ItemIndex();
    return state;
}

TForm1& OpenMainWindow(std::optional<app::TApplication>& application)
{
    // The fonts the program's main sequence puts in place.
    app::InstallFontSubstitutions();
    application.emplace();
    application->CreateOwnedForm(Form1);
    Form1->show();
    Form1->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(Form1));
    return *Form1;
}

void PrintTo(const WindowState& state, std::ostream* out)
{
    *out << "{caption \"" << Readable(state.caption) << "\", buttons ";
    for (bool enabled : state.buttons) *out << (enabled ? '1' : '0');
    *out << ", rows " << state.rows << ", selected " << state.selectedRow << "}";
}

DialogAnswerer::DialogAnswerer(const TForm1* window, QString button) : window_(window), button_(std::move(button))
{
    connect(&timer_, &QTimer::timeout, this, &DialogAnswerer::Poll);
    timer_.start(10);
}

void DialogAnswerer::Poll()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<app::TMessageForm*>(widget);
        if (!dialog || !dialog->isVisible()) continue;
        bool known = false;
        for (const auto& done : answered_) known = known || done == dialog;
        if (known) continue;
        answered_.emplace_back(dialog);

        SeenDialog seen;
        if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("Message"))) seen.text = app::ToText(label->text());
        seen.title = app::ToText(dialog->windowTitle());
        QPushButton* answer = nullptr;
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            seen.buttons.push_back(button->objectName().toStdString());
            if (button->objectName() == button_) answer = button;
        }
        if (window_) seen.window = StateOf(*window_);
        seen_.push_back(seen);
        if (OnDialog) OnDialog(seen);
        if (answer)
            QTest::mouseClick(answer, Qt::LeftButton);
        else
            dialog->close();
    }
}

StateRecorder::StateRecorder(const TForm1* window) : window_(window)
{
    connect(&timer_, &QTimer::timeout, this, &StateRecorder::Sample);
    timer_.start(20);
    Sample();
}

void StateRecorder::Sample()
{
    WindowState state = StateOf(*window_);
    if (states_.empty() || !(states_.back() == state)) states_.push_back(std::move(state));
}

void EnterSubdirectory(selectors::TDirectoryListBox& list, const platform::Text& name, Gesture gesture)
{
    int row = -1;
    for (int i = list.PathItemCount(); i < list.ItemCount(); ++i) {
        if (platform::UpperCaseText(list.ItemText(i)) == platform::UpperCaseText(name)) row = i;
    }
    ASSERT_NE(row, -1) << "no item " << Readable(name) << " in the directory list";
    QListWidgetItem* item = list.item(row);
    list.setFocus();
    if (gesture == Gesture::DoubleClick) {
        list.scrollToItem(item);
        const QPoint centre = list.visualItemRect(item).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centre);
    } else {
        QTest::keyClicks(&list, app::ToQString(name));
        QTest::keyClick(&list, Qt::Key_Return);
    }
}

ShortTempDir::ShortTempDir()
{
    std::string pattern = "/tmp/kvXXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ShortTempDir::~ShortTempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ShortTempDir::Name() const { return fs::path(path_).filename().string(); }

void ShortTempDir::MakeDirectory(const std::string& relative) const
{
    fs::create_directories(fs::path(path_) / relative);
}

void ShortTempDir::MakeFile(const std::string& relative, const std::string& content) const
{
    std::ofstream(fs::path(path_) / relative, std::ios::binary) << content;
}

std::string RootOnlyMountTable() { return "/dev/root / ext4 rw 0 0\n"; }

std::string ReadLinuxFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string ExecutableLinuxDirectory() { return QCoreApplication::applicationDirPath().toStdString() + "/"; }

std::string Readable(const platform::Text& text) { return platform::Utf8FromCp932(text); }

} // namespace kivra::ui::testing
