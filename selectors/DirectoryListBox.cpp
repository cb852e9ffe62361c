#include "selectors/DirectoryListBox.h"
#include "app/Accessible.h"

#include "app/Application.h"
#include "app/QtText.h"
#include "app/TextFormat.h"
#include "platform/WinApi.h"
#include "platform/WindowsPath.h"
#include "resources/Texts.h"
#include "selectors/CurrentDirectory.h"
#include "selectors/SelectorImages.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <map>
#include <string>

namespace kivra::selectors {

using platform::Text;

namespace {

const char* const FolderResources[] = {"CLOSEDFOLDER", "OPENFOLDER", "CURRENTFOLDER"};

bool IsExistingFile(const Text& path)
{
    const platform::DWORD attributes = platform::GetFileAttributesA(path.c_str());
    return attributes != platform::INVALID_FILE_ATTRIBUTES && !(attributes & platform::FILE_ATTRIBUTE_DIRECTORY);
}

// The first directory name of a shortened path's directory part replaced by
// the shortening mark ("\A\B\" becomes "\...\B\", "\...\B\" becomes
// "\...\"); a lone root or mark goes altogether.
Text CutFirstDirectory(const Text& directory)
{
    const Text& mark = texts::Texts().ShortenedDirectory;
    if (directory == "\\") return {};
    const bool rooted = !directory.empty() && directory[0] == '\\';
    Text body = rooted ? directory.substr(1) : directory;
    if (body.compare(0, mark.size(), mark) == 0) body.erase(0, mark.size());
    const std::size_t separator = platform::FindSeparator(body);
    body = separator == platform::NoPosition ? Text() : mark + body.substr(separator + 1);
    return rooted ? "\\" + body : body;
}

// One row of the directory list as assistive technology (a screen reader)
// sees it: its name, and as its description whether it is an open folder on
// the way to the current one, the current one itself or one of its
// subfolders, with its level in the tree; the open ones are expanded, the
// subfolders collapsed. Entering it is its press action.
class DirectoryItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    DirectoryItemAccessible(TDirectoryListBox* list, int row) : list_(list), row_(row) {}

