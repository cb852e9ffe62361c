#pragma once
// A message of kivra-scan to its user, in pieces: the program's own text,
// in code page 932, which the terminal shows in the user's character set;
// and bytes shown exactly as they are (a Linux path, an argument as the user
// typed it).

#include "platform/CodePage.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kivra::scan {

class Message {
public:
    struct Piece {
        std::string bytes;
        bool asIs = false; // false: program text
    };

    Message() = default;
    // Program text.
    Message(platform::Text text) { Add(std::move(text)); }
    Message(const char* text) : Message(platform::Text(text)) {}

    static Message AsIs(std::string bytes);
    // `bytes` as a shell would read it back: in single quotes, with a quote
    // and every control character (a newline in a name) written outside
    // them ('a'$'\n''b'). What a path holds besides stays as it is.
    static Message Quoted(std::string_view bytes);
    // The program text `pattern` with each "%1", "%2", "%3" replaced by that
    // argument. ("%" is never the second byte of a 932 character.)
    static Message Format(std::string_view pattern, std::initializer_list<Message> arguments);

    Message& Add(platform::Text text);
    Message& Add(const Message& other);
    Message& AddAsIs(std::string bytes);

    const std::vector<Piece>& Pieces() const { return pieces_; }
    bool Empty() const { return pieces_.empty(); }
    // The pieces one after the other, as they are (program text in 932).
    std::string Joined() const;

private:
    std::vector<Piece> pieces_;
};

} // namespace kivra::scan
