#pragma once
// The string list of the run-time library: an ordered list of texts,
// unsorted, keeping duplicates and empty lines.
//
// The lines live in shared storage that is copied only when it is changed
// while someone else still holds it (copy on write), so a list of a million
// lines can be handed to a display in constant time with Snapshot(). A line
// added to several lists shares its bytes among them.

#include "scan/Line.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace kivra::scan {

class TStringList {
public:
    using Lines = std::vector<Line>;

    TStringList();

    void Add(Line line);
    // Inserts before the line at `index` (Count() appends). Throws
    // std::out_of_range past the end.
    void Insert(std::size_t index, Line line);
    void Clear();
    // Makes room for `count` lines without changing the list.
    void Reserve(std::size_t count);

    std::size_t Count() const { return lines_->size(); }
    // The line at `index`; throws std::out_of_range past the end.
    const Line& operator[](std::size_t index) const { return lines_->at(index); }

    // The lines as they stand now. Later changes to the list do not show in
    // a snapshot already taken.
    std::shared_ptr<const Lines> Snapshot() const { return lines_; }

private:
    // Makes the storage this list's own before a change.
    Lines& Own();

    std::shared_ptr<Lines> lines_;
};

} // namespace kivra::scan
