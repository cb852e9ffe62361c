#pragma once
// The help viewer, in the place of the platform's help engine: a window that
// shows the topics of a help file read through the platform layer, and that
// reports a missing or unreadable file itself.
//
// The help file is UTF-8 text:
//   KIVRA HELP                   first line: marks the file as a help file
//   @title <text>                the viewer's window title
//   @topic <number> <title>      starts a topic; the first is the contents
//   # ...                        a comment line
// Within a topic, a blank line ends a paragraph, a line beginning "- " is an
// item of a list, and {<number>|<text>} links to another topic.

#include "platform/CodePage.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

class QPushButton;

namespace kivra::app {

class HelpPage;

// Commands of the help viewer (WinHelpA).
inline constexpr std::uint16_t HELP_CONTEXT = 1;
inline constexpr std::uint16_t HELP_QUIT = 2;
inline constexpr std::uint16_t HELP_CONTENTS = 3;

struct HelpTopic {
    std::uint32_t number = 0;
    QString title;
    std::vector<QString> lines;
};

class HelpDocument {
public:
    // Empty when the text does not begin with the help file's mark or holds
    // no topic.
    static std::optional<HelpDocument> Parse(std::string_view utf8);

    const QString& Title() const { return title_; }
    // The first topic of the file.
    const HelpTopic& Contents() const { return topics_.front(); }
    const HelpTopic* Find(std::uint32_t number) const;

    // The topic as a page of the viewer: its title as a heading, then its
    // paragraphs and lists; links lead to "topic:<number>".
    static QString PageOf(const HelpTopic& topic);

private:
    QString title_;
    std::vector<HelpTopic> topics_;
};

// Where the viewer goes on a screen's `area` beside the program's window:
// right of it, else left of it, else narrower on the roomier side (no
// narrower than HelpViewerNarrowest), else at the screen's right edge.
inline constexpr int HelpViewerNarrowest = 240;
QRect HelpViewerPlace(const QRect& area, const QRect& program, const QSize& size);

class HelpViewer : public QWidget {
    Q_OBJECT

public:
    HelpViewer();
    ~HelpViewer() override;

    // HELP_CONTENTS (3) opens the file at its contents, HELP_CONTEXT (1) at
    // the topic numbered `data`, HELP_QUIT (2) closes the viewer. Returns
    // false for any other command. A file that is missing, unreadable or not
    // a help file is reported in the viewer's window. A viewer not yet shown
    // opens beside `program` when that is visible, else centred.
    bool Open(const platform::Text& path, std::uint16_t command, std::uint32_t data, const QWidget* program = nullptr);

    // The page shown now, as the viewer's document holds it.
    QString PageText() const;

private:
    void PlaceBesideProgram(const QWidget* program);
    void ShowPage(const QString& html);
    void ShowTopic(std::uint32_t number);
    void ShowContents();
    void GoBack();

    HelpPage* document_;
    QPushButton* contents_;
    QPushButton* back_;
    std::optional<HelpDocument> help_;
    std::vector<std::uint32_t> history_;
    std::optional<std::uint32_t> shown_;
};

} // namespace kivra::app
