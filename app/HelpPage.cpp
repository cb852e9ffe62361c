#include "app/HelpPage.h"
#include "app/Accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include <map>

namespace kivra::app {

namespace {

int LinkAt(const std::vector<DocumentLink>& links, int position)
{
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (position >= links[i].start && position < links[i].end) return static_cast<int>(i);
    }
    return -1;
}

// One link of a help page, known by its place among the page's links.
class LinkAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    LinkAccessible(HelpPage* browser, int index) : browser_(browser), index_(index) {}

    bool isValid() const override { return browser_ && index_ < static_cast<int>(Links().size()); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return Parent() ? Parent()->window() : nullptr; }
    QAccessibleInterface* parent() const override { return Parent(); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::Link; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text kind) const override
    {
        if (!isValid()) return {};
        const DocumentLink link = Links()[static_cast<std::size_t>(index_)];
        switch (kind) {
        case QAccessible::Name: return link.text;
        case QAccessible::Value: return link.target;
        default: return {};
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.focusable = true;
        state.linked = true;
        if (isValid()) {
            const QTextCursor cursor = browser_->textCursor();
            state.focused =
                browser_->hasFocus() && cursor.hasSelection() && LinkAt(Links(), cursor.selectionStart()) == index_;
        }
        return state;
    }

    QRect rect() const override
    {
        if (!isValid()) return {};
        const DocumentLink link = Links()[static_cast<std::size_t>(index_)];
        QTextCursor cursor(browser_->document());
        cursor.setPosition(link.start);
        QRect area = browser_->cursorRect(cursor);
        cursor.setPosition(link.end);
        area = area.united(browser_->cursorRect(cursor));
        return QRect(browser_->viewport()->mapToGlobal(area.topLeft()), area.size());
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    void doAction(const QString& action) override
    {
        if (!isValid()) return;
        const DocumentLink link = Links()[static_cast<std::size_t>(index_)];
        if (action == setFocusAction()) {
            QTextCursor cursor(browser_->document());
            cursor.setPosition(link.start);
            cursor.setPosition(link.end, QTextCursor::KeepAnchor);
            browser_->setFocus(Qt::OtherFocusReason);
            browser_->setTextCursor(cursor);
        } else if (action == pressAction()) {
            emit browser_->anchorClicked(QUrl(link.target));
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    std::vector<DocumentLink> Links() const { return LinksOf(*browser_->document()); }
    QAccessibleInterface* Parent() const { return QAccessible::queryAccessibleInterface(browser_.data()); }

    QPointer<HelpPage> browser_;
    int index_;
};

// A help page: read-only text whose links are its children.
class HelpPageAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit HelpPageAccessible(HelpPage* browser) : QAccessibleWidget(browser, QAccessible::Document) {}
    ~HelpPageAccessible() override
    {
        for (const auto& [index, id] : links_) QAccessible::deleteAccessibleInterface(id);
    }

    HelpPage* Browser() const { return static_cast<HelpPage*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        return state;
    }

    int childCount() const override { return static_cast<int>(LinksOf(*Browser()->document()).size()); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount()) return nullptr;
        auto found = links_.find(index);
        if (found == links_.end()) {
            auto* link = new LinkAccessible(Browser(), index);
            found = links_.emplace(index, QAccessible::registerAccessibleInterface(link)).first;
        }
        return QAccessible::accessibleInterface(found->second);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (const auto& [index, id] : links_) {
            if (QAccessible::accessibleInterface(id) == child) return index;
        }
        return -1;
    }
    QAccessibleInterface* focusChild() const override
    {
        const QTextCursor cursor = Browser()->textCursor();
        if (!Browser()->hasFocus() || !cursor.hasSelection()) return nullptr;
        return child(LinkAt(LinksOf(*Browser()->document()), cursor.selectionStart()));
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i) {
            QAccessibleInterface* link = child(i);
            if (link && link->rect().contains(x, y)) return link;
        }
        return nullptr;
    }

    // The page's text.
    QString PlainText() const { return Browser()->document()->toPlainText(); }
    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value) return PlainText();
        // Named as its window is, by the help file's title.
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) return widget()->window()->windowTitle();
        return QAccessibleWidget::text(kind);
    }
    void selection(int index, int* start, int* end) const override
    {
        const QTextCursor cursor = Browser()->textCursor();
        *start = *end = 0;
        if (index == 0 && cursor.hasSelection()) {
            *start = cursor.selectionStart();
            *end = cursor.selectionEnd();
        }
    }
    int selectionCount() const override { return Browser()->textCursor().hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override
    {
        QTextCursor cursor = Browser()->textCursor();
        cursor.clearSelection();
        Browser()->setTextCursor(cursor);
    }
    void setSelection(int, int start, int end) override
    {
        QTextCursor cursor(Browser()->document());
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        Browser()->setTextCursor(cursor);
    }
    int cursorPosition() const override { return Browser()->textCursor().position(); }
    void setCursorPosition(int position) override
    {
        QTextCursor cursor(Browser()->document());
        cursor.setPosition(position);
        Browser()->setTextCursor(cursor);
    }
    QString text(int start, int end) const override { return PlainText().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(PlainText().size()); }
    QRect characterRect(int offset) const override
    {
        QTextCursor cursor(Browser()->document());
        cursor.setPosition(offset);
        const QRect area = Browser()->cursorRect(cursor);
        return QRect(Browser()->viewport()->mapToGlobal(area.topLeft()), area.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        return Browser()->cursorForPosition(Browser()->viewport()->mapFromGlobal(point)).position();
    }
    void scrollToSubstring(int start, int) override
    {
        QTextCursor cursor(Browser()->document());
        cursor.setPosition(start);
        Browser()->setTextCursor(cursor);
        Browser()->ensureCursorVisible();
    }
    QString attributes(int offset, int* start, int* end) const override
    {
        *start = *end = offset;
        return {};
    }

private:
    mutable std::map<int, QAccessible::Id> links_;
};

const bool HelpPageInterfaceInstalled = InstallAccessibleInterface<HelpPage, HelpPageAccessible>();

} // namespace

std::vector<DocumentLink> LinksOf(const QTextDocument& document)
{
    std::vector<DocumentLink> links;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextFragment part = fragment.fragment();
            const QTextCharFormat format = part.charFormat();
            if (!format.isAnchor() || format.anchorHref().isEmpty()) continue;
            // One link may be drawn in several fragments (an underlined key).
            if (!links.empty() && links.back().end == part.position() && links.back().target == format.anchorHref()) {
                links.back().end += part.length();
                links.back().text += part.text();
            } else {
                links.push_back({part.position(), part.position() + part.length(), format.anchorHref(), part.text()});
            }
        }
    }
    return links;
}

HelpPage::HelpPage(QWidget* parent) : QTextBrowser(parent)
{
    connect(this, &QTextEdit::cursorPositionChanged, this, [this] { ReportFocusedLink(); });
}

bool HelpPage::focusNextPrevChild(bool next)
{
    const bool moved = QTextBrowser::focusNextPrevChild(next);
    ReportFocusedLink();
    return moved;
}

void HelpPage::ShowHtml(const QString& html)
{
    setHtml(html);
    if (QAccessible::isActive()) {
        QAccessibleEvent reorder(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reorder);
    }
}

void HelpPage::ReportFocusedLink()
{
    if (!QAccessible::isActive() || !hasFocus()) return;
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) return;
    const int link = LinkAt(LinksOf(*document()), cursor.selectionStart());
    if (link < 0) return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(link);
    QAccessible::updateAccessibility(&event);
}

} // namespace kivra::app
