#include "ui/Main.h"

#include "app/Application.h"
#include "app/MessageDialog.h"
#include "app/OffThread.h"
#include "app/QtText.h"
#include "app/TextFormat.h"
#include "platform/Exceptions.h"
#include "platform/WinApi.h"
#include "resources/Texts.h"
#include "scan/Classify.h"
#include "scan/Run.h"
#include "scan/TreeWalk.h"
#include "selectors/DirectoryListBox.h"
#include "selectors/DriveComboBox.h"
#include "selectors/Registration.h"
#include "ui/ListBox.h"

#include <QAction>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include <atomic>
#include <optional>
#include <string>

namespace kivra::ui {

TForm1* Form1 = nullptr;

namespace {

using app::MessageDialogType;
using kivra::texts::Texts;

using app::AbortButton;
using app::YesButton;
using app::YesNoButtons;

constexpr std::int32_t OneSecond = 1000;
// How often the caption tells the entries found so far.
constexpr int ProgressInterval = 100;

// The form loader has to know the layout's own controls (the selectors and
// the list box) before the window's layout is read.
const char* PrepareLayout()
{
    static const bool registered = [] {
        selectors::RegisterSelectorWidgets();
        app::RegisterFormWidget("TListBox", [](QWidget* parent) { return new TListBox(parent); });
        return true;
    }();
    (void)registered;
    return "TForm1";
}

// A caption as a screen reader should say it: "ﾛﾝｸﾞ一覧(&L)" is "ﾛﾝｸﾞ一覧".
QString WithoutAccessKey(const QString& caption)
{
    static const QRegularExpression accessKey(QStringLiteral("\\(&.\\)$|&(?=.)"));
    return QString(caption).remove(accessKey);
}

template <class W>
W* Required(const app::TForm& form, const char* name)
{
    W* widget = form.Component<W>(name);
    if (!widget) throw Exception(platform::Text(name));
    return widget;
}

} // namespace

TForm1::TForm1() : TForm(PrepareLayout())
{
    ListBox1 = Required<TListBox>(*this, "ListBox1");
    MainMenu1 = Required<QMenuBar>(*this, "MainMenu1");
    MenuFile = Required<QMenu>(*this, "MenuFile");
    MenuHelp = Required<QMenu>(*this, "MenuHelp");
    MenuExit = findChild<QAction*>(QStringLiteral("MenuExit"));
    MenuHelpDsp = findChild<QAction*>(QStringLiteral("MenuHelpDsp"));
    if (!MenuExit || !MenuHelpDsp) throw Exception(platform::Text("MainMenu1"));
    Panel1 = Required<QFrame>(*this, "Panel1");
    Panel2 = Required<QFrame>(*this, "Panel2");
    Label1 = Required<QLabel>(*this, "Label1");
    Edit1 = Required<QLineEdit>(*this, "Edit1");
    DriveComboBox1 = Required<selectors::TDriveComboBox>(*this, "DriveComboBox1");
    DirectoryListBox1 = Required<selectors::TDirectoryListBox>(*this, "DirectoryListBox1");
    BtnRun = Required<QPushButton>(*this, "BtnRun");
    BtnLongName = Required<QPushButton>(*this, "BtnLongName");
    BtnShortName = Required<QPushButton>(*this, "BtnShortName");
    BtnDifferent = Required<QPushButton>(*this, "BtnDifferent");
    BtnLongFile = Required<QPushButton>(*this, "BtnLongFile");
    BtnKomojiFile = Required<QPushButton>(*this, "BtnKomojiFile");
    // The root field is named by the label above it; the result list by what
    // it is, and once it shows a view, by that view.
    Label1->setBuddy(Edit1);
    ListBox1->setAccessibleName(app::ToQString(Texts().AccessibleResultList));
    ConnectControls();
}

TForm1::~TForm1()
{
    // The application runs FormDestroy at its end; a window destroyed any
    // other way still gives its lists back.
    FormDestroy(this);
}

void TForm1::ConnectControls()
{
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    OnShow = [this](QObject* sender) { FormShow(sender); };
    OnDestroy = [this](QObject* sender) { FormDestroy(sender); };
    DriveComboBox1->OnChange = [this](QObject* sender) { DriveComboBox1Change(sender); };
    DirectoryListBox1->OnChange = [this](QObject* sender) { DirectoryListBox1Change(sender); };

    const auto onClick = [this](QPushButton* button, void (TForm1::*handler)(QObject*)) {
        connect(button, &QPushButton::clicked, this,
                [this, button, handler] { app::Guarded([&] { (this->*handler)(button); }); });
    };
    // A command button with the focus takes Enter, as Windows buttons do.
    for (QPushButton* button : {BtnRun, BtnLongName, BtnShortName, BtnDifferent, BtnLongFile, BtnKomojiFile})
        button->setAutoDefault(true);
    onClick(BtnRun, &TForm1::BtnRunClick);
    onClick(BtnLongName, &TForm1::BtnLongNameClick);
    onClick(BtnShortName, &TForm1::BtnShortNameClick);
    onClick(BtnDifferent, &TForm1::BtnDifferentClick);
    onClick(BtnLongFile, &TForm1::BtnLongFileClick);
    onClick(BtnKomojiFile, &TForm1::BtnKomojiFileClick);
    connect(MenuExit, &QAction::triggered, this, [this] { app::Guarded([&] { MenuExitClick(MenuExit); }); });
    connect(MenuHelpDsp, &QAction::triggered, this, [this] { app::Guarded([&] { MenuHelpDspClick(MenuHelpDsp); }); });
    // F1 opens the help contents from anywhere in the window, as the menu
    // item does; the menu itself stays as designed.
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { app::Guarded([&] { MenuHelpDspClick(MenuHelpDsp); }); });
}

