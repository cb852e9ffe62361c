#include "app/MessageDialog.h"
#include "app/Accessible.h"

#include "app/Application.h"
#include "app/QtText.h"
#include "resources/Texts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <array>
#include <bit>

namespace kivra::app {

namespace {

// Both the measuring and the drawing of a message take an ampersand as the
// mnemonic prefix and break lines between words.
constexpr int MessageTextFlags = Qt::TextWordWrap | Qt::TextShowMnemonic;

// The message text, drawn exactly as it was measured.
class MessageLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | MessageTextFlags, text());
    }
};

bool IsAlert(MessageDialogType type) { return type == MessageDialogType::Warning || type == MessageDialogType::Error; }

// What assistive technology (a screen reader) learns of a message dialog: an
// alert when it warns or tells of an error, otherwise a dialog, named by its
// title and described by its message (without the blanks around it).
class MessageDialogAccessible : public QAccessibleWidget {
public:
    explicit MessageDialogAccessible(TMessageForm* dialog) : QAccessibleWidget(dialog) {}

    QAccessible::Role role() const override
    {
        return IsAlert(static_cast<const TMessageForm*>(widget())->Type) ? QAccessible::AlertMessage
                                                                         : QAccessible::Dialog;
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Description) {
            if (const auto* message = widget()->findChild<QLabel*>(QStringLiteral("Message")))
                return message->text().simplified();
        }
        return QAccessibleWidget::text(kind);
    }
};

const bool MessageDialogInterfaceInstalled = InstallAccessibleInterface<TMessageForm, MessageDialogAccessible>();

struct ButtonKind {
    const char* name;
    platform::Text texts::ProgramTexts::*caption;
    TModalResult result;
};

const std::array<ButtonKind, 9> ButtonKinds{{
    {"Yes", &texts::ProgramTexts::ButtonYes, mrYes},
    {"No", &texts::ProgramTexts::ButtonNo, mrNo},
    {"OK", &texts::ProgramTexts::ButtonOK, mrOk},
    {"Cancel", &texts::ProgramTexts::ButtonCancel, mrCancel},
    {"Abort", &texts::ProgramTexts::ButtonAbort, mrAbort},
    {"Retry", &texts::ProgramTexts::ButtonRetry, mrRetry},
    {"Ignore", &texts::ProgramTexts::ButtonIgnore, mrIgnore},
    {"All", &texts::ProgramTexts::ButtonAll, mrAll},
    {"Help", &texts::ProgramTexts::ButtonHelp, mrNone},
}};

constexpr MessageDialogButtons ReadButtons = 0x01FF;

bool Has(MessageDialogButtons buttons, MessageDialogButton button) { return (buttons & ButtonBit(button)) != 0; }

QStyle::StandardPixmap IconOf(MessageDialogType type)
{
    switch (type) {
    case MessageDialogType::Warning: return QStyle::SP_MessageBoxWarning;
    case MessageDialogType::Error: return QStyle::SP_MessageBoxCritical;
    case MessageDialogType::Information: return QStyle::SP_MessageBoxInformation;
    default: return QStyle::SP_MessageBoxQuestion;
    }
}

bool HasIcon(MessageDialogType type)
{
    return type == MessageDialogType::Warning || type == MessageDialogType::Error ||
           type == MessageDialogType::Information || type == MessageDialogType::Confirmation;
}

platform::Text TitleOf(MessageDialogType type)
{
    const auto& texts = texts::Texts();
    switch (type) {
    case MessageDialogType::Warning: return texts.TitleWarning;
    case MessageDialogType::Error: return texts.TitleError;
    case MessageDialogType::Information: return texts.TitleInformation;
    case MessageDialogType::Confirmation: return texts.TitleConfirmation;
    default: return Application().ApplicationTitle();
    }
}

// The default font of every new form: the text table's DialogFontName at 9
// points.
QFont DialogFont()
{
    QFont font(ToQString(texts::Texts().DialogFontName));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int dpi = screen ? qRound(screen->logicalDotsPerInchY()) : 96;
    font.setPixelSize(MulDiv(9, dpi, 72));
    return font;
}

