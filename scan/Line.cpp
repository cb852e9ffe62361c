#include "scan/Line.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace kivra::scan {

Line::Line(std::string_view text)
{
    if (text.empty()) return;
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("Line: text too long");
    // The header and the bytes in one block.
    void* block = std::malloc(sizeof(Rep) + text.size() + 1);
    if (!block) throw std::bad_alloc();
    rep_ = new (block) Rep{{1}, static_cast<std::uint32_t>(text.size())};
    std::memcpy(Text(rep_), text.data(), text.size());
    Text(rep_)[text.size()] = '\0';
}

Line& Line::operator=(const Line& other) noexcept
{
    if (rep_ != other.rep_) {
        other.Hold();
        Release();
        rep_ = other.rep_;
    }
    return *this;
}

Line& Line::operator=(Line&& other) noexcept
{
    if (this != &other) {
        Release();
        rep_ = other.rep_;
        other.rep_ = nullptr;
    }
    return *this;
}

void Line::Release() noexcept
{
    if (rep_ && rep_->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        rep_->~Rep();
        std::free(rep_);
    }
    rep_ = nullptr;
}

} // namespace kivra::scan