    bool isValid() const override { return list_ && row_ < list_->ItemCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ ? list_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(list_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text kind) const override
    {
        if (!isValid()) return {};
        switch (kind) {
        case QAccessible::Name: return list_->item(row_)->text();
        case QAccessible::Description: {
            const auto& texts = texts::Texts();
            const int level =
                list_->ItemImage(row_) == TDirectoryListBox::ClosedImage ? list_->PathItemCount() + 1 : row_ + 1;
            const Text& format =
                list_->ItemImage(row_) == TDirectoryListBox::ClosedImage    ? texts.AccessibleSubdirectoryFormat
                : list_->ItemImage(row_) == TDirectoryListBox::CurrentImage ? texts.AccessibleCurrentDirectoryFormat
                                                                            : texts.AccessibleOpenDirectoryFormat;
            return app::ToQString(app::FormatText(format, {std::to_string(level)}));
        }
        default: return {};
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) return state;
        state.selectable = true;
        state.focusable = true;
        state.selected = list_->SelectedIndex() == row_;
        state.focused = list_->hasFocus() && list_->currentRow() == row_;
        state.expandable = true;
        state.expanded = list_->ItemImage(row_) != TDirectoryListBox::ClosedImage;
        state.collapsed = !state.expanded;
        state.invisible = list_->visualItemRect(list_->item(row_)).intersected(list_->viewport()->rect()).isEmpty();
        return state;
    }

    QRect rect() const override
    {
        if (!isValid()) return {};
        const QRect item = list_->visualItemRect(list_->item(row_));
        return QRect(list_->viewport()->mapToGlobal(item.topLeft()), item.size());
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    void doAction(const QString& action) override
    {
        if (!isValid()) return;
        if (action == setFocusAction()) {
            list_->setFocus(Qt::OtherFocusReason);
            list_->setCurrentRow(row_);
        } else if (action == pressAction()) {
            app::Guarded([this] { list_->OpenPath(list_->ItemPath(row_)); });
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<TDirectoryListBox> list_;
    int row_;
};

// The directory list: its rows are its children, numbered as Qt's list
// views number them in the events they send.
class DirectoryListAccessible : public QAccessibleWidget {
public:
    explicit DirectoryListAccessible(TDirectoryListBox* list) : QAccessibleWidget(list, QAccessible::List) {}
    ~DirectoryListAccessible() override
    {
        for (const auto& [row, id] : rows_) QAccessible::deleteAccessibleInterface(id);
    }

    TDirectoryListBox* List() const { return static_cast<TDirectoryListBox*>(widget()); }

    int childCount() const override { return List()->ItemCount(); }
    QAccessibleInterface* child(int row) const override
    {
        if (row < 0 || row >= childCount()) return nullptr;
        auto found = rows_.find(row);
        if (found == rows_.end())
            found =
                rows_.emplace(row, QAccessible::registerAccessibleInterface(new DirectoryItemAccessible(List(), row)))
                    .first;
        return QAccessible::accessibleInterface(found->second);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (const auto& [row, id] : rows_) {
            if (QAccessible::accessibleInterface(id) == child) return row;
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QModelIndex index = List()->indexAt(List()->viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? child(index.row()) : nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        return List()->hasFocus() ? child(List()->currentRow()) : nullptr;
    }

private:
    mutable std::map<int, QAccessible::Id> rows_;
};

const bool DirectoryListInterfaceInstalled =
    app::InstallAccessibleInterface<TDirectoryListBox, DirectoryListAccessible>();

} // namespace

// ---- Free routines ------------------------------------------------------------

Text PathDrive(const Text& path)
{
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') return {};
    // "\\host\share", up to the separator that follows the share's name,
    // as every Windows path is read.
    return path.substr(0, platform::SplitPathText(path).startLength);
}

Text JoinPath(const Text& directory, const Text& name)
{
    if (platform::EndsWithSeparator(directory)) return directory + name;
    return directory + '\\' + name;
}

bool IsExistingDirectory(const Text& path)
{
    const platform::DWORD attributes = platform::GetFileAttributesA(path.c_str());
    return attributes != platform::INVALID_FILE_ATTRIBUTES && (attributes & platform::FILE_ATTRIBUTE_DIRECTORY);
}

Text ShortenPathToWidth(const Text& path, const QFontMetrics& metrics, int width)
{
    Text drive;
    Text rest = path;
    if (path.size() >= 2 && path[1] == ':') {
        drive = path.substr(0, 2);
        rest = path.substr(2);
    }
    const std::size_t last = platform::LastSeparator(rest);
    Text directory = last == platform::NoPosition ? Text() : rest.substr(0, last + 1);
    const Text name = last == platform::NoPosition ? rest : rest.substr(last + 1);
    const Text& mark = texts::Texts().ShortenedDirectory;
    const Text rootedMark = "\\" + mark;
    auto tooWide = [&] { return metrics.horizontalAdvance(app::ToQString(drive + directory + name)) > width; };
    while (tooWide() && (!drive.empty() || !directory.empty())) {
        if (directory == rootedMark) {
            drive.clear();
            directory = mark;
        } else if (directory.empty()) {
            drive.clear();
        } else {
            directory = CutFirstDirectory(directory);
        }
    }
    return drive + directory + name;
}

// ---- The file list and the label -------------------------------------------------

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {}

void TFileListBox::SetDirectory(const Text& directory) { directory_ = directory; }

TLabel::TLabel(QWidget* parent) : QLabel(parent) {}

void TLabel::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    if (autoSize_) adjustSize();
}

void TLabel::SetCaption(const Text& caption)
{
    setText(app::ToQString(caption));
    if (autoSize_) adjustSize();
}

// ---- Drawing ------------------------------------------------------------------

DirectoryItemGeometry TDirectoryListBox::Layout(int index, const QRect& item) const
{
    DirectoryItemGeometry geometry;
    int width = 16;
    int indent = 4 * index + 2;
    const QImage* image = (index >= 0 && index < ItemCount()) ? ImageOf(ItemImage(index)) : nullptr;
    if (image) {
        // A subdirectory sits one step deeper than the current directory.
        if (ItemImage(index) == ClosedImage) indent = 4 * pathItems_ + 2;
        width = image->width();
        const int top = CentredImageTop(item.top(), item.top() + item.height(), image->height());
        geometry.image = QRect(item.left() + indent, top, image->width(), image->height());
    }
    geometry.text = QPoint(item.left() + width + indent + 4, item.top());
    return geometry;
}

ItemPicture TDirectoryListBox::Picture(int index, const QRect& item) const
{
    const DirectoryItemGeometry geometry = Layout(index, item);
    // Text output at the top of the item, not centred.
    return ItemPicture{ImageOf(ItemImage(index)), geometry.image.topLeft(),
                       QRect(geometry.text, QPoint(item.right(), item.bottom())),
                       Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, DisplayText(ItemText(index))};
}

void TDirectoryListBox::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected, bool focused) const
{
    DrawOwnerItem(*this, *this, painter, index, rect, selected, focused);
}

// ---- The control ----------------------------------------------------------------

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent)
{
    setAccessibleName(app::ToQString(texts::Texts().AccessibleDirectoryList));
    resize(145, 97);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new OwnerDrawDelegate(this, *this));
    LoadFolderImages();
    directory_ = CurrentDirectory();
    UpdateItemHeight();
}

TDirectoryListBox::~TDirectoryListBox() = default;

void TDirectoryListBox::LoadFolderImages() { folderImages_.Load(FolderResources); }

const QImage* TDirectoryListBox::ImageOf(Image image) const { return folderImages_.Find(image); }

void TDirectoryListBox::AddItem(const Text& text, Image image, const Text& reachedBy)
{
    texts_.push_back(text);
    images_.push_back(image);
    reachedBy_.push_back(reachedBy.empty() ? text : reachedBy);
    // The display role serves keyboard search and accessibility; drawing
    // reads the stored bytes.
    addItem(app::ToQString(DisplayText(text)));
}

void TDirectoryListBox::ClearItems()
{
    clear();
    texts_.clear();
    images_.clear();
    reachedBy_.clear();
    pathItems_ = 0;
}

char TDirectoryListBox::Drive() const { return directory_.empty() ? '\0' : directory_[0]; }

void TDirectoryListBox::SetDirectory(const Text& directory) { OpenPath(directory); }

void TDirectoryListBox::SetDrive(char drive)
{
    if (UpperAsciiChar(drive) != UpperAsciiChar(Drive())) OpenPath(Text{drive, ':'});
}

void TDirectoryListBox::SetFileList(TFileListBox* fileList)
{
    if (fileList_) fileList_->dirList_ = nullptr;
    fileList_ = fileList;
    if (fileList_) fileList_->dirList_ = this;
}

void TDirectoryListBox::SetDirLabel(TLabel* label)
{
    dirLabel_ = label;
    UpdateDirLabel();
}

QString TDirectoryListBox::FileListName() const { return fileList_ ? fileList_->objectName() : fileListName_; }

void TDirectoryListBox::SetFileListName(const QString& name)
{
    fileListName_ = name;
    Loaded();
}

QString TDirectoryListBox::DirLabelName() const { return dirLabel_ ? dirLabel_->objectName() : dirLabelName_; }

void TDirectoryListBox::SetDirLabelName(const QString& name)
{
    dirLabelName_ = name;
    Loaded();
}

void TDirectoryListBox::Loaded()
{
    if (!fileListName_.isEmpty()) {
        if (auto* list = window()->findChild<TFileListBox*>(fileListName_)) {
            SetFileList(list);
            fileListName_.clear();
        }
    }
    if (!dirLabelName_.isEmpty()) {
        if (auto* label = window()->findChild<TLabel*>(dirLabelName_)) {
            SetDirLabel(label);
            dirLabelName_.clear();
        }
    }
}

void TDirectoryListBox::SetItemHeight(int height)
{
    if (height <= 0 || height == itemHeight_) return;
    itemHeight_ = height;
    // The rows take the new height at the next layout of the items.
    doItemsLayout();
}

void TDirectoryListBox::UpdateDirLabel()
{
    if (!dirLabel_) return;
    const int width = dirLabel_->AutoSize() ? this->width() : dirLabel_->width();
    dirLabel_->SetCaption(ShortenPathToWidth(directory_, QFontMetrics(dirLabel_->font()), width));
}

void TDirectoryListBox::FillDirectoryList()
{
    setUpdatesEnabled(false);
    struct Resume {
        TDirectoryListBox* list;
        ~Resume() { list->setUpdatesEnabled(true); }
    } resume{this};

    ClearItems();
    const Text root = PathDrive(directory_) + '\\';
    platform::DWORD flags = 0;
    if (platform::GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
        preservesCase_ = flags & (platform::FS_CASE_SENSITIVE | platform::FS_CASE_IS_PRESERVED);
        caseSensitive_ = flags & platform::FS_CASE_SENSITIVE;
    } else {
        // Nothing known about the volume: show the names as they are stored.
        preservesCase_ = true;
        caseSensitive_ = false;
    }

    Text rest;
    int level = 0;
    if (root.size() >= 2 && root[1] == '\\') {
        AddItem(root, OpenImage);
        rest = directory_.size() > root.size() ? directory_.substr(root.size()) : Text();
        level = 1;
    } else {
        rest = directory_;
    }
    if (!rest.empty()) {
        if (!platform::EndsWithSeparator(rest)) {
            for (std::size_t separator = platform::FindSeparator(rest); separator != platform::NoPosition;
                 separator = platform::FindSeparator(rest)) {
                Text part = rest.substr(0, separator);
                if (level == 0) part += '\\';
                rest.erase(0, separator + 1);
                AddItem(part, OpenImage);
                ++level;
            }
        }
        AddItem(rest, CurrentImage);
    }
    pathItems_ = ItemCount();
    const int current = ItemCount() - 1;

    std::vector<Text> names;
    std::vector<Text> reachedBy;
    ReadSubdirectoryNames(directory_, names, &reachedBy);
    for (std::size_t i = 0; i < names.size(); ++i) AddItem(names[i], ClosedImage, reachedBy[i]);

    if (handleAllocated_) setCurrentRow(current);
    // A list filled anew starts at its top and shows the selected item.
    doItemsLayout();
    verticalScrollBar()->setValue(0);
    if (handleAllocated_ && current >= 0) scrollToItem(item(current), QAbstractItemView::EnsureVisible);
}

void TDirectoryListBox::ReadSubdirectoryNames(const Text& directory, std::vector<Text>& list,
                                              std::vector<Text>* reachedBy)
{
    const Text pattern = JoinPath(directory, texts::Texts().AllFilesPattern);
    // Only directories were asked for: an entry carrying any other attribute
    // that hides it from a search (hidden, system, volume label) is skipped.
    constexpr platform::DWORD excluded =
        platform::FILE_ATTRIBUTE_HIDDEN | platform::FILE_ATTRIBUTE_SYSTEM | platform::FILE_ATTRIBUTE_VOLUME_LABEL;
    platform::WIN32_FIND_DATAA entry;
    const platform::HANDLE search = platform::FindFirstFileA(pattern.c_str(), &entry);
    if (search == platform::INVALID_HANDLE_VALUE) return;
    struct Close {
        platform::HANDLE search;
        ~Close() { platform::FindClose(search); }
    } close{search};
    do {
        const platform::DWORD attributes = entry.dwFileAttributes;
        if (attributes & excluded) continue;
        if (!(attributes & platform::FILE_ATTRIBUTE_DIRECTORY)) continue;
        entry.cFileName[sizeof entry.cFileName - 1] = '\0';
        const Text name = entry.cFileName;
        if (name == "." || name == "..") continue;
        // Bisection in the user's collation, ignoring case; a name equal to
        // one already present is not added again.
        std::size_t low = 0;
        std::size_t high = list.size();
        bool equal = false;
        while (low < high) {
            const std::size_t middle = (low + high) / 2;
            const int order = platform::CompareStringA(platform::LOCALE_USER_DEFAULT, platform::NORM_IGNORECASE,
                                                       list[middle].data(), static_cast<int>(list[middle].size()),
                                                       name.data(), static_cast<int>(name.size()));
            if (order == platform::CSTR_LESS_THAN) {
                low = middle + 1;
            } else if (order == platform::CSTR_EQUAL) {
                equal = true;
                break;
            } else {
                high = middle;
            }
        }
        if (equal) continue;
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(low), name);
        if (reachedBy) {
            // "?" and "*" are never the second byte of a double-byte character.
            entry.cAlternateFileName[sizeof entry.cAlternateFileName - 1] = '\0';
            const bool unreachable = name.find_first_of("?*") != Text::npos && entry.cAlternateFileName[0] != '\0';
            reachedBy->insert(reachedBy->begin() + static_cast<std::ptrdiff_t>(low),
                              unreachable ? Text(entry.cAlternateFileName) : name);
        }
    } while (platform::FindNextFileA(search, &entry));
}

Text TDirectoryListBox::DisplayText(const Text& text) const
{
    if (preservesCase_ || caseSensitive_) return text;
    Text lower = text;
    platform::CharLowerBuffA(lower.data(), static_cast<platform::DWORD>(lower.size()));
    return lower;
}

int TDirectoryListBox::ComparePaths(const Text& a, const Text& b) const
{
    const Text left = caseSensitive_ ? a : platform::LowerAscii(a);
    const Text right = caseSensitive_ ? b : platform::LowerAscii(b);
    const int order =
        platform::CompareStringA(platform::LOCALE_USER_DEFAULT, 0, left.data(), static_cast<int>(left.size()),
                                 right.data(), static_cast<int>(right.size()));
    if (order == platform::CSTR_EQUAL) return 0;
    return order == platform::CSTR_LESS_THAN ? -1 : 1;
}

Text TDirectoryListBox::ItemPath(int index) const
{
    if (index < 0 || index >= ItemCount()) return {};
    const Text drive = PathDrive(directory_);
    if (index == 0) return drive + '\\';
    switch (ItemImage(index)) {
    case ClosedImage: return JoinPath(directory_, reachedBy_.at(static_cast<std::size_t>(index)));
    case CurrentImage: return directory_;
    default: break;
    }
    // An ancestor: the path up to its own name, that is up to the
    // (index + 1)-th backslash after the drive.
    const Text rest = directory_.substr(drive.size());
    std::size_t end = platform::NoPosition;
    std::size_t from = 0;
    for (int separators = 0; separators <= index; ++separators) {
        end = platform::FindSeparator(rest, from);
        if (end == platform::NoPosition) break;
        from = end + 1;
    }
    return drive + rest.substr(0, end);
}

int TDirectoryListBox::SelectedIndex() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.front());
}

