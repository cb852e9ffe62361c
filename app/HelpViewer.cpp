#include "app/HelpViewer.h"
#include "app/Accessible.h"

#include "app/Guard.h"
#include "app/HelpPage.h"
#include "app/Modality.h"
#include "app/QtText.h"
#include "app/TextFormat.h"
#include "platform/WinApi.h"
#include "resources/Texts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

namespace kivra::app {

namespace {

constexpr std::string_view HelpFileMark = "KIVRA HELP";
// Larger than any help file; a bigger file is taken as unreadable.
constexpr std::size_t HelpFileLimit = 16u << 20;

enum class ReadResult { Read, Missing, Unreadable };

ReadResult ReadHelpFile(const platform::Text& path, std::string& contents, platform::DWORD& error)
{
    const platform::HANDLE file = platform::CreateFileA(path.c_str(), platform::GENERIC_READ, platform::FILE_SHARE_READ,
                                                        platform::OPEN_EXISTING, 0);
    if (file == platform::INVALID_HANDLE_VALUE) {
        error = platform::GetLastError();
        return error == platform::ERROR_FILE_NOT_FOUND || error == platform::ERROR_PATH_NOT_FOUND
                   ? ReadResult::Missing
                   : ReadResult::Unreadable;
    }
    ReadResult result = ReadResult::Read;
    char buffer[65536];
    for (;;) {
        platform::DWORD read = 0;
        if (!platform::ReadFile(file, buffer, sizeof buffer, &read)) {
            error = platform::GetLastError();
            result = ReadResult::Unreadable;
            break;
        }
        if (read == 0) break;
        contents.append(buffer, read);
        if (contents.size() > HelpFileLimit) {
            error = platform::ERROR_NOT_ENOUGH_MEMORY;
            result = ReadResult::Unreadable;
            break;
        }
    }
    platform::CloseHandle(file);
    return result;
}

// A text of a topic as the page shows it: a control's caption written with
// its access key, "検索開始(&O)", shows as the control does, the letter
// underlined and no "&".
QString Escaped(const QString& text)
{
    static const QRegularExpression accessKey(QStringLiteral("\\(&amp;([A-Za-z0-9])\\)"));
    QString html = text.toHtmlEscaped();
    html.replace(accessKey, QStringLiteral("(<u>\\1</u>)"));
    return html;
}

// One line of a topic with its links: {<number>|<text>}.
QString LineHtml(const QString& line)
{
    static const QRegularExpression link(QStringLiteral("\\{(\\d+)\\|([^}]*)\\}"));
    QString html;
    qsizetype at = 0;
    for (auto match = link.globalMatch(line); match.hasNext();) {
        const auto found = match.next();
        html += Escaped(line.mid(at, found.capturedStart() - at));
        html += QStringLiteral("<a href=\"topic:%1\">%2</a>").arg(found.captured(1), Escaped(found.captured(2)));
        at = found.capturedEnd();
    }
    return html + Escaped(line.mid(at));
}

QString MessagePage(const platform::Text& message)
{
    return QStringLiteral("<p>%1</p>").arg(Escaped(ToQString(message)));
}

// The viewer is a window of its own to assistive technology, as the
// platform's help engine is, not a pane of some other window.
class HelpViewerAccessible : public QAccessibleWidget {
public:
    explicit HelpViewerAccessible(QWidget* viewer) : QAccessibleWidget(viewer, QAccessible::Window) {}
};

const bool HelpViewerInterfaceInstalled = InstallAccessibleInterface<HelpViewer, HelpViewerAccessible>();

} // namespace

std::optional<HelpDocument> HelpDocument::Parse(std::string_view utf8)
{
    if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
    const QStringList lines = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()))
                                  .split(QRegularExpression(QStringLiteral("\r?\n")));
    if (lines.isEmpty() || lines.front().trimmed() != QLatin1String(HelpFileMark.data(), HelpFileMark.size()))
        return std::nullopt;

    static const QRegularExpression topicLine(QStringLiteral("^@topic\\s+(\\d+)\\s*(.*)$"));
    HelpDocument document;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.startsWith(u'#')) continue;
        if (line.startsWith(QLatin1String("@title "))) {
            document.title_ = line.mid(7).trimmed();
            continue;
        }
        if (const auto topic = topicLine.match(line); topic.hasMatch()) {
            bool valid = false;
            const auto number = topic.captured(1).toUInt(&valid);
            if (!valid) return std::nullopt;
            document.topics_.push_back(HelpTopic{number, topic.captured(2).trimmed(), {}});
            continue;
        }
        if (!document.topics_.empty()) document.topics_.back().lines.push_back(line);
    }
    if (document.topics_.empty()) return std::nullopt;
    return document;
}

const HelpTopic* HelpDocument::Find(std::uint32_t number) const
{
    for (const HelpTopic& topic : topics_) {
        if (topic.number == number) return &topic;
    }
    return nullptr;
}

QString HelpDocument::PageOf(const HelpTopic& topic)
{
    QString html = QStringLiteral("<h2>%1</h2>").arg(Escaped(topic.title));
    QString paragraph;
    bool inList = false;
    const auto endParagraph = [&] {
        if (!paragraph.isEmpty()) html += QStringLiteral("<p>%1</p>").arg(paragraph);
        paragraph.clear();
    };
    const auto endList = [&] {
        if (inList) html += QStringLiteral("</ul>");
        inList = false;
    };
    for (const QString& line : topic.lines) {
        if (line.trimmed().isEmpty()) {
            endParagraph();
            endList();
        } else if (line.startsWith(QLatin1String("- "))) {
            endParagraph();
            if (!inList) html += QStringLiteral("<ul>");
            inList = true;
            html += QStringLiteral("<li>%1</li>").arg(LineHtml(line.mid(2)));
        } else {
            endList();
            if (!paragraph.isEmpty()) paragraph += u' ';
            paragraph += LineHtml(line.trimmed());
        }
    }
    endParagraph();
    endList();
    return html;
}

