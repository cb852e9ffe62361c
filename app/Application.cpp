#include "app/Application.h"

#include "app/Fonts.h"
#include "app/Modality.h"
#include "app/QtText.h"
#include "app/RaiseSite.h"
#include "app/TextFormat.h"
#include "platform/WinApi.h"
#include "resources/GuiResources.h"
#include "resources/Texts.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QIcon>
#include <QMessageBox>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cxxabi.h>
#include <typeinfo>

// Start of the program's image, the reference point of the code addresses
// that the last-chance report prints.
extern "C" const char __executable_start[];

namespace kivra::app {

namespace {

TApplication* current = nullptr;

platform::Text ModulePath()
{
    char buffer[261] = {};
    const platform::DWORD length = platform::GetModuleFileNameA(buffer, 256);
    // A path cut at the buffer's size ends with the zero that closes it: the
    // text is what comes before the first zero.
    return platform::Text(buffer, strnlen(buffer, std::min<platform::DWORD>(length, 256)));
}

// The executable's file name: what follows its last backslash.
platform::Text ModuleName()
{
    const platform::Text path = ModulePath();
    const std::size_t cut = platform::LastSeparator(path);
    return cut == platform::NoPosition ? path : path.substr(cut + 1);
}

platform::Text DeriveTitle()
{
    platform::Text title = ModuleName();
    const std::size_t dot = title.find('.');
    if (dot != platform::Text::npos) title.resize(dot);
    if (title.size() > 1) platform::CharLowerBuffA(title.data() + 1, static_cast<platform::DWORD>(title.size() - 1));
    return title;
}

QString DemangledName(const std::type_info* type)
{
    if (!type) return QString();
    int status = 0;
    char* name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    const QString result = QString::fromLatin1(status == 0 && name ? name : type->name());
    std::free(name);
    return result;
}

QMessageBox::Icon IconOf(std::uint32_t flags)
{
    switch (flags & 0xF0) {
    case MB_ICONSTOP: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

int ShowBox(const platform::Text& text, const platform::Text& caption, std::uint32_t flags, const QWidget* program)
{
    QMessageBox box(IconOf(flags), ToQString(caption), ToQString(text), QMessageBox::NoButton, nullptr);
    box.setTextFormat(Qt::PlainText);
    switch (flags & 0x0F) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    MakeModalToProgram(box, program);
    switch (box.exec()) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Ok: return IDOK;
    default: return (flags & 0x0F) == MB_OK ? IDOK : IDCANCEL;
    }
}

} // namespace

// Sees every event the GUI thread delivers: it counts them, so that a pass
// over the queue can tell whether it handled anything, and it takes the quit
// message (QEvent::Quit posted to the application) wherever it is taken from
// the queue: in the main loop, in a pump or in a modal loop.
class MessageQueueWatch : public QObject {
public:
    explicit MessageQueueWatch(TApplication& application) : application_(application)
    {
        qApp->installEventFilter(this);
    }
    ~MessageQueueWatch() override { qApp->removeEventFilter(this); }

    unsigned long long delivered = 0;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        ++delivered;
        if (event->type() == QEvent::Quit && receiver == qApp) {
            application_.quitRequested_ = true;
            return true;
        }
        return false;
    }

private:
    TApplication& application_;
};

TApplication::TApplication() : title_(DeriveTitle()), watch_(std::make_unique<MessageQueueWatch>(*this))
{
    previous_ = current;
    current = this;
    previousReport_ =
        SetHandlerFailureReport([this](const std::exception_ptr& raised) { ReportHandlerException(raised); });
    // The program ends when its main window is closed, not when the last
    // window happens to go.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // The name the desktop groups the program's windows under.
    QCoreApplication::setApplicationName(ToQString(title_));
    const QString icon = resources::ImagePath(ToQString(texts::Texts().MainIconName), QStringLiteral("png"));
    if (QFile::exists(icon)) QGuiApplication::setWindowIcon(QIcon(icon));
    // The end of the desktop session reaches the program as the quit event
    // that the session manager sends when the session really ends; a request
    // to commit data comes before a logout that may still be cancelled, and
    // ends nothing.
}

TApplication::~TApplication()
{
    Shutdown();
    SetHandlerFailureReport(std::move(previousReport_));
    if (current == this) current = previous_;
}

TApplication& Application() { return *current; }

bool HasApplication() { return current != nullptr; }

void TApplication::AdoptForm(OwnedWindow* form)
{
    forms_.push_back(form);
    form->RunCreateHandler();
    if (!mainForm_) mainForm_ = form;
}

QWidget* TApplication::MainWindow() const { return mainForm_ ? &mainForm_->Window() : nullptr; }

void TApplication::ForgetForm(OwnedWindow* form)
{
    forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
    if (mainForm_ == form) mainForm_ = nullptr;
}

void TApplication::RunMessageLoop()
{
    if (mainForm_) mainForm_->Window().show();
    while (!quitRequested_) HandleNextMessage();
}

void TApplication::HandleNextMessage()
{
    if (DispatchOneMessage()) return;
    // Once quitting, nothing more can come that a caller must wait for.
    if (quitRequested_) return;
    QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool TApplication::DispatchOneMessage()
{
    const auto before = watch_->delivered;
    const bool processed = QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents);
    return processed || watch_->delivered != before;
}

void TApplication::PumpPendingMessages()
{
    while (DispatchOneMessage()) {}
}

void TApplication::RequestQuit() { QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit)); }

