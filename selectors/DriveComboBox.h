#pragma once
// TDriveComboBox: the drop-down list of the system's drives, one item per
// drive letter with an image of the drive's type and a short text. It holds
// the chosen letter in Drive and raises OnChange when the letter changes.

#include "app/Form.h"
#include "platform/CodePage.h"
#include "selectors/OwnerDraw.h"
#include "selectors/SelectorImages.h"

#include <QComboBox>
#include <QImage>
#include <QPointer>
#include <QRect>

#include <cstdint>
#include <functional>

namespace kivra::selectors {

class TDirectoryListBox;

using app::TNotifyEvent;

Q_NAMESPACE

enum class TTextCase : std::uint8_t { tcLowerCase = 0, tcUpperCase = 1 };
Q_ENUM_NS(TTextCase)

// The volume label of a drive in brackets, "[label]", in the letter's case.
// Label queries run with critical-error dialogs suppressed; the previous
// error mode is back afterwards on every way out. A failed query gives an
// empty label: "[]".
platform::Text VolumeLabelText(char letter);

// The remote name of a network drive in the letter's case, or, when it
// cannot be read, VolumeLabelText(letter).
platform::Text NetworkNameText(char letter);

// Where the parts of one item are drawn inside its rectangle.
struct DriveItemGeometry {
    QRect image; // empty when the item has no image
    QRect text;  // the rectangle the text is centred in vertically
};

// The selector's items are owner-drawn, in the drop-down list and in the
// selection field alike.
class TDriveComboBox : public QComboBox, public OwnerDrawn {
    Q_OBJECT
    // Published: a stored layout sets them by name. DirList names another
    // control of the same layout, found once the whole layout is loaded.
    Q_PROPERTY(kivra::selectors::TTextCase TextCase READ TextCase WRITE SetTextCase)
    Q_PROPERTY(QString DirList READ DirListName WRITE SetDirListName)
public:
    // The five images in the order of the drive types they stand for.
    enum Image : int { FloppyImage, HardImage, NetworkImage, CdromImage, RamImage, NoImage = -1 };

    explicit TDriveComboBox(QWidget* parent = nullptr);
    ~TDriveComboBox() override;

    // The selected drive's letter, or the zero character for no drive.
    char Drive() const { return drive_; }
    // The selection operation.
    void SetDrive(char drive);

    TTextCase TextCase() const { return textCase_; }
    void SetTextCase(TTextCase textCase);

    // The directory list this selector moves when its drive changes; it gets
    // this selector as its DriveCombo. Becomes null when that list is
    // destroyed.
    TDirectoryListBox* DirList() const { return dirList_; }
    void SetDirList(TDirectoryListBox* dirList);
    QString DirListName() const;
    void SetDirListName(const QString& name);
    // Called by the form once its whole layout is loaded: the controls named
    // by the layout's properties are looked up.
    Q_INVOKABLE void Loaded();

    // Rebuilds all items from the system's drive table.
    virtual void FillDriveList();

    // Item count, texts and images as the owner drawing sees them.
    int ItemCount() const override { return count(); }
    const platform::Text& ItemText(int index) const;
    Image ItemImage(int index) const;
    const QImage* ImageOf(Image image) const;

    int ItemHeight() const override { return itemHeight_; }
    // True once the window has been created (first shown).
    bool HandleAllocated() const { return handleAllocated_; }
    // Creates the window now, as showing it would: fills the list and
    // selects the drive's item. Re-creates it when it exists.
    void CreateHandle();

    // Where an item's image (two pixels in, centred) and its text (six
    // pixels after the image, centred vertically) go.
    static DriveItemGeometry Layout(const QRect& item, const QImage* image);
    ItemPicture Picture(int index, const QRect& item) const override;
    // Draws one item: the framework's part (brush, highlight when selected,
    // focus rectangle when focused) and the item's image and text.
    void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected, bool focused) const;

    TNotifyEvent OnChange;
    TNotifyEvent OnClick;

    // Drops the list down below the selection field, as Windows does.
    void showPopup() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void LoadDriveImages();
    void UpdateItemHeight();
    void AddItem(const platform::Text& text, Image image);
    void ShowCurrentPlace();
    void Click();
    void Change();

    char drive_ = 0;
    TTextCase textCase_ = TTextCase::tcLowerCase;
    QPointer<TDirectoryListBox> dirList_;
    QString dirListName_;
    SelectorImageSet<5> images_;
    std::vector<platform::Text> texts_;
    std::vector<Image> itemImages_;
    int itemHeight_ = 0;
    bool handleAllocated_ = false;
    bool keyMoving_ = false; // a key moves the selection in the open list
};

} // namespace kivra::selectors
