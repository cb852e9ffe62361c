#include "selectors/DriveComboBox.h"
#include "app/Accessible.h"

#include "app/Application.h"
#include "app/QtText.h"
#include "app/TextFormat.h"
#include "platform/WinApi.h"
#include "resources/Texts.h"
#include "selectors/CurrentDirectory.h"
#include "selectors/DirectoryListBox.h"
#include "selectors/SelectorImages.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <cstring>

namespace kivra::selectors {

namespace {

// Critical-error dialogs stay suppressed while it lives; the previous error
// mode is back when it ends, whichever way the scope is left.
class CriticalErrorsSuppressed {
public:
    CriticalErrorsSuppressed() : previous_(platform::SetErrorMode(platform::SEM_FAILCRITICALERRORS)) {}
    ~CriticalErrorsSuppressed() { platform::SetErrorMode(previous_); }
    CriticalErrorsSuppressed(const CriticalErrorsSuppressed&) = delete;
    CriticalErrorsSuppressed& operator=(const CriticalErrorsSuppressed&) = delete;

private:
    platform::UINT previous_;
};

platform::Text RootOf(char letter) { return platform::Text{letter, ':', '\\'}; }

// A label or network name takes the case of the letter it is shown with.
platform::Text InLetterCase(char letter, const platform::Text& text)
{
    return letter >= 'a' ? platform::LowerAscii(text) : platform::UpperAscii(text);
}

const char* const ImageResources[] = {"FLOPPY", "HARD", "NETWORK", "CDROM", "RAM"};

// What assistive technology (a screen reader) learns of the selector. Qt's
// own interface for a combo box on Linux names it by its current item
// ("c: [system]"); this one names it by what it is and gives the item as its
// value and the drive's place (its tip) as its description.
class DriveSelectorAccessible : public QAccessibleWidget {
public:
    explicit DriveSelectorAccessible(TDriveComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    TDriveComboBox* Combo() const { return static_cast<TDriveComboBox*>(widget()); }

    QString text(QAccessible::Text kind) const override
    {
        switch (kind) {
        case QAccessible::Value: return Combo()->currentIndex() >= 0 ? Combo()->currentText() : QString();
        case QAccessible::Description: return Combo()->toolTip();
        default: return QAccessibleWidget::text(kind);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = Combo()->view()->isVisible();
        state.collapsed = !state.expanded;
        return state;
    }

    // The drop-down list.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child->object() == Combo()->view() ? 0 : -1;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override
    {
        if (action == showMenuAction())
            Combo()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }
};

const bool DriveSelectorInterfaceInstalled = app::InstallAccessibleInterface<TDriveComboBox, DriveSelectorAccessible>();

} // namespace

platform::Text VolumeLabelText(char letter)
{
    platform::Text label;
    {
        CriticalErrorsSuppressed suppressed;
        char volumeName[platform::MAX_PATH + 1] = {};
        platform::DWORD serial = 0;
        platform::DWORD maxComponent = 0;
        platform::DWORD flags = 0;
        const platform::Text root = RootOf(letter);
        // A drive without its medium, not ready or refusing access gives no
        // label at all: its item shows an empty pair of brackets.
        if (platform::GetVolumeInformationA(root.c_str(), volumeName, sizeof volumeName, &serial, &maxComponent, &flags,
                                            nullptr, 0)) {
            volumeName[sizeof volumeName - 1] = '\0';
            label = volumeName;
        }
    }
    return app::FormatText(texts::Texts().VolumeLabelFormat, {InLetterCase(letter, label)});
}

platform::Text NetworkNameText(char letter)
{
    const platform::Text localName{UpperAsciiChar(letter), ':'};
    char remoteName[platform::MAX_PATH + 1] = {};
    platform::DWORD length = sizeof remoteName;
    if (platform::WNetGetConnectionA(localName.c_str(), remoteName, &length) == platform::ERROR_SUCCESS) {
        remoteName[sizeof remoteName - 1] = '\0';
        return InLetterCase(letter, remoteName);
    }
    return VolumeLabelText(letter);
}

// ---- Drawing ------------------------------------------------------------------

DriveItemGeometry TDriveComboBox::Layout(const QRect& item, const QImage* image)
{
    DriveItemGeometry geometry;
    int width = 16;
    if (image && !image->isNull()) {
        width = image->width();
        const int top = CentredImageTop(item.top(), item.top() + item.height(), image->height());
        geometry.image = QRect(item.left() + 2, top, image->width(), image->height());
    }
    geometry.text = QRect(QPoint(item.left() + width + 6, item.top()), item.bottomRight());
    return geometry;
}

ItemPicture TDriveComboBox::Picture(int index, const QRect& item) const
{
    const QImage* image = ImageOf(ItemImage(index));
    const DriveItemGeometry geometry = Layout(item, image);
    // Single line, centred vertically; an ampersand is shown as itself.
    return ItemPicture{image, geometry.image.topLeft(), geometry.text,
                       Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, ItemText(index)};
}

void TDriveComboBox::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected, bool focused) const
{
    DrawOwnerItem(*this, *this, painter, index, rect, selected, focused);
}

// ---- The control ----------------------------------------------------------------

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent)
{
    setAccessibleName(app::ToQString(texts::Texts().AccessibleDriveSelector));
    setEditable(false);
    setFocusPolicy(Qt::StrongFocus);
    resize(145, 25);
    setItemDelegate(new OwnerDrawDelegate(this, *this));
    LoadDriveImages();
    const platform::Text current = CurrentDirectory();
    drive_ = (current.empty() || current[0] == '\\') ? '\0' : current[0];
    UpdateItemHeight();
    // A pick with the mouse or the keyboard; picking the drive that is
    // already selected is reported too, and the selection operation skips it.
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int) { app::Guarded([this] { Click(); }); });
    // In the open list, every move of the selection with the keys is a pick
    // of its own, as on Windows; the mouse only points until it clicks.
    view()->installEventFilter(this);
    connect(view()->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!keyMoving_ || !current.isValid()) return;
        keyMoving_ = false;
        setCurrentIndex(current.row());
        app::Guarded([this] { Click(); });
    });
    connect(this, &QComboBox::currentIndexChanged, this, [this] { ShowCurrentPlace(); });
}

