#include "app/Form.h"

#include "app/Application.h"
#include "app/Fonts.h"
#include "app/Modality.h"
#include "app/QtText.h"
#include "app/TextFormat.h"
#include "platform/Exceptions.h"
#include "resources/GuiResources.h"
#include "resources/Texts.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QDynamicPropertyChangeEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QShowEvent>
#include <QStatusBar>
#include <QUiLoader>
#include <QWindow>
#include <QXmlStreamReader>

#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

namespace kivra::app {

namespace {

std::map<std::string, FormWidgetFactory>& FormWidgets()
{
    static std::map<std::string, FormWidgetFactory> factories;
    return factories;
}

// The rows of the text table by name, for the "@RowName" properties of a
// stored layout.
const platform::Text* TextRow(std::string_view name)
{
    static const std::map<std::string_view, const platform::Text*> rows = [] {
        const auto& texts = texts::Texts();
        std::map<std::string_view, const platform::Text*> byName;
#define KIVRA_TEXT(name, utf8) byName.emplace(#name, &texts.name);
#include "resources/Texts.def"
#undef KIVRA_TEXT
        return byName;
    }();
    const auto found = rows.find(name);
    return found == rows.end() ? nullptr : found->second;
}

void ReplaceTextReferences(QObject* object)
{
    static const char* const properties[] = {"text",    "title",     "windowTitle",    "iconText",
                                             "toolTip", "statusTip", "placeholderText"};
    for (const char* property : properties) {
        const QVariant value = object->property(property);
        if (value.typeId() != QMetaType::QString) continue;
        const QString text = value.toString();
        if (!text.startsWith(u'@')) continue;
        if (const platform::Text* row = TextRow(text.mid(1).toStdString()))
            object->setProperty(property, ToQString(*row));
    }
}

// The layout's "FontHeight" takes effect on its top widget as soon as the
// loader sets it, before the controls are made, so that every control is
// made with the designed font (and its item height follows it) and the
// layout's own settings come after.
class FontHeightSetter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool heightSet = event->type() == QEvent::DynamicPropertyChange &&
                               static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == "FontHeight";
        // The layout's font property may come after its height and bring a
        // face without a size: the size is given again.
        if ((heightSet || event->type() == QEvent::FontChange) && !setting_) {
            auto* widget = static_cast<QWidget*>(watched);
            const int height = widget->property("FontHeight").toInt();
            if (height == 0) return false;
            const QFont designed = DesignedFont(widget->font().family(), height);
            if (widget->font().pixelSize() != designed.pixelSize()) {
                setting_ = true;
                widget->setFont(designed);
                setting_ = false;
            }
        }
        return false;
    }

private:
    bool setting_ = false;
};

class FormLoader : public QUiLoader {
public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override
    {
        const auto& factories = FormWidgets();
        const auto found = factories.find(className.toStdString());
        QWidget* widget = nullptr;
        if (found == factories.end()) {
            widget = QUiLoader::createWidget(className, parent, name);
        } else {
            widget = found->second(parent);
            widget->setObjectName(name);
        }
        if (!parent && widget) widget->installEventFilter(new FontHeightSetter(widget));
        return widget;
    }
};

// The geometry the layout gives its top widget: the loader applies only its
// size, but the position is part of the design too.
QRect DesignedGeometry(const QByteArray& layout, const QRect& loaded)
{
    QXmlStreamReader reader(layout);
    int depth = 0;
    int topWidget = -1;
    bool inGeometry = false;
    QRect designed = loaded;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (inGeometry && reader.name() == QLatin1String("property")) return designed;
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement) continue;
        ++depth;
        const auto name = reader.name();
        if (topWidget < 0 && name == QLatin1String("widget")) {
            topWidget = depth;
        } else if (topWidget > 0 && depth == topWidget + 1 && name == QLatin1String("property") &&
                   reader.attributes().value(QLatin1String("name")) == QLatin1String("geometry")) {
            inGeometry = true;
        } else if (inGeometry && (name == QLatin1String("x") || name == QLatin1String("y"))) {
            const int value = reader.readElementText().toInt();
            --depth;
            if (name == QLatin1String("x"))
                designed.moveLeft(value);
            else
                designed.moveTop(value);
        }
    }
    return designed;
}

QMargins FrameMargins(const QWidget* window)
{
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

} // namespace

void RegisterFormWidget(const char* className, FormWidgetFactory factory)
{
    FormWidgets()[className] = std::move(factory);
}

TForm::TForm(const char* className) { LoadLayout(className); }

TForm::TForm(CreateNewTag) {}

TForm::~TForm()
{
    if (HasApplication()) Application().ForgetForm(this);
}

