#pragma once
// One directory as Windows shows it: its entries in NTFS order with their
// shown names and 8.3 aliases, and the look-ups that resolve a name of a
// path to an entry. Built once from the directory's Linux names and never
// changed afterwards; a directory that changes gets a new table.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kivra::platform::posix {

struct TableEntry {
    std::string linuxName;     // the bytes of the Linux name
    std::string name;          // the name shown (932): the Linux name, or its alias when that would be shown twice
    std::string alias;         // the 8.3 alias (932, upper case); empty when `name` is its own short name
    std::u16string upperName;  // `name` in UTF-16, upper-cased
};

class DirectoryTable {
public:
    explicit DirectoryTable(std::vector<std::string> linuxNames);
    DirectoryTable(const DirectoryTable&) = delete;
    DirectoryTable& operator=(const DirectoryTable&) = delete;

    const std::vector<TableEntry>& Entries() const { return entries_; }
    std::size_t Size() const { return entries_.size(); }
    const TableEntry& operator[](std::size_t index) const { return entries_[index]; }

    static constexpr std::size_t NotFound = static_cast<std::size_t>(-1);

    // The entry a name of a path (932) stands for: the shown name exactly,
    // else a shown name equal to it when both are upper-cased, else an alias;
    // among equals the first in enumeration order. NotFound when none.
    std::size_t Find(std::string_view name) const;
    // The entry with this Linux name.
    std::size_t FindLinux(std::string_view linuxName) const;

    // The short name of an entry: its alias, or its name when that is short.
    const std::string& ShortName(std::size_t index) const
    {
        return entries_[index].alias.empty() ? entries_[index].name : entries_[index].alias;
    }

private:
    // The indexes view the entries' own strings, which never change or move
    // once the table is built; so a table is never copied or moved.
    using Index = std::unordered_map<std::string_view, std::size_t>;

    std::vector<TableEntry> entries_;
    Index byName_;
    std::unordered_map<std::u16string_view, std::size_t> byUpperName_;
    Index byAlias_;
};

} // namespace kivra::platform::posix