TDriveComboBox::~TDriveComboBox() = default;

void TDriveComboBox::ShowCurrentPlace()
{
    // The closed field tells the selected drive's place as its items do.
    setToolTip(currentIndex() >= 0 ? itemData(currentIndex(), Qt::ToolTipRole).toString() : QString());
}

void TDriveComboBox::LoadDriveImages() { images_.Load(ImageResources); }

const QImage* TDriveComboBox::ImageOf(Image image) const { return images_.Find(image); }

const platform::Text& TDriveComboBox::ItemText(int index) const { return texts_.at(static_cast<std::size_t>(index)); }

TDriveComboBox::Image TDriveComboBox::ItemImage(int index) const
{
    return itemImages_.at(static_cast<std::size_t>(index));
}

void TDriveComboBox::AddItem(const platform::Text& text, Image image)
{
    texts_.push_back(text);
    itemImages_.push_back(image);
    addItem(app::ToQString(text));
    // The label is the volume's; where the drive's root lies in the system
    // below (a Linux mount point, on Windows the root itself) is its tip.
    std::string place;
    if (platform::SystemPathFromWindowsPath(RootOf(text[0]), place))
        setItemData(count() - 1, QString::fromUtf8(place.data(), static_cast<qsizetype>(place.size())),
                    Qt::ToolTipRole);
}

void TDriveComboBox::FillDriveList()
{
    clear();
    texts_.clear();
    itemImages_.clear();
    const auto& texts = texts::Texts();
    const platform::DWORD mask = platform::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (platform::DWORD{1} << i))) continue;
        char letter = static_cast<char>('a' + i);
        const platform::UINT type = platform::GetDriveTypeA(RootOf(letter).c_str());
        if (textCase_ == TTextCase::tcUpperCase) letter = UpperAsciiChar(letter);
        const platform::Text letterText(1, letter);
        switch (type) {
        case platform::DRIVE_REMOVABLE:
            // Never touched: a floppy drive would spin up or ask for a disk.
            AddItem(platform::Text{letter, ':'}, FloppyImage);
            break;
        case platform::DRIVE_FIXED:
            AddItem(app::FormatText(texts.DriveItemFormat, {letterText, VolumeLabelText(letter)}), HardImage);
            break;
        case platform::DRIVE_REMOTE:
            AddItem(app::FormatText(texts.DriveItemFormat, {letterText, NetworkNameText(letter)}), NetworkImage);
            break;
        case platform::DRIVE_CDROM:
            AddItem(app::FormatText(texts.DriveItemFormat, {letterText, VolumeLabelText(letter)}), CdromImage);
            break;
        case platform::DRIVE_RAMDISK:
            AddItem(app::FormatText(texts.DriveItemFormat, {letterText, VolumeLabelText(letter)}), RamImage);
            break;
        default: break;
        }
    }
    // The combo box takes its first item as selected; a fresh list has none.
    setCurrentIndex(-1);
}