void TForm::LoadLayout(const char* className)
{
    QFile file(resources::FormLayoutPath(QString::fromLatin1(className)));
    QWidget* loaded = nullptr;
    QByteArray layout;
    if (file.open(QIODevice::ReadOnly)) {
        layout = file.readAll();
        QBuffer buffer(&layout);
        buffer.open(QIODevice::ReadOnly);
        FormLoader loader;
        loaded = loader.load(&buffer, nullptr);
    }
    if (!loaded) throw Exception(FormatText(texts::Texts().ResourceNotFoundFormat, {className}));

    // The layout's top-level widget lends this form its contents and its
    // window properties; the form itself is the window.
    setObjectName(loaded->objectName());
    setWindowTitle(loaded->windowTitle());
    // A layout cannot give a font's size in pixels; its "FontHeight" does,
    // as a character height (negative) or a cell height (positive), and the
    // loaded widget has it already.
    setFont(loaded->font());
    const QRect designed = DesignedGeometry(layout, loaded->geometry());
    if (auto* layoutWindow = qobject_cast<QMainWindow*>(loaded)) {
        for (QAction* action : layoutWindow->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly))
            action->setParent(this);
        if (auto* menu = layoutWindow->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly)) setMenuBar(menu);
        if (auto* status = layoutWindow->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly))
            setStatusBar(status);
        // Moved straight from one window to the other: never without a
        // parent on the way, so its controls keep the designed font
        // throughout (and what they derive from it, such as item heights).
        if (QWidget* central = layoutWindow->centralWidget()) setCentralWidget(central);
        delete layoutWindow;
    } else {
        setCentralWidget(loaded);
    }
    // The menus' drop-downs are windows of their own; they take the form's
    // font as the menu bar does.
    for (QMenu* menu : findChildren<QMenu*>()) menu->setAttribute(Qt::WA_WindowPropagation);
    ReplaceTextReferences(this);
    for (QObject* child : findChildren<QObject*>()) ReplaceTextReferences(child);
    // Once every control exists, those whose properties name other controls
    // look them up.
    for (QObject* child : findChildren<QObject*>()) {
        if (child->metaObject()->indexOfMethod("Loaded()") >= 0) QMetaObject::invokeMethod(child, "Loaded");
    }
    SetBounds(designed.x(), designed.y(), designed.width(), designed.height());
}

platform::Text TForm::Caption() const { return ToText(windowTitle()); }

void TForm::SetCaption(const platform::Text& caption) { setWindowTitle(ToQString(caption)); }

int TForm::Left() const { return frameGeometry().x(); }
int TForm::Top() const { return frameGeometry().y(); }
int TForm::Width() const { return frameGeometry().width(); }
int TForm::Height() const { return frameGeometry().height(); }

void TForm::SetBounds(int left, int top, int width, int height)
{
    bounds_ = QRect(left, top, width, height);
    ApplyBounds();
}

void TForm::ApplyBounds()
{
    const QRect bounds = *bounds_;
    const QMargins frame = FrameMargins(this);
    boundsMargins_ = frame;
    // The events of these two steps show the way between the old geometry
    // and the new one, not a geometry to keep.
    applyingBounds_ = true;
    resize(bounds.width() - frame.left() - frame.right(), bounds.height() - frame.top() - frame.bottom());
    move(bounds.left(), bounds.top());
    applyingBounds_ = false;
}

void TForm::FollowFrame(const QEvent* event)
{
    if (!bounds_ || applyingBounds_) return;
    if (FrameMargins(this) != boundsMargins_) {
        // The frame has become known (the window was created, or a window
        // manager framed it): the outer geometry set before is kept.
        ApplyBounds();
    } else if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && isVisible()) {
        // Moved or resized by the user or the window manager: that is the
        // geometry to keep from now on.
        bounds_ = frameGeometry();
    }
}

bool TForm::event(QEvent* event)
{
    const bool handled = QMainWindow::event(event);
    switch (event->type()) {
    case QEvent::WinIdChange:
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange: FollowFrame(event); break;
    default: break;
    }
    return handled;
}

void TForm::Close() { close(); }

void TForm::RunCreateHandler()
{
    if (OnCreate) Guarded([this] { OnCreate(this); });
}

void TForm::RunDestroyHandler()
{
    if (OnDestroy) Guarded([this] { OnDestroy(this); });
}

void TForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shownOnce_ || event->spontaneous()) return;
    shownOnce_ = true;
    if (OnShow) Guarded([this] { OnShow(this); });
}

void TForm::closeEvent(QCloseEvent* event)
{
    if (modal_) {
        modalResult_ = mrCancel;
        event->ignore();
        return;
    }
    if (Application().MainForm() == this) {
        // The main window stays as it is until the program ends.
        Application().RequestQuit();
        event->ignore();
        return;
    }
    event->accept();
}

TModalResult TForm::ShowModal()
{
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    TApplication& application = Application();
    modal_ = true;
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    struct Restore {
        TForm* form;
        ~Restore()
        {
            form->hide();
            QGuiApplication::restoreOverrideCursor();
            form->modal_ = false;
        }
    };
    DisabledWindows disabled(this);
    Restore restore{this};

    // A dialog of the program's main window, as the window manager should
    // treat it: kept above that window, never minimised away from it.
    MakeModalToProgram(*this, application.MainWindow());
    show();
    raise();
    activateWindow();
    if (!focusWidget()) {
        // The first control in tab order that takes the focus gets it.
        for (QWidget* next = nextInFocusChain(); next && next != this; next = next->nextInFocusChain()) {
            if ((next->focusPolicy() & Qt::TabFocus) && next->isEnabled() && next->isVisibleTo(this)) {
                // As given by the keyboard: the control shows that it has it.
                setAttribute(Qt::WA_KeyboardFocusChange);
                next->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }

    modalResult_ = mrNone;
    while (modalResult_ == mrNone) {
        application.HandleNextMessage();
        if (application.QuitRequested()) modalResult_ = mrCancel;
    }
    return modalResult_;
}

} // namespace kivra::app
