#pragma once
// One line of a string list: an immutable text whose copies share one buffer.
//
// A scan puts each path into several lists (all paths, and the groups of the
// result lists that repeat a path and its short form); sharing the bytes
// makes those copies a count, not an allocation and a copy each.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace kivra::scan {

class Line {
public:
    Line() noexcept = default;
    Line(std::string_view text);
    Line(const char* text) : Line(std::string_view(text)) {}
    Line(const std::string& text) : Line(std::string_view(text)) {}
    Line(const Line& other) noexcept : rep_(other.rep_) { Hold(); }
    Line(Line&& other) noexcept : rep_(other.rep_) { other.rep_ = nullptr; }
    Line& operator=(const Line& other) noexcept;
    Line& operator=(Line&& other) noexcept;
    ~Line() { Release(); }

    const char* data() const noexcept { return rep_ ? Text(rep_) : ""; }
    // NUL-terminated, for the calls that take a C string.
    const char* c_str() const noexcept { return data(); }
    std::size_t size() const noexcept { return rep_ ? rep_->size : 0; }
    bool empty() const noexcept { return size() == 0; }
    std::string_view View() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return View(); }

    friend bool operator==(const Line& a, const Line& b) noexcept { return a.rep_ == b.rep_ || a.View() == b.View(); }
    friend bool operator==(const Line& a, std::string_view b) noexcept { return a.View() == b; }
    friend bool operator==(const Line& a, const char* b) noexcept { return a.View() == b; }
    friend bool operator==(const Line& a, const std::string& b) noexcept { return a.View() == b; }
    friend std::ostream& operator<<(std::ostream& out, const Line& line) { return out << line.View(); }

private:
    // Followed in the same block by `size` bytes and a NUL.
    struct Rep {
        std::atomic<std::uint32_t> holders;
        std::uint32_t size;
    };
    static char* Text(Rep* rep) noexcept { return reinterpret_cast<char*>(rep + 1); }

    void Hold() const noexcept
    {
        if (rep_) rep_->holders.fetch_add(1, std::memory_order_relaxed);
    }
    void Release() noexcept;

    Rep* rep_ = nullptr;
};

} // namespace kivra::scan
