#include "cli/Message.h"

#include <cstdio>

namespace kivra::scan {

Message Message::AsIs(std::string bytes)
{
    Message message;
    message.AddAsIs(std::move(bytes));
    return message;
}

namespace {

// The length of the UTF-8 character that begins `text`, or 0 when it begins
// with a byte that is no such character (a stray byte of another encoding).
std::size_t Utf8Length(std::string_view text, char32_t& code)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

} // namespace

Message Message::Quoted(std::string_view bytes)
{
    std::string quoted;
    bool open = false; // inside single quotes
    const auto quote = [&](bool wanted) {
        if (open != wanted) quoted.push_back('\'');
        open = wanted;
    };
    const auto escaped = [&](std::string_view what) {
        quote(false);
        quoted += "$'";
        for (const char c : what) {
            char code[8];
            switch (c) {
            case '\n': std::snprintf(code, sizeof code, "\\n"); break;
            case '\t': std::snprintf(code, sizeof code, "\\t"); break;
            case '\r': std::snprintf(code, sizeof code, "\\r"); break;
            default: std::snprintf(code, sizeof code, "\\%03o", static_cast<unsigned char>(c)); break;
            }
            quoted += code;
        }
        quoted += "'";
    };
    for (std::size_t at = 0; at < bytes.size();) {
        const char c = bytes[at];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\'') {
            quote(false);
            quoted += "\\'";
            ++at;
        } else if (byte < 0x20 || byte == 0x7F) {
            escaped(bytes.substr(at, 1));
            ++at;
        } else if (byte < 0x80) {
            quote(true);
            quoted.push_back(c);
            ++at;
        } else {
            // A terminal takes the C1 controls (U+0080 to U+009F) and stray
            // bytes as commands too: they are written out as well.
            char32_t code = 0;
            const std::size_t length = Utf8Length(bytes.substr(at), code);
            if (length == 0) {
                escaped(bytes.substr(at, 1));
                ++at;
            } else if (code <= 0x9F) {
                escaped(bytes.substr(at, length));
                at += length;
            } else {
                quote(true);
                quoted.append(bytes.substr(at, length));
                at += length;
            }
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
