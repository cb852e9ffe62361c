#pragma once
// The one modal dialog through which every message reaches the user: built
// anew in code for each message, sized from the measured text and the
// dialog font's average character size, centred on the screen.

#include "app/Form.h"
#include "platform/CodePage.h"

#include <QSize>

#include <cstdint>
#include <memory>

class QFont;
class QKeyEvent;
class QPushButton;

namespace kivra::app {

enum class MessageDialogType : std::uint8_t { Warning, Error, Information, Confirmation, Custom };

enum class MessageDialogButton : std::uint8_t { Yes, No, OK, Cancel, Abort, Retry, Ignore, All, Help };

// Bit i stands for MessageDialogButton i; bits 9 to 15 are ignored.
using MessageDialogButtons = std::uint16_t;

constexpr MessageDialogButtons ButtonBit(MessageDialogButton button)
{
    return static_cast<MessageDialogButtons>(1u << static_cast<unsigned>(button));
}

// The button sets the program's messages use.
inline constexpr MessageDialogButtons YesButton = ButtonBit(MessageDialogButton::Yes);
inline constexpr MessageDialogButtons YesNoButtons =
    ButtonBit(MessageDialogButton::Yes) | ButtonBit(MessageDialogButton::No);
inline constexpr MessageDialogButtons OKButton = ButtonBit(MessageDialogButton::OK);
inline constexpr MessageDialogButtons AbortButton = ButtonBit(MessageDialogButton::Abort);

// The dialog window. Its buttons are QPushButtons named after their
// MessageDialogButton ("Yes", "No", ...), each with the dynamic property
// "ModalResult"; the default button has isDefault(), the cancel button the
// property "Cancel". The text label is "Message", the icon "Image".
class TMessageForm : public TForm {
    Q_OBJECT

public:
    TMessageForm();
    // The help topic that the Help button opens.
    std::int32_t HelpContext = 0;
    // What the dialog tells: assistive technology takes a warning or an
    // error for an alert.
    MessageDialogType Type = MessageDialogType::Custom;

    // Makes `button` press on Escape (the cancel button) or on Enter when
    // the focus is on no button (the default button).
    void SetCancelButton(QPushButton* button) { cancel_ = button; }
    void SetDefaultButton(QPushButton* button) { default_ = button; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool PressForKey(QKeyEvent* event, QPushButton* focused);

    QPushButton* default_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// Shows the message centred on the screen and returns the modal result.
TModalResult ShowMessageDialog(const platform::Text& text, MessageDialogType type, MessageDialogButtons buttons,
                               std::int32_t helpContext);
// As above; x >= 0 replaces the centred left edge, y >= 0 the top edge.
TModalResult ShowMessageDialogAt(const platform::Text& text, MessageDialogType type, MessageDialogButtons buttons,
                                 std::int32_t helpContext, int x, int y);
// A hidden, fully laid-out dialog; the caller owns it.
std::unique_ptr<TMessageForm> BuildMessageDialog(const platform::Text& text, MessageDialogType type,
                                                 MessageDialogButtons buttons);

// The average width (of the 52 letters A-Z a-z, truncated) and the height of
// the font's characters.
QSize MeasureAverageCharSize(const QFont& font);

// number × numerator / denominator with a 64-bit intermediate, rounded to
// the nearest integer (halves away from zero); -1 when denominator is 0.
int MulDiv(int number, int numerator, int denominator);

} // namespace kivra::app