void TDirectoryListBox::OpenSelectedItem() { OpenPath(ItemPath(SelectedIndex())); }

QItemSelectionModel::SelectionFlags TDirectoryListBox::SelectionCommandOf(const QModelIndex& index, const QEvent* event)
{
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    if (event && event->type() == QEvent::MouseMove &&
        static_cast<const QMouseEvent*>(event)->buttons() == Qt::NoButton)
        return QItemSelectionModel::NoUpdate;
    return QItemSelectionModel::ClearAndSelect;
}

QItemSelectionModel::SelectionFlags TDirectoryListBox::selectionCommand(const QModelIndex& index,
                                                                        const QEvent* event) const
{
    return SelectionCommandOf(index, event);
}

TDirectoryListBox::Resolved TDirectoryListBox::ResolvePath(const Text& text) const
{
    const Text saved = CurrentDirectory();
    Resolved result;
    Text dir = text;
    Text drivePart = PathDrive(dir);
    if (drivePart.empty())
        drivePart = PathDrive(saved);
    else
        dir.erase(0, drivePart.size());
    result.drive = (drivePart.size() >= 2 && drivePart[1] == ':') ? drivePart[0] : '\0';
    MakeCurrent(drivePart);

    // From here on the saved directory is made current again on every way
    // out; when this fails on the way out of an error, the error stands.
    try {
        // The last name whole, however long: a name of double-byte
        // characters may well pass 255 bytes.
        const std::size_t cut = platform::LastSeparatorOrColon(dir);
        Text name = cut == platform::NoPosition ? dir : dir.substr(cut + 1);
        if (dir.size() == name.size() + 1) {
            dir = "\\";
        } else if (dir.size() > name.size()) {
            dir.erase(dir.size() - name.size() - 1);
        } else {
            const Text current = CurrentDirectory();
            dir = current.substr(PathDrive(current).size());
            if (dir.empty()) dir = "\\";
        }
        if (!dir.empty()) MakeCurrent(dir);
        if (!name.empty() && name.find_first_of("*?") == Text::npos && !IsExistingFile(name)) {
            MakeCurrent(name);
            dir = dir == "\\" ? "\\" + name : dir + '\\' + name;
            name.clear();
        }
        if (result.drive == '\0') dir = drivePart + dir;
        result.directory = dir;
        result.name = name;
    } catch (...) {
        platform::SetCurrentDirectoryA(saved.c_str());
        throw;
    }
    MakeCurrent(saved);
    return result;
}