void TApplication::Shutdown()
{
    if (shutDown_) return;
    shutDown_ = true;
    helpViewer_.reset();
    // The last created goes first; the main form, created first, goes last.
    while (!forms_.empty()) {
        OwnedWindow* form = forms_.back();
        form->RunDestroyHandler();
        ForgetForm(form);
        delete form;
    }
}

bool TApplication::ShowHelp(std::uint16_t command, std::uint32_t data)
{
    if (helpFilePath_.empty()) return false;
    if (!helpViewer_) helpViewer_ = std::make_unique<HelpViewer>();
    return helpViewer_->Open(helpFilePath_, command, data, MainWindow());
}

bool TApplication::ShowHelpContext(std::int32_t context)
{
    return ShowHelp(HELP_CONTEXT, static_cast<std::uint32_t>(context));
}

void TApplication::ReportHandlerException(const std::exception_ptr& raised)
{
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    enum class Kind { Silent, Program, Foreign } kind = Kind::Foreign;
    platform::Text message;
    try {
        std::rethrow_exception(raised);
    } catch (const EAbort&) {
        kind = Kind::Silent;
    } catch (const Exception& exception) {
        kind = Kind::Program;
        message = exception.Message();
    } catch (const std::bad_alloc&) {
        // Running out of memory is a failure of the program like any other.
        kind = Kind::Program;
        message = texts::Texts().OutOfMemory;
    } catch (...) {
        kind = Kind::Foreign;
    }
    switch (kind) {
    case Kind::Silent: return;
    case Kind::Program: ShowExceptionMessage(Exception(message)); return;
    case Kind::Foreign: {
        const void* site = RaiseSiteOf(raised);
        ShowLastChanceBox(UncaughtExceptionText(raised, site ? site : __builtin_return_address(0)));
        return;
    }
    }
}

void TApplication::ShowExceptionMessage(const Exception& exception)
{
    ApplicationMessageBox(exception.Message() + ".", title_, MB_OK | MB_ICONSTOP);
}

int TApplication::ApplicationMessageBox(const platform::Text& text, const platform::Text& caption, std::uint32_t flags)
{
    DisabledWindows disabled;
    return ShowBox(text, caption, flags, MainWindow());
}

void TApplication::ShowLastChanceBox(const platform::Text& text)
{
    DisabledWindows disabled;
    ShowBox(text, texts::Texts().UncaughtTitle, MB_TASKMODAL | MB_ICONSTOP, MainWindow());
}

void TApplication::ReportUncaughtException(const std::exception_ptr& raised, const void* address)
{
    ShowLastChanceBox(UncaughtExceptionText(raised, address));
}

platform::Text TApplication::UncaughtExceptionText(const std::exception_ptr& raised, const void* address) const
{
    platform::Text className;
    platform::Text message;
    try {
        std::rethrow_exception(raised);
    } catch (const Exception& exception) {
        className = exception.ClassName();
        message = exception.Message();
    } catch (const std::exception& exception) {
        className = ToText(DemangledName(abi::__cxa_current_exception_type()));
        message = platform::Cp932FromUtf8(exception.what());
    } catch (...) {
        className = ToText(DemangledName(abi::__cxa_current_exception_type()));
    }

    platform::Text module = ModuleName();
    if (module.size() > 63) {
        // Cut at 63 bytes without leaving half of a double-byte character.
        std::size_t end = 0;
        for (std::size_t i = 0; i < module.size();) {
            const std::size_t width =
                platform::IsDBCSLeadByte(static_cast<unsigned char>(module[i])) && i + 1 < module.size() ? 2 : 1;
            if (i + width > 63) break;
            i += width;
            end = i;
        }
        module.resize(end);
    }

    const auto offset = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address) -
                                                   reinterpret_cast<std::uintptr_t>(__executable_start));
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(offset));
    const platform::Text stop = !message.empty() && message.back() != '.' ? "." : "";

    const auto& texts = texts::Texts();
    return FormatText(texts.UncaughtFormatLine1, {className, module}) + "\n" +
           FormatText(texts.UncaughtFormatLine2, {hex}) + "\n" +
           FormatText(texts.UncaughtFormatLine3, {message, stop}) + "\n";
}

int ApplicationMain(int argc, char** argv, const std::function<void()>& body)
{
    QApplication qtApplication(argc, argv);
    InstallFontSubstitutions();
    TApplication application;
    int exitCode = 0;
    try {
        body();
    } catch (...) {
        // Where it was raised, where that is known; else where it was caught.
        const std::exception_ptr raised = std::current_exception();
        const void* site = RaiseSiteOf(raised);
        application.ReportUncaughtException(raised, site ? site : __builtin_return_address(0));
        exitCode = 1;
    }
    application.Shutdown();
    return exitCode;
}

} // namespace kivra::app
