#include "scan/StringList.h"

#include <stdexcept>

namespace kivra::scan {

TStringList::TStringList() : lines_(std::make_shared<Lines>()) {}

TStringList::Lines& TStringList::Own()
{
    if (lines_.use_count() > 1) lines_ = std::make_shared<Lines>(*lines_);
    return *lines_;
}

void TStringList::Add(Line line) { Own().push_back(std::move(line)); }

void TStringList::Insert(std::size_t index, Line line)
{
    if (index > lines_->size()) throw std::out_of_range("TStringList::Insert: index past the end");
    Lines& lines = Own();
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
}

void TStringList::Reserve(std::size_t count) { Own().reserve(count); }

void TStringList::Clear()
{
    // A snapshot in someone else's hands keeps the old lines; this list
    // starts afresh without copying them.
    if (lines_.use_count() > 1)
        lines_ = std::make_shared<Lines>();
    else
        Lines().swap(*lines_);
}

} // namespace kivra::scan