void TForm1::FormCreate(QObject*)
{
    LongNameList = new scan::TStringList;
    LongNameList->Clear();
    ShortNameList = new scan::TStringList;
    ShortNameList->Clear();
    DifferentList = new scan::TStringList;
    DifferentList->Clear();
    LongFileList = new scan::TStringList;
    LongFileList->Clear();
    KomojiFileList = new scan::TStringList;
    KomojiFileList->Clear();

    BaseCaption = Caption();

    BtnRun->setEnabled(true);
    BtnLongName->setEnabled(false);
    BtnShortName->setEnabled(false);
    BtnDifferent->setEnabled(false);
    BtnLongFile->setEnabled(false);
    BtnKomojiFile->setEnabled(false);

    // Centred on the primary screen's full size, not its work area, through
    // the program's main-window reference. Form1 is set before the window is
    // constructed; a window made outside the application centres itself.
    TForm1* window = Form1 ? Form1 : this;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int left = (screen.width() - window->Width()) / 2;
    const int top = (screen.height() - window->Height()) / 2;
    window->SetBounds(left, top, window->Width(), window->Height());
}

void TForm1::FormDestroy(QObject*)
{
    delete LongNameList;
    LongNameList = nullptr;
    delete ShortNameList;
    ShortNameList = nullptr;
    delete DifferentList;
    DifferentList = nullptr;
    delete LongFileList;
    LongFileList = nullptr;
    delete KomojiFileList;
    KomojiFileList = nullptr;
}

void TForm1::FormShow(QObject*)
{
    const platform::Text drive(1, DriveComboBox1->Drive());
    SetRootField(platform::UpperCaseText(drive) + ":\\");
    DirectoryListBox1->OpenPath(RootField());
    if (!selectors::IsExistingDirectory(RootField()))
        app::ShowMessageDialog(Texts().RootMissing, MessageDialogType::Information, YesButton, 0);
}

void TForm1::DriveComboBox1Change(QObject*)
{
    try {
        DirectoryListBox1->SetDrive(DriveComboBox1->Drive());
    } catch (...) {
        // A drive that cannot be read leaves the list where it was; the user
        // simply picks again.
    }
}

void TForm1::DirectoryListBox1Change(QObject*)
{
    try {
        SetRootField(DirectoryListBox1->Directory());
    } catch (...) {
        // The root field keeps its previous directory.
    }
}

void TForm1::MenuExitClick(QObject*) { Close(); }

void TForm1::MenuHelpDspClick(QObject*)
{
    app::Application().SetHelpFilePath(platform::ExecutableDirectory() + Texts().HelpFileName);
    app::Application().ShowHelp(app::HELP_CONTENTS, 0);
}