HelpViewer::HelpViewer() : QWidget(nullptr, Qt::Window)
{
    // The platform's help engine, not part of the program's modal state: a
    // message dialog leaves it usable.
    setProperty(OutsideModalState, true);
    const auto& texts = texts::Texts();
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(ToQString(texts.HelpViewerTitle));
    document_ = new HelpPage(this);
    document_->setObjectName(QStringLiteral("Document"));
    document_->setOpenLinks(false);
    contents_ = new QPushButton(ToQString(texts.HelpContentsButton), this);
    contents_->setObjectName(QStringLiteral("Contents"));
    back_ = new QPushButton(ToQString(texts.HelpBackButton), this);
    back_->setObjectName(QStringLiteral("Back"));
    back_->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents_);
    buttons->addWidget(back_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(document_);
    resize(420, 480);

    // Escape closes the viewer, as it closes the program's dialogs.
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::hide);
    connect(contents_, &QPushButton::clicked, this, [this] { Guarded([this] { ShowContents(); }); });
    connect(back_, &QPushButton::clicked, this, [this] { Guarded([this] { GoBack(); }); });
    connect(document_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        Guarded([this, &url] {
            if (url.scheme() != QLatin1String("topic")) return;
            bool valid = false;
            const auto number = url.path().toUInt(&valid);
            if (valid) ShowTopic(number);
        });
    });
}

HelpViewer::~HelpViewer() = default;

bool HelpViewer::Open(const platform::Text& path, std::uint16_t command, std::uint32_t data, const QWidget* program)
{
    if (command == HELP_QUIT) {
        hide();
        return true;
    }
    if (command != HELP_CONTENTS && command != HELP_CONTEXT) return false;

    const auto& texts = texts::Texts();
    help_.reset();
    history_.clear();
    shown_.reset();
    setWindowTitle(ToQString(texts.HelpViewerTitle));
    std::string contents;
    platform::DWORD error = 0;
    switch (ReadHelpFile(path, contents, error)) {
    case ReadResult::Missing: ShowPage(MessagePage(FormatText(texts.HelpFileMissingFormat, {path}))); break;
    case ReadResult::Unreadable:
        ShowPage(MessagePage(FormatText(texts.HelpFileUnreadableFormat, {path, std::to_string(error)})));
        break;
    case ReadResult::Read:
        help_ = HelpDocument::Parse(contents);
        if (!help_) {
            ShowPage(MessagePage(FormatText(texts.HelpFileInvalidFormat, {path})));
            break;
        }
        if (!help_->Title().isEmpty()) setWindowTitle(help_->Title());
        if (command == HELP_CONTENTS)
            ShowContents();
        else
            ShowTopic(data);
        break;
    }
    if (!isVisible()) PlaceBesideProgram(program);
    show();
    raise();
    activateWindow();
    return true;
}

QRect HelpViewerPlace(const QRect& area, const QRect& program, const QSize& size)
{
    const int top = std::max(area.top(), std::min(program.top(), area.bottom() + 1 - size.height()));
    const int rightRoom = area.right() - program.right();
    const int leftRoom = program.left() - area.left();
    // Beside the program, right or left, where the screen has room.
    if (rightRoom >= size.width()) return QRect(QPoint(program.right() + 1, top), size);
    if (leftRoom >= size.width()) return QRect(QPoint(program.left() - size.width(), top), size);
    // Narrower, beside it on the roomier side, while still readable.
    const int room = std::max(rightRoom, leftRoom);
    if (room >= HelpViewerNarrowest) {
        const QSize narrower(room, size.height());
        return rightRoom >= leftRoom ? QRect(QPoint(program.right() + 1, top), narrower)
                                     : QRect(QPoint(area.left(), top), narrower);
    }
    // Over the program's right edge, at the screen's.
    return QRect(QPoint(std::max(area.left(), area.right() + 1 - size.width()), top), size);
}

void HelpViewer::PlaceBesideProgram(const QWidget* program)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    if (!program || !program->isVisible()) {
        move(area.center() - rect().center());
        return;
    }
    // The sizes of the window's frame, as far as they are known.
    const QRect place = HelpViewerPlace(area, program->frameGeometry(), size());
    resize(place.size());
    move(place.topLeft());
}

QString HelpViewer::PageText() const { return document_->toPlainText(); }

void HelpViewer::ShowPage(const QString& html)
{
    document_->ShowHtml(html);
    contents_->setEnabled(help_.has_value());
    back_->setEnabled(!history_.empty());
}

void HelpViewer::ShowTopic(std::uint32_t number)
{
    if (!help_) return;
    const HelpTopic* topic = help_->Find(number);
    if (!topic) {
        ShowPage(MessagePage(FormatText(texts::Texts().HelpTopicMissingFormat, {std::to_string(number)})));
        return;
    }
    if (shown_ && *shown_ != number) history_.push_back(*shown_);
    shown_ = number;
    ShowPage(HelpDocument::PageOf(*topic));
}

void HelpViewer::ShowContents()
{
    if (help_) ShowTopic(help_->Contents().number);
}

void HelpViewer::GoBack()
{
    if (history_.empty() || !help_) return;
    const std::uint32_t previous = history_.back();
    history_.pop_back();
    shown_ = previous;
    if (const HelpTopic* topic = help_->Find(previous)) ShowPage(HelpDocument::PageOf(*topic));
}

} // namespace kivra::app