void TDirectoryListBox::OpenPath(const Text& text)
{
    if (text.empty() || ComparePaths(text, directory_) == 0) return;
    const Resolved resolved = ResolvePath(text);
    if (resolved.drive != Drive()) {
        changingPath_ = true;
        try {
            if (driveCombo_)
                driveCombo_->SetDrive(resolved.drive);
            else
                SwitchDrive(resolved.drive);
        } catch (...) {
            changingPath_ = false;
            throw;
        }
        changingPath_ = false;
    }
    EnterDirectory(resolved.directory);
}

void TDirectoryListBox::SwitchDrive(char drive)
{
    if (UpperAsciiChar(drive) == UpperAsciiChar(Drive())) return;
    if (drive != '\0') {
        MakeCurrent(Text{drive, ':'});
        directory_ = CurrentDirectory();
    }
    if (!changingPath_) {
        FillDirectoryList();
        DirectoryChanged();
    }
}

void TDirectoryListBox::EnterDirectory(const Text& directory)
{
    if (!platform::SetCurrentDirectoryA(directory_.c_str())) platform::SetLastError(platform::ERROR_SUCCESS);
    MakeCurrent(directory);
    directory_ = CurrentDirectory();
    FillDirectoryList();
    DirectoryChanged();
}

void TDirectoryListBox::DirectoryChanged()
{
    if (fileList_) fileList_->SetDirectory(directory_);
    UpdateDirLabel();
    if (OnChange) OnChange(this);
}