void TForm1::BtnRunClick(QObject* Sender)
{
    // A directory whose entries cannot be listed is as missing to the run as
    // one that does not exist: its walk would find nothing at all.
    if (!selectors::IsExistingDirectory(RootField()) || !scan::CanSearchDirectory(RootField())) {
        app::ShowMessageDialog(Texts().RootMissing, MessageDialogType::Information, YesButton, 0);
        return;
    }

    // The window around the run's steps: buttons, progress captions and
    // waits between them, each step off the GUI thread with the entries (or
    // lines written) so far in the caption, and the first result file that
    // could not be written kept to be told here once the save is over.
    class WindowRun : public scan::RunFrontEnd {
    public:
        explicit WindowRun(TForm1& form) : form_(form) {}

        void Starting() override { form_.SetCommandButtons(false); }
        void BeforeStep(scan::RunStep step) override
        {
            entries_.store(0, std::memory_order_relaxed);
            if (step == scan::RunStep::Save) form_.SetCommandButtons(true);
            form_.SetProgressCaption(StepText(step));
            if (step == scan::RunStep::Walk) form_.ListBox1->Clear();
            form_.DelayTime(OneSecond);
        }
        void Perform(scan::RunStep step, const std::function<void()>& work) override
        {
            // The save counts the lines of all five files together.
            std::size_t allLines = 0;
            if (step == scan::RunStep::Save) {
                for (const scan::TStringList* list : {form_.LongNameList, form_.ShortNameList, form_.DifferentList,
                                                      form_.LongFileList, form_.KomojiFileList})
                    allLines += list->Count();
            }
            form_.RunOffGuiThread(StepText(step), &entries_, allLines, work);
        }

        void Searching(const platform::Text&, std::size_t lines) override { Count(lines); }
        void Listed(std::size_t lines) override { Count(lines); }
        void Classified(std::size_t paths) override { Count(paths); }
        void Saved(std::size_t lines) override { Count(lines); }
        void ReportSaveFailure(const platform::Text& message) override
        {
            SaveFailed(scan::SaveFailure{message, {}, 0});
        }
        void SaveFailed(const scan::SaveFailure& failure) override { saveFailure = failure; }

        std::optional<scan::SaveFailure> saveFailure;

    private:
        static const platform::Text& StepText(scan::RunStep step)
        {
            switch (step) {
            case scan::RunStep::Walk: return Texts().ProgressLongNames;
            case scan::RunStep::Classify: return Texts().ProgressShortNames;
            case scan::RunStep::Save: break;
            }
            return Texts().ProgressSaving;
        }
        void Count(std::size_t entries) { entries_.store(entries, std::memory_order_relaxed); }

        TForm1& form_;
        std::atomic<std::size_t> entries_{0};
    };

    WindowRun run(*this);
    const scan::RunOutcome outcome =
        scan::RunScan(RootField(), Lists(), scan::ResultDirectory(platform::ExecutableDirectory), run);
    if (!outcome.saved) {
        // Told here, on the window's thread, once the step is over; the
        // command ends there, and between commands the caption is the
        // window's own.
        if (run.saveFailure) SaveFailed(*run.saveFailure);
        SetCaption(BaseCaption);
        return;
    }
    SetCaption(BaseCaption);
    BtnDifferentClick(Sender);
    if (outcome.found) app::ShowMessageDialog(Texts().VerdictFound, MessageDialogType::Warning, YesNoButtons, 0);
    // A tree not read whole is never called normal.
    const auto notWhole = [](const platform::Text& format, const scan::PathFailures& failures) {
        if (failures.Count() == 0) return;
        const platform::Text message =
            app::FormatText(format, {std::to_string(failures.Count()), failures.First().front().path});
        app::ShowMessageDialog(message, MessageDialogType::Warning, app::OKButton, 0);
    };
    notWhole(Texts().NotSearchedFormat, outcome.unsearched);
    notWhole(Texts().NoShortFormFormat, outcome.noShortForm);
    if (!outcome.found && outcome.Whole())
        app::ShowMessageDialog(Texts().VerdictNormal, MessageDialogType::Information, YesNoButtons, 0);
}

void TForm1::BtnLongNameClick(QObject*)
{
    ShowResultView(*BtnLongName, *LongNameList, scan::PathCount(*LongNameList), Texts().CountLongNames,
                   Texts().EmptyLongNames);
}

void TForm1::BtnShortNameClick(QObject*)
{
    ShowResultView(*BtnShortName, *ShortNameList, scan::PathCount(*ShortNameList), Texts().CountShortNames,
                   Texts().EmptyShortNames);
}

void TForm1::BtnDifferentClick(QObject*)
{
    ShowResultView(*BtnDifferent, *DifferentList, scan::GroupCount(*DifferentList), Texts().CountDifferent,
                   Texts().EmptyDifferent);
}

void TForm1::BtnLongFileClick(QObject*)
{
    ShowResultView(*BtnLongFile, *LongFileList, scan::GroupCount(*LongFileList), Texts().CountLongFiles,
                   Texts().EmptyLongFiles);
}

