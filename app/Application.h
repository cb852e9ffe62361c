#pragma once
// The application object: one per program. It derives the application
// title, owns the forms, runs and pumps the message loop on Qt's event
// dispatching, opens the help viewer and shows the exceptions that escape
// event handlers. It knows its forms only as owned windows (below), so that
// the forms may use the frame without the frame depending on them.

#include "app/Guard.h"
#include "app/HelpViewer.h"
#include "platform/CodePage.h"
#include "platform/Exceptions.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

class QWidget;

namespace kivra::app {

// MessageBoxA flags and results.
inline constexpr std::uint32_t MB_OK = 0x0000;
inline constexpr std::uint32_t MB_OKCANCEL = 0x0001;
inline constexpr std::uint32_t MB_YESNO = 0x0004;
inline constexpr std::uint32_t MB_ICONSTOP = 0x0010;
inline constexpr std::uint32_t MB_ICONQUESTION = 0x0020;
inline constexpr std::uint32_t MB_ICONEXCLAMATION = 0x0030;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x0040;
inline constexpr std::uint32_t MB_TASKMODAL = 0x2000;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

class MessageQueueWatch;

// What the frame needs of a window it owns: the handlers it runs when the
// window has been made and before it goes, and the window itself, to show
// and to keep dialogs and the help viewer beside.
class OwnedWindow {
public:
    virtual ~OwnedWindow() = default;
    virtual void RunCreateHandler() = 0;
    virtual void RunDestroyHandler() = 0;
    virtual QWidget& Window() = 0;
};

class TApplication {
public:
    // Needs the QApplication; becomes the object Application() returns
    // until it is destroyed (then the one before it is again). Derives the
    // title from the executable's name.
    TApplication();
    // Runs the shutdown if the program has not run it yet.
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // The executable's file name without its directory, cut at its first
    // "." and lower-cased after the first character (KIVRA.EXE: Kivra).
    const platform::Text& ApplicationTitle() const { return title_; }

    const platform::Text& HelpFilePath() const { return helpFilePath_; }
    void SetHelpFilePath(platform::Text path) { helpFilePath_ = std::move(path); }

    OwnedWindow* MainForm() const { return mainForm_; }
    // The main form's window, or null.
    QWidget* MainWindow() const;
    // Set once the quit message has been taken from the queue; never cleared.
    bool QuitRequested() const { return quitRequested_; }

    // A window that goes on its own (deleted by someone else) leaves the
    // application's forms; the main window leaves MainForm null.
    void ForgetForm(OwnedWindow* form);

    // Creates a form of class T owned by the application. `reference` holds
    // the form before its construction starts, so the creation handler can
    // reach it there. If construction raises, `reference` is cleared, the
    // half-built form is destroyed and the exception passes on. The first
    // form becomes the main form.
    template <class T>
    void CreateOwnedForm(T*& reference);

    // Shows the main form and handles messages until QuitRequested.
    void RunMessageLoop();
    // Handles the next message; with an empty queue, waits for one.
    void HandleNextMessage();
    // Handles what is in the queue without waiting; false when it was empty.
    bool DispatchOneMessage();
    // Handles every message already queued, then returns; never waits. A
    // quit taken here only sets QuitRequested.
    void PumpPendingMessages();
    // Posts the quit message (PostQuitMessage(0)).
    void RequestQuit();

    // Destroys the forms that still exist, each after its OnDestroy
    // (guarded); the main form last. Runs once.
    void Shutdown();

    // Opens the help viewer on HelpFilePath with the command and its data.
    // Nothing happens, and false comes back, when HelpFilePath is empty.
    bool ShowHelp(std::uint16_t command, std::uint32_t data);
    bool ShowHelpContext(std::int32_t context);

    // The guard's report of an exception that left an event handler.
    void ReportHandlerException(const std::exception_ptr& raised);
    // The exception's text and ".", captioned with the title, stop icon, OK.
    void ShowExceptionMessage(const Exception& exception);
    // A message box with the program's other windows disabled meanwhile.
    // Returns the pressed button's IDOK, IDCANCEL, IDYES or IDNO.
    int ApplicationMessageBox(const platform::Text& text, const platform::Text& caption, std::uint32_t flags);
    // The last-chance report of an exception that escaped every guard; the
    // caller ends the program with exit code 1 afterwards.
    void ReportUncaughtException(const std::exception_ptr& raised, const void* address);

    // The text of the last-chance report (three lines).
    platform::Text UncaughtExceptionText(const std::exception_ptr& raised, const void* address) const;

private:
    void AdoptForm(OwnedWindow* form);
    void ShowLastChanceBox(const platform::Text& text);
    friend class MessageQueueWatch;

    platform::Text title_;
    platform::Text helpFilePath_;
    OwnedWindow* mainForm_ = nullptr;
    bool quitRequested_ = false;
    bool shutDown_ = false;
    std::vector<OwnedWindow*> forms_;
    HandlerFailureReport previousReport_;
    std::unique_ptr<MessageQueueWatch> watch_;
    std::unique_ptr<HelpViewer> helpViewer_;
    TApplication* previous_ = nullptr;
};

// The program's one application object.
TApplication& Application();
// Whether the application object exists (tests make and drop their own).
bool HasApplication();

// The program's main sequence: the QApplication, the font substitutions,
// the application object, then `body` (which creates the main form and
// runs the message loop), then the shutdown. Returns the exit code: 0, or 1
// after an exception escaped every guard (shown by the last-chance report).
int ApplicationMain(int argc, char** argv, const std::function<void()>& body);

template <class T>
void TApplication::CreateOwnedForm(T*& reference)
{
    static_assert(std::is_base_of_v<OwnedWindow, T>, "an owned form is an OwnedWindow");
    void* storage = ::operator new(sizeof(T));
    reference = static_cast<T*>(storage);
    T* form = nullptr;
    try {
        form = ::new (storage) T();
    } catch (...) {
        reference = nullptr;
        ::operator delete(storage);
        throw;
    }
    AdoptForm(form);
}

} // namespace kivra::app
