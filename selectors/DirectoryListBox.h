#pragma once
// TDirectoryListBox: one directory of one drive shown as a small tree: the
// drive's root, each ancestor and the current directory (the path items),
// then the current directory's subdirectories. Double-click or Enter on an
// item enters that item's directory; the list rebuilds itself and raises
// OnChange. Every directory it enters becomes the process's current one.

#include "platform/CodePage.h"
#include "selectors/DriveComboBox.h"
#include "selectors/OwnerDraw.h"
#include "selectors/SelectorImages.h"

#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QRect>

#include <functional>
#include <vector>

namespace kivra::selectors {

class TDirectoryListBox;

// The file list a directory list can keep in step. This program shows none;
// all it holds is the directory it was last given.
class TFileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TFileListBox(QWidget* parent = nullptr);
    const platform::Text& Directory() const { return directory_; }
    void SetDirectory(const platform::Text& directory);
    TDirectoryListBox* DirList() const { return dirList_; }

private:
    friend class TDirectoryListBox;
    platform::Text directory_;
    QPointer<TDirectoryListBox> dirList_;
};

// A label whose AutoSize (on by default) makes it as wide as its caption.
class TLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLabel(QWidget* parent = nullptr);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    void SetCaption(const platform::Text& caption);

private:
    bool autoSize_ = true;
};

using TKeyPressEvent = std::function<void(QObject* sender, char& key)>;

// The drive part of a path: "X:" when the second character is a colon;
// "\\host\share" for a network path (the whole path when nothing follows the
// share); otherwise empty.
platform::Text PathDrive(const platform::Text& path);

// d, a separator and n; no separator when d already ends with a backslash.
platform::Text JoinPath(const platform::Text& directory, const platform::Text& name);

// True exactly when the path names an existing directory. Raises nothing.
bool IsExistingDirectory(const platform::Text& path);

// The path shortened, by replacing its leading directory names with "...",
// until it fits `width` pixels in the font of `metrics` (or cannot shrink).
platform::Text ShortenPathToWidth(const platform::Text& path, const QFontMetrics& metrics, int width);

// Where the parts of one item are drawn inside its rectangle.
struct DirectoryItemGeometry {
    QRect image; // empty when the item has no image
    QPoint text; // top-left of the text
};

class TDirectoryListBox : public QListWidget, public OwnerDrawn {
    Q_OBJECT
    // Published: a stored layout sets them by name. FileList and DirLabel
    // name other controls of the same layout, found once it is all loaded.
    Q_PROPERTY(int ItemHeight READ ItemHeight WRITE SetItemHeight)
    Q_PROPERTY(QString FileList READ FileListName WRITE SetFileListName)
    Q_PROPERTY(QString DirLabel READ DirLabelName WRITE SetDirLabelName)
public:
    enum Image : int { ClosedImage, OpenImage, CurrentImage, NoImage = -1 };

    explicit TDirectoryListBox(QWidget* parent = nullptr);
    ~TDirectoryListBox() override;

    const platform::Text& Directory() const { return directory_; }
    // OpenPath(text).
    void SetDirectory(const platform::Text& directory);
    // The first character of Directory (a backslash for a network path).
    char Drive() const;
    // Opens "X:" when the letter differs from Drive ignoring case.
    void SetDrive(char drive);

    TFileListBox* FileList() const { return fileList_; }
    void SetFileList(TFileListBox* fileList);
    TDriveComboBox* DriveCombo() const { return driveCombo_; }
    TLabel* DirLabel() const { return dirLabel_; }
    void SetDirLabel(TLabel* label);
    QString FileListName() const;
    void SetFileListName(const QString& name);
    QString DirLabelName() const;
    void SetDirLabelName(const QString& name);
    // Called by the form once its whole layout is loaded: the controls named
    // by the layout's properties are looked up.
    Q_INVOKABLE void Loaded();

    bool ChangingPath() const { return changingPath_; }
    bool PreservesCase() const { return preservesCase_; }
    bool CaseSensitive() const { return caseSensitive_; }

    virtual void OpenPath(const platform::Text& text);
    virtual void DirectoryChanged();
    virtual void FillDirectoryList();

    platform::Text ItemPath(int index) const;
    void OpenSelectedItem();
    void SwitchDrive(char drive);
    void EnterDirectory(const platform::Text& directory);
    // The directory's subdirectories (neither hidden nor system, nor "." or
    // ".."), sorted case-insensitively in the user's locale, equal names once.
    // `reachedBy`, when given, gets for each the name a path reaches it by:
    // the shown name, or its short alias where the shown name holds a
    // character that no path may (a "?" for what the code page cannot hold).
    static void ReadSubdirectoryNames(const platform::Text& directory, std::vector<platform::Text>& list,
                                      std::vector<platform::Text>* reachedBy = nullptr);
    platform::Text DisplayText(const platform::Text& text) const;
    // 0 when the two paths name the same directory on this volume.
    int ComparePaths(const platform::Text& a, const platform::Text& b) const;

    int ItemCount() const override { return static_cast<int>(texts_.size()); }
    const platform::Text& ItemText(int index) const { return texts_.at(static_cast<std::size_t>(index)); }
    Image ItemImage(int index) const { return images_.at(static_cast<std::size_t>(index)); }
    const QImage* ImageOf(Image image) const;
    // The number of path items (root, ancestors, current directory).
    int PathItemCount() const { return pathItems_; }
    // The selected item, -1 when none.
    int SelectedIndex() const;

    int ItemHeight() const override { return itemHeight_; }
    // Every row this many pixels high, until the font changes again.
    void SetItemHeight(int height);
    bool HandleAllocated() const { return handleAllocated_; }
    // Creates the window now, as showing it would: fills the list and
    // selects the current directory's item. Re-creates it when it exists.
    void CreateHandle();

    DirectoryItemGeometry Layout(int index, const QRect& item) const;
    // What a click or a key does to the selection of a single-selection
    // list box (the result list box shares it).
    static QItemSelectionModel::SelectionFlags SelectionCommandOf(const QModelIndex& index, const QEvent* event);
    ItemPicture Picture(int index, const QRect& item) const override;
    void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected, bool focused) const;

    TNotifyEvent OnChange;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TKeyPressEvent OnKeyPress;

protected:
    // A single-selection list box never deselects: a click, with Ctrl or
    // without, selects the item under it.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class TDriveComboBox;
    struct Resolved {
        char drive = 0;
        platform::Text directory;
        platform::Text name;
    };
    Resolved ResolvePath(const platform::Text& text) const;
    void LoadFolderImages();
    void UpdateItemHeight();
    void AddItem(const platform::Text& text, Image image, const platform::Text& reachedBy = {});
    void ClearItems();
    void UpdateDirLabel();

    platform::Text directory_;
    QPointer<TFileListBox> fileList_;
    QPointer<TDriveComboBox> driveCombo_;
    QPointer<TLabel> dirLabel_;
    QString fileListName_;
    QString dirLabelName_;
    bool changingPath_ = false;
    bool preservesCase_ = true;
    bool caseSensitive_ = false;
    SelectorImageSet<3> folderImages_;
    std::vector<platform::Text> texts_;
    std::vector<Image> images_;
    std::vector<platform::Text> reachedBy_; // of the subdirectory items
    int pathItems_ = 0;
    int itemHeight_ = 0;
    bool handleAllocated_ = false;
};

} // namespace kivra::selectors