void TForm1::BtnKomojiFileClick(QObject*)
{
    ShowResultView(*BtnKomojiFile, *KomojiFileList, scan::GroupCount(*KomojiFileList), Texts().CountKomojiFiles,
                   Texts().EmptyKomojiFiles);
}

void TForm1::ShowResultView(const QPushButton& view, const scan::TStringList& list, std::int32_t count,
                            const platform::Text& countingText, const platform::Text& emptyMessage)
{
    if (list.Count() == 0) {
        app::ShowMessageDialog(emptyMessage, MessageDialogType::Information, YesNoButtons, 0);
        return;
    }
    SetCommandButtons(false);
    SetProgressCaption(countingText + std::to_string(count) + Texts().CountSuffix);
    ListBox1->Clear();
    DelayTime(OneSecond);
    ListBox1->ReplaceLines(list.Snapshot());
    ListBox1->setAccessibleName(app::ToQString(
        app::FormatText(Texts().AccessibleResultViewFormat, {app::ToText(WithoutAccessKey(view.text()))})));
    SetCommandButtons(true);
    if (!isActiveWindow()) activateWindow();
    ListBox1->setFocus(Qt::OtherFocusReason);
    ListBox1->SetItemIndex(0);
}

void TForm1::DelayTime(std::int32_t milliseconds)
{
    const auto now = static_cast<std::int32_t>(platform::GetTickCount());
    std::int32_t deadline = 0;
    // A deadline beyond the signed range could never be passed by a
    // counter read as signed: such a wait ends after its one pass.
    const bool beyondRange = __builtin_add_overflow(now, milliseconds, &deadline);
    const auto start = static_cast<std::int32_t>(platform::GetTickCount());
    for (;;) {
        app::Application().PumpPendingMessages();
        if (beyondRange) return;
        if (static_cast<std::int32_t>(platform::GetTickCount()) > deadline) return;
        if (static_cast<std::int32_t>(platform::GetTickCount()) < start) return; // the counter has wrapped
    }
}

void TForm1::ListFiles(platform::Text Path, std::uint16_t Mask, bool TakeZeroAttr, bool ClearList,
                       scan::TStringList& List, bool Recurse, bool MarkDirs, bool ClearAttrs,
                       scan::WalkProgress* progress)
{
    scan::ListFiles(std::move(Path), Mask, TakeZeroAttr, ClearList, List, Recurse, MarkDirs, ClearAttrs, progress);
}

platform::Text TForm1::ShortPathOf(const platform::Text& LongPath)
{
    return platform::Text(scan::ShortPathOf(LongPath).View());
}

void TForm1::ReportSaveFailure(const platform::Text& message)
{
    app::ShowMessageDialog(message, MessageDialogType::Warning, AbortButton, 0);
}

void TForm1::SetCommandButtons(bool enabled)
{
    for (QPushButton* button : {BtnRun, BtnLongName, BtnShortName, BtnDifferent, BtnLongFile, BtnKomojiFile})
        button->setEnabled(enabled);
}

void TForm1::SetRootField(const platform::Text& text)
{
    // The field holds a text up to its first zero byte, as a Windows edit
    // control does.
    Edit1->setText(app::ToQString(std::string_view(text.c_str())));
    // A path too long for the field shows its beginning, the drive first.
    Edit1->setCursorPosition(0);
}

platform::Text TForm1::RootField() const { return app::ToText(Edit1->text()); }

void TForm1::SetProgressCaption(const platform::Text& step) { SetCaption(BaseCaption + Texts().ProgressGap + step); }

void TForm1::RunOffGuiThread(const platform::Text& step, const std::atomic<std::size_t>* entries, std::size_t outOf,
                             const std::function<void()>& work)
{
    QTimer caption;
    if (entries) {
        connect(&caption, &QTimer::timeout, this, [this, &step, entries, outOf] {
            const auto count = std::to_string(entries->load(std::memory_order_relaxed));
            SetProgressCaption(
                step + (outOf == 0 ? app::FormatText(Texts().ProgressCountFormat, {count})
                                   : app::FormatText(Texts().ProgressLinesFormat, {count, std::to_string(outOf)})));
        });
        caption.start(ProgressInterval);
    }
    // The count is the step's progress: once the step is over, however it
    // ended, the caption tells the step alone.
    try {
        app::RunOffGuiThread(work);
    } catch (...) {
        if (entries) SetProgressCaption(step);
        throw;
    }
    if (entries) SetProgressCaption(step);
}

scan::ResultLists TForm1::Lists()
{
    return scan::ResultLists{*LongNameList, *ShortNameList, *DifferentList, *LongFileList, *KomojiFileList};
}

} // namespace kivra::ui