void TDriveComboBox::SetDrive(char drive)
{
    if (currentIndex() >= 0 && UpperAsciiChar(drive) == UpperAsciiChar(drive_)) return;
    if (drive == '\0') {
        drive_ = '\0';
        setCurrentIndex(-1);
    } else {
        const char upper = UpperAsciiChar(drive);
        // Only a letter has a lower-case form; anything else is kept as given
        // rather than shifted onto another character.
        const bool letter = upper >= 'A' && upper <= 'Z';
        drive_ = (textCase_ == TTextCase::tcUpperCase || !letter) ? upper : static_cast<char>(upper + 32);
        for (int i = 0; i < ItemCount(); ++i) {
            const platform::Text& text = ItemText(i);
            if (text.size() >= 2 && UpperAsciiChar(text[0]) == UpperAsciiChar(drive_) && text[1] == ':') {
                setCurrentIndex(i);
                break;
            }
        }
    }
    if (dirList_) dirList_->SwitchDrive(drive_);
    Change();
}

void TDriveComboBox::SetTextCase(TTextCase textCase)
{
    textCase_ = textCase;
    const char previous = drive_;
    FillDriveList();
    SetDrive(previous);
}

void TDriveComboBox::SetDirList(TDirectoryListBox* dirList)
{
    if (dirList_) dirList_->driveCombo_ = nullptr;
    dirList_ = dirList;
    if (dirList_) dirList_->driveCombo_ = this;
}

QString TDriveComboBox::DirListName() const { return dirList_ ? dirList_->objectName() : dirListName_; }

void TDriveComboBox::SetDirListName(const QString& name)
{
    dirListName_ = name;
    Loaded();
}

void TDriveComboBox::Loaded()
{
    if (dirListName_.isEmpty()) return;
    if (auto* list = window()->findChild<TDirectoryListBox*>(dirListName_)) {
        SetDirList(list);
        dirListName_.clear();
    }
}

void TDriveComboBox::Click()
{
    if (OnClick) OnClick(this);
    if (currentIndex() >= 0) SetDrive(ItemText(currentIndex())[0]);
}

void TDriveComboBox::Change()
{
    if (OnChange) OnChange(this);
}

void TDriveComboBox::UpdateItemHeight()
{
    itemHeight_ = std::max(FontCellHeight(font()), images_.HeightOr(FloppyImage, 11));
}

void TDriveComboBox::CreateHandle()
{
    handleAllocated_ = true;
    FillDriveList();
    SetDrive(drive_);
}

bool TDriveComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view()) {
        keyMoving_ = false;
        if (event->type() == QEvent::KeyPress) {
            switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Home:
            case Qt::Key_End: keyMoving_ = true; break;
            default: break;
            }
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void TDriveComboBox::showPopup()
{
    QComboBox::showPopup();
    QWidget* popup = view()->window();
    if (!popup || popup == window()) return;
    const QPoint below = mapToGlobal(QPoint(0, height()));
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    // Above the field only where the screen has no room below it.
    const bool room = screen.isNull() || below.y() + popup->height() <= screen.bottom() + 1;
    popup->move(below.x(), room ? below.y() : mapToGlobal(QPoint(0, 0)).y() - popup->height());
}

void TDriveComboBox::showEvent(QShowEvent* event)
{
    QComboBox::showEvent(event);
    if (!handleAllocated_) app::Guarded([this] { CreateHandle(); });
}

void TDriveComboBox::changeEvent(QEvent* event)
{
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateItemHeight();
        // The new height takes effect with a new window, which refills the
        // list and selects the drive again.
        if (handleAllocated_) app::Guarded([this] { CreateHandle(); });
        updateGeometry();
    }
}

void TDriveComboBox::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    DrawItem(painter, currentIndex(), field, hasFocus(), hasFocus());
}

} // namespace kivra::selectors