// The letter after a caption's single "&", upper-cased; 0 when there is none.
QChar MnemonicOf(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != u'&') continue;
        if (caption[i + 1] == u'&') {
            ++i;
            continue;
        }
        return caption[i + 1].toUpper();
    }
    return QChar();
}

} // namespace

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0) return -1;
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    const std::int64_t half = (denominator < 0 ? -static_cast<std::int64_t>(denominator) : denominator) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t magnitude = ((product < 0 ? -product : product) + half) /
                                   (denominator < 0 ? -static_cast<std::int64_t>(denominator) : denominator);
    const std::int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) return -1;
    return static_cast<int>(result);
}

QSize MeasureAverageCharSize(const QFont& font)
{
    const QFontMetrics metrics(font);
    const QSize extent(
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
        metrics.height());
    return QSize(extent.width() / 52, extent.height());
}

TMessageForm::TMessageForm() : TForm(TForm::CreateNew) {}

void TMessageForm::showEvent(QShowEvent* event)
{
    TForm::showEvent(event);
    // A screen reader reads an alert out as it comes up.
    if (IsAlert(Type) && QAccessible::isActive()) {
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
}

bool TMessageForm::PressForKey(QKeyEvent* event, QPushButton* focused)
{
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (modifiers != Qt::NoModifier) return false;
        if (QPushButton* button = focused ? focused : default_) button->click();
        return true;
    case Qt::Key_Escape:
        if (modifiers != Qt::NoModifier) return false;
        if (cancel_) cancel_->click();
        return true;
    default: break;
    }
    // The letter alone, with Alt or with Shift presses its button.
    if (modifiers != Qt::NoModifier && modifiers != Qt::AltModifier && modifiers != Qt::ShiftModifier) return false;
    const QString typed = event->text();
    const QChar letter = typed.size() == 1 ? typed[0].toUpper() : QChar(event->key());
    if (letter.isNull()) return false;
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (MnemonicOf(button->text()) == letter && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    return false;
}

void TMessageForm::keyPressEvent(QKeyEvent* event)
{
    if (!PressForKey(event, nullptr)) TForm::keyPressEvent(event);
}

bool TMessageForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        if (auto* button = qobject_cast<QPushButton*>(watched))
            return PressForKey(static_cast<QKeyEvent*>(event), button);
    }
    return TForm::eventFilter(watched, event);
}