void TDirectoryListBox::UpdateItemHeight()
{
    const int height = std::max(FontCellHeight(font()), folderImages_.HeightOr(OpenImage, 15) + 1);
    const bool changed = height != itemHeight_;
    itemHeight_ = height;
    if (changed && handleAllocated_) {
        // A new window with the new height, filled afresh.
        app::Guarded([this] { CreateHandle(); });
    }
}

void TDirectoryListBox::CreateHandle()
{
    handleAllocated_ = true;
    // Filling a list whose window exists selects the current directory's
    // item.
    FillDirectoryList();
}

void TDirectoryListBox::showEvent(QShowEvent* event)
{
    QListWidget::showEvent(event);
    if (!handleAllocated_) app::Guarded([this] { CreateHandle(); });
}

void TDirectoryListBox::changeEvent(QEvent* event)
{
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) UpdateItemHeight();
}

void TDirectoryListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // Past QListView's own, which tells of the new current row whether or not
    // the list has the focus.
    QAbstractItemView::currentChanged(current, previous);
    app::AnnounceFocusedRow(*this, current);
}

void TDirectoryListBox::mousePressEvent(QMouseEvent* event)
{
    QListWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && OnClick) app::Guarded([this] { OnClick(this); });
}

void TDirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton) return;
    app::Guarded([this] {
        if (OnDblClick) OnDblClick(this);
        OpenSelectedItem();
    });
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event)
{
    char key = '\0';
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        key = '\r';
    } else {
        const QString text = event->text();
        if (text.size() == 1 && text[0].unicode() < 0x80) key = static_cast<char>(text[0].unicode());
    }
    const char typed = key;
    if (key != '\0' && OnKeyPress) app::Guarded([this, &key] { OnKeyPress(this, key); });
    if (key == '\r') {
        app::Guarded([this] { OpenSelectedItem(); });
        return;
    }
    // A key the handler dropped does nothing more.
    if (typed != '\0' && key == '\0') return;
    QListWidget::keyPressEvent(event);
}

} // namespace kivra::selectors
