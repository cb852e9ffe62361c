#pragma once
// What the main window's tests need to act as a user: answer message dialogs
// as they come up, watch the window's state change during a command, reach a
// directory in the directory list, and keep a real directory tree whose path
// is its own short form.

#include "platform/CodePage.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kivra::selectors {
class TDirectoryListBox;
}

namespace kivra::app {
class TApplication;
}

namespace kivra::ui {
class TForm1;
}

namespace kivra::ui::testing {

// What a user sees of the main window at one moment.
struct WindowState {
    platform::Text caption;
    std::array<bool, 6> buttons{}; // BtnRun ... BtnKomojiFile, each one's own Enabled
    int rows = 0;                  // rows in ListBox1
    int selectedRow = -1;

    bool operator==(const WindowState&) const = default;
};
WindowState StateOf(const TForm1& window);

// Starts the program's window as the application does (a fresh application
// object, CreateOwnedForm filling Form1), shows it and waits until it is the
// active window.
TForm1& OpenMainWindow(std::optional<app::TApplication>& application);
void PrintTo(const WindowState& state, std::ostream* out);

inline constexpr std::array<bool, 6> AllEnabled{true, true, true, true, true, true};
inline constexpr std::array<bool, 6> AllDisabled{false, false, false, false, false, false};
inline constexpr std::array<bool, 6> OnlyRunEnabled{true, false, false, false, false, false};

// One message dialog as it was shown.
struct SeenDialog {
    platform::Text text;
    platform::Text title;
    std::vector<std::string> buttons; // object names in their order: "Yes", "No", "Abort"...
    WindowState window;               // the main window while the dialog was up
};

// Answers every message dialog that comes up by clicking the button with the
// given object name, and records what each one showed.
class DialogAnswerer : public QObject {
    Q_OBJECT
public:
    explicit DialogAnswerer(const TForm1* window, QString button = QStringLiteral("Yes"));
    const std::vector<SeenDialog>& Seen() const { return seen_; }
    // Called with each dialog's record before it is answered.
    std::function<void(const SeenDialog&)> OnDialog;

private:
    void Poll();

    const TForm1* window_;
    QString button_;
    QTimer timer_;
    std::vector<QPointer<QWidget>> answered_;
    std::vector<SeenDialog> seen_;
};

// Samples the window's state every few milliseconds while a command runs and
// keeps each state that differs from the one before.
class StateRecorder : public QObject {
    Q_OBJECT
public:
    explicit StateRecorder(const TForm1* window);
    const std::vector<WindowState>& States() const { return states_; }
    // Takes a sample now, between the timer's.
    void Sample();

private:
    const TForm1* window_;
    QTimer timer_;
    std::vector<WindowState> states_;
};

// Enters the subdirectory `name` (932) of the list's current directory the
// way a user does: by double-clicking its item, or by typing its name and
// pressing Enter.
enum class Gesture { DoubleClick, TypeAndEnter };
void EnterSubdirectory(selectors::TDirectoryListBox& list, const platform::Text& name, Gesture gesture);

// A directory under /tmp named "kv" and six more characters, so that every
// part of its path is a legal 8.3 name and the tree's own path never makes
// an entry a long-name entry. Removed with its contents at the end.
class ShortTempDir {
public:
    ShortTempDir();
    ~ShortTempDir();
    ShortTempDir(const ShortTempDir&) = delete;
    ShortTempDir& operator=(const ShortTempDir&) = delete;

    const std::string& Path() const { return path_; } // Linux path
    std::string Name() const;                         // its last part
    void MakeDirectory(const std::string& relative) const;
    void MakeFile(const std::string& relative, const std::string& content = {}) const;

private:
    std::string path_;
};

// The mount table of a machine with "/" alone: every path lies on C:.
std::string RootOnlyMountTable();
// The whole content of a Linux file; empty when it cannot be read.
std::string ReadLinuxFile(const std::string& path);
// The Linux directory of the running test executable, with a final "/".
std::string ExecutableLinuxDirectory();
// Texts of the program, in UTF-8, for readable failure messages.
std::string Readable(const platform::Text& text);

} // namespace kivra::ui::testing
