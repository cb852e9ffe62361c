#pragma once
// TForm: the base of every window of the program. A form with a stored
// layout loads it from the program's resources (":/forms/<ClassName>.ui")
// when it is constructed; a form built in code (the message dialog) starts
// empty. Geometry is the outer frame's, captions are code page 932.

#include "app/Application.h"
#include "platform/CodePage.h"

#include <QMainWindow>
#include <QMargins>
#include <QRect>

#include <cstdint>
#include <functional>
#include <optional>

class QCloseEvent;
class QShowEvent;

namespace kivra::app {

// The result of a modal form: 0 while it is open, then the closing button's.
using TModalResult = std::int32_t;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;

// An event handler: receives the object that raised it.
using TNotifyEvent = std::function<void(QObject* sender)>;

// Creates one custom control of a stored layout; the layout gives the
// object name and the properties afterwards.
using FormWidgetFactory = std::function<QWidget*(QWidget* parent)>;

// Makes `className` (as written in a layout's <widget class="...">) known to
// every form loaded afterwards. The selectors register their controls here.
void RegisterFormWidget(const char* className, FormWidgetFactory factory);

class TForm : public QMainWindow, public OwnedWindow {
    Q_OBJECT

public:
    // Loads the stored layout named after the class. A missing layout
    // raises an Exception with the text table's ResourceNotFoundFormat filled
    // in with the class name. Text properties of the layout written as
    // "@RowName" take that row of the text table.
    // The layout's geometry is the outer frame's. Its font size in pixels
    // is the top widget's dynamic property "FontHeight" (-19: characters 19
    // pixels high), which .ui fonts cannot state themselves. Once the whole
    // layout is loaded, every control with an invokable Loaded() is called,
    // so that properties naming other controls can be resolved.
    explicit TForm(const char* className);

    // A form built in code, without a stored layout.
    struct CreateNewTag {};
    static constexpr CreateNewTag CreateNew{};
    explicit TForm(CreateNewTag);

    ~TForm() override;

    // Run inside the handler guard: OnCreate once the form is constructed
    // (TApplication::CreateOwnedForm), OnShow when the form first becomes
    // visible, OnDestroy when the application destroys it at its end.
    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnDestroy;

    // The child of the loaded layout with this object name, or null.
    template <class W = QWidget>
    W* Component(const char* name) const
    {
        return findChild<W*>(QString::fromLatin1(name));
    }

    platform::Text Caption() const;
    void SetCaption(const platform::Text& caption);

    // Outer frame geometry, in pixels of the screen. The frame's margins
    // are known only once the window exists (under a window manager, once
    // it has framed the window); the bounds set before are kept and applied
    // again with the real margins as soon as they are known, so the outer
    // size is the one set, not the client size.
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetBounds(int left, int top, int width, int height);

    // Closing the main form asks the application to quit and leaves the
    // window as it is; any other form is hidden (a modal one ends with 2).
    void Close();

    // Shows the form modally on the application's message loop, with the
    // program's other windows disabled meanwhile; returns the modal result.
    // The loop ends with 2 once the application has been asked to quit.
    TModalResult ShowModal();
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult result) { modalResult_ = result; }

    void RunCreateHandler() override;
    void RunDestroyHandler() override;
    QWidget& Window() override { return *this; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void LoadLayout(const char* className);
    void ApplyBounds();
    void FollowFrame(const QEvent* event);

    // The outer geometry last set, once SetBounds has been called, and the
    // frame margins it was applied with.
    std::optional<QRect> bounds_;
    QMargins boundsMargins_;
    bool applyingBounds_ = false;

    bool shownOnce_ = false;
    bool modal_ = false;
    TModalResult modalResult_ = mrNone;
};

} // namespace kivra::app