std::unique_ptr<TMessageForm> BuildMessageDialog(const platform::Text& text, MessageDialogType type,
                                                 MessageDialogButtons buttons)
{
    const auto& texts = texts::Texts();
    auto form = std::make_unique<TMessageForm>();
    form->Type = type;
    form->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    const QFont font = DialogFont();
    form->setFont(font);
    auto* client = new QWidget(form.get());
    client->setObjectName(QStringLiteral("Client"));
    form->setCentralWidget(client);

    const QSize average = MeasureAverageCharSize(font);
    const int horizontalMargin = MulDiv(8, average.width(), 4);
    const int verticalMargin = MulDiv(8, average.height(), 8);
    const int horizontalSpacing = MulDiv(10, average.width(), 4);
    const int verticalSpacing = MulDiv(10, average.height(), 8);
    const int buttonWidth = MulDiv(50, average.width(), 4);
    const int buttonHeight = MulDiv(14, average.height(), 8);
    const int buttonSpacing = MulDiv(4, average.width(), 4);

    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QString message = ToQString(text);
    const QRect measured = QFontMetrics(font).boundingRect(QRect(0, 0, screen.width() / 2, 0),
                                                           Qt::AlignLeft | Qt::AlignTop | MessageTextFlags, message);
    const int textWidth = measured.x() + measured.width();
    const int textHeight = measured.y() + measured.height();

    const bool icon = HasIcon(type);
    int iconTextWidth = textWidth;
    int iconTextHeight = textHeight;
    if (icon) {
        iconTextWidth += 32 + horizontalSpacing;
        iconTextHeight = std::max(iconTextHeight, 32);
    }
    const int count = std::popcount(static_cast<unsigned>(buttons & ReadButtons));
    const int groupWidth = count == 0 ? 0 : count * buttonWidth + (count - 1) * buttonSpacing;
    const int clientWidth = std::max(iconTextWidth, groupWidth) + 2 * horizontalMargin;
    const int clientHeight = iconTextHeight + buttonHeight + verticalSpacing + 2 * verticalMargin;
    form->setFixedSize(clientWidth, clientHeight);
    form->SetBounds(screen.width() / 2 - form->Width() / 2, screen.height() / 2 - form->Height() / 2, form->Width(),
                    form->Height());

    form->SetCaption(TitleOf(type));

    if (icon) {
        auto* image = new QLabel(client);
        image->setObjectName(QStringLiteral("Image"));
        image->setPixmap(form->style()->standardIcon(IconOf(type), nullptr, form.get()).pixmap(32, 32));
        image->setGeometry(horizontalMargin, verticalMargin, 32, 32);
    }

    auto* label = new MessageLabel(message, client);
    label->setObjectName(QStringLiteral("Message"));
    label->setWordWrap(true);
    label->setGeometry(iconTextWidth - textWidth + horizontalMargin, verticalMargin, textWidth, textHeight);

    const MessageDialogButton defaultButton = Has(buttons, MessageDialogButton::OK)    ? MessageDialogButton::OK
                                              : Has(buttons, MessageDialogButton::Yes) ? MessageDialogButton::Yes
                                                                                       : MessageDialogButton::Retry;
    const MessageDialogButton cancelButton = Has(buttons, MessageDialogButton::Cancel) ? MessageDialogButton::Cancel
                                             : Has(buttons, MessageDialogButton::No)   ? MessageDialogButton::No
                                                                                       : MessageDialogButton::OK;
    int x = (clientWidth - groupWidth) / 2;
    TMessageForm* dialog = form.get();
    for (unsigned value = 0; value < ButtonKinds.size(); ++value) {
        const auto kind = static_cast<MessageDialogButton>(value);
        if (!Has(buttons, kind)) continue;
        const ButtonKind& button = ButtonKinds[value];
        auto* push = new QPushButton(ToQString(texts.*button.caption), client);
        push->setObjectName(QString::fromLatin1(button.name));
        push->setProperty("ModalResult", button.result);
        push->setAutoDefault(false);
        push->setFocusPolicy(Qt::StrongFocus);
        if (kind == defaultButton) {
            push->setDefault(true);
            dialog->SetDefaultButton(push);
        }
        push->setProperty("Cancel", kind == cancelButton);
        if (kind == cancelButton) dialog->SetCancelButton(push);
        push->installEventFilter(dialog);
        push->setGeometry(x, iconTextHeight + verticalMargin + verticalSpacing, buttonWidth, buttonHeight);
        x += buttonWidth + buttonSpacing;

        const TModalResult result = button.result;
        QObject::connect(push, &QPushButton::clicked, dialog, [dialog, result, kind] {
            Guarded([dialog, result, kind] {
                if (kind == MessageDialogButton::Help) Application().ShowHelpContext(dialog->HelpContext);
                dialog->SetModalResult(result);
            });
        });
    }
    return form;
}

TModalResult ShowMessageDialogAt(const platform::Text& text, MessageDialogType type, MessageDialogButtons buttons,
                                 std::int32_t helpContext, int x, int y)
{
    const std::unique_ptr<TMessageForm> dialog = BuildMessageDialog(text, type, buttons);
    dialog->HelpContext = helpContext;
    if (x >= 0) dialog->SetBounds(x, dialog->Top(), dialog->Width(), dialog->Height());
    if (y >= 0) dialog->SetBounds(dialog->Left(), y, dialog->Width(), dialog->Height());
    return dialog->ShowModal();
}

TModalResult ShowMessageDialog(const platform::Text& text, MessageDialogType type, MessageDialogButtons buttons,
                               std::int32_t helpContext)
{
    return ShowMessageDialogAt(text, type, buttons, helpContext, -1, -1);
}

} // namespace kivra::app
