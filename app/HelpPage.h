#pragma once
// The help viewer's page: a read-only text browser whose links assistive
// technology (a screen reader, through the desktop's accessibility bus) sees
// as links, its children, each one focused in turn as the keyboard moves
// between them (Tab, Shift+Tab), which Qt's own text interfaces do not tell.

#include <QString>
#include <QTextBrowser>

#include <vector>

class QTextDocument;

namespace kivra::app {

struct DocumentLink {
    int start = 0; // character positions in the document
    int end = 0;
    QString target;
    QString text;
};

// The links of a document, in reading order.
std::vector<DocumentLink> LinksOf(const QTextDocument& document);

class HelpPage : public QTextBrowser {
    Q_OBJECT

public:
    explicit HelpPage(QWidget* parent = nullptr);
    // Shows a new page; its links are new children.
    void ShowHtml(const QString& html);

protected:
    // Tab and Shift+Tab move the focus between the page's links.
    bool focusNextPrevChild(bool next) override;

private:
    // Tells assistive technology that the link the cursor selects now has
    // the focus, while the page itself has it.
    void ReportFocusedLink();
};

} // namespace kivra::app
