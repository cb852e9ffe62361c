#include "scan/cli/Message.h"

#include <cstdio>

namespace kivra::scan {

Message Message::AsIs(std::string bytes)
{
    Message message;
    message.AddAsIs(std::move(bytes));
    return message;
}

Message Message::Quoted(std::string_view bytes)
{
    std::string quoted;
    bool open = false; // inside single quotes
    const auto quote = [&](bool wanted) {
        if (open != wanted) quoted.push_back('\'');
        open = wanted;
    };
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\'') {
            quote(false);
            quoted += "\\'";
        } else if (byte < 0x20 || byte == 0x7F) {
            quote(false);
            char escaped[8];
            switch (c) {
            case '\n': std::snprintf(escaped, sizeof escaped, "\\n"); break;
            case '\t': std::snprintf(escaped, sizeof escaped, "\\t"); break;
            case '\r': std::snprintf(escaped, sizeof escaped, "\\r"); break;
            default: std::snprintf(escaped, sizeof escaped, "\\%03o", byte); break;
            }
            quoted += "$'";
            quoted += escaped;
            quoted += "'";
        } else {
            quote(true);
            quoted.push_back(c);
        }
    }
    quote(false);
    if (quoted.empty()) quoted = "''";
    return AsIs(std::move(quoted));
}

Message Message::Format(std::string_view pattern, std::initializer_list<Message> arguments)
{
    Message message;
    std::size_t start = 0;
    for (std::size_t at = pattern.find('%'); at != std::string_view::npos; at = pattern.find('%', at + 1)) {
        if (at + 1 >= pattern.size()) break;
        const char digit = pattern[at + 1];
        if (digit < '1' || digit > '9') continue;
        const std::size_t index = static_cast<std::size_t>(digit - '1');
        if (index >= arguments.size()) continue;
        message.Add(platform::Text(pattern.substr(start, at - start)));
        message.Add(arguments.begin()[index]);
        start = at + 2;
        at = start - 1;
    }
    message.Add(platform::Text(pattern.substr(start)));
    return message;
}

Message& Message::Add(platform::Text text)
{
    if (text.empty()) return *this;
    if (!pieces_.empty() && !pieces_.back().asIs)
        pieces_.back().bytes += text;
    else
        pieces_.push_back(Piece{std::move(text), false});
    return *this;
}

Message& Message::Add(const Message& other)
{
    for (const Piece& piece : other.pieces_) {
        if (piece.asIs)
            AddAsIs(piece.bytes);
        else
            Add(piece.bytes);
    }
    return *this;
}

Message& Message::AddAsIs(std::string bytes)
{
    if (bytes.empty()) return *this;
    if (!pieces_.empty() && pieces_.back().asIs)
        pieces_.back().bytes += bytes;
    else
        pieces_.push_back(Piece{std::move(bytes), true});
    return *this;
}

std::string Message::Joined() const
{
    std::string joined;
    for (const Piece& piece : pieces_) joined += piece.bytes;
    return joined;
}

} // namespace kivra::scan
