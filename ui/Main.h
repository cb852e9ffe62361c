#pragma once
// TForm1, the program's one window: the drive selector and the directory
// list that pick the scan root, the read-only root field, the six command
// buttons, the list box that shows one result list at a time, and the menu.
// The window owns the five result lists; the run command and the five views
// work on them.

#include "app/Form.h"
#include "platform/CodePage.h"
#include "scan/ResultFiles.h"
#include "scan/StringList.h"
#include "scan/TreeWalk.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;

namespace kivra::selectors {
class TDriveComboBox;
class TDirectoryListBox;
} // namespace kivra::selectors

namespace kivra::ui {

class TListBox;

class TForm1 : public app::TForm, private scan::SaveFailureReporter {
    Q_OBJECT

public:
    TForm1();
    ~TForm1() override;

    // Controls of the stored layout, owned by the window.
    TListBox* ListBox1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* MenuFile = nullptr;
    QMenu* MenuHelp = nullptr;
    QAction* MenuExit = nullptr;
    QAction* MenuHelpDsp = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    selectors::TDriveComboBox* DriveComboBox1 = nullptr;
    selectors::TDirectoryListBox* DirectoryListBox1 = nullptr;
    QPushButton* BtnRun = nullptr;
    QPushButton* BtnLongName = nullptr;
    QPushButton* BtnShortName = nullptr;
    QPushButton* BtnDifferent = nullptr;
    QPushButton* BtnLongFile = nullptr;
    QPushButton* BtnKomojiFile = nullptr;

    // The five result lists, from FormCreate to FormDestroy.
    scan::TStringList* LongNameList = nullptr;
    scan::TStringList* ShortNameList = nullptr;
    scan::TStringList* DifferentList = nullptr;
    scan::TStringList* LongFileList = nullptr;
    scan::TStringList* KomojiFileList = nullptr;

    // The caption as designed: the prefix of every progress caption.
    platform::Text BaseCaption;

    // Event handlers.
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void FormShow(QObject* Sender);
    void DriveComboBox1Change(QObject* Sender);
    void DirectoryListBox1Change(QObject* Sender);
    void MenuExitClick(QObject* Sender);
    void MenuHelpDspClick(QObject* Sender);
    void BtnRunClick(QObject* Sender);
    void BtnLongNameClick(QObject* Sender);
    void BtnShortNameClick(QObject* Sender);
    void BtnDifferentClick(QObject* Sender);
    void BtnLongFileClick(QObject* Sender);
    void BtnKomojiFileClick(QObject* Sender);

    // The cooperative wait: dispatches the pending messages over and over
    // until the tick counter has passed the deadline.
    void DelayTime(std::int32_t milliseconds);

    // The tree walk and the short form of one path, as the window's methods.
    void ListFiles(platform::Text Path, std::uint16_t Mask, bool TakeZeroAttr, bool ClearList, scan::TStringList& List,
                   bool Recurse, bool MarkDirs, bool ClearAttrs, scan::WalkProgress* progress = nullptr);
    platform::Text ShortPathOf(const platform::Text& LongPath);

private:
    // The save step's report of the first file it could not write.
    void ReportSaveFailure(const platform::Text& message) override;

    void SetCommandButtons(bool enabled);
    void SetRootField(const platform::Text& text);
    platform::Text RootField() const;
    void SetProgressCaption(const platform::Text& step);
    // Runs one step of the run command off the GUI thread; meanwhile the
    // window is painted and its caption tells the step and, when `entries`
    // is given, the entries so far, or, when `outOf` is not zero, the lines
    // written so far of all `outOf` lines (the step alone again once it is
    // over).
    void RunOffGuiThread(const platform::Text& step, const std::atomic<std::size_t>* entries, std::size_t outOf,
                         const std::function<void()>& work);
    scan::ResultLists Lists();

    // One result view: its button (whose caption names the list box while
    // it shows the view), the list, how many entries its lines describe, the
    // counting text and the message for an empty list.
    void ShowResultView(const QPushButton& view, const scan::TStringList& list, std::int32_t count,
                        const platform::Text& countingText, const platform::Text& emptyMessage);
    void ConnectControls();
};

// The program's main window, filled by the application's CreateOwnedForm
// before the window is constructed.
extern TForm1* Form1;

} // namespace kivra::ui
