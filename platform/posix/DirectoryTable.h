#pragma once
// One directory as Windows shows it: its entries in NTFS order with their
// shown names and 8.3 aliases, and the look-ups that resolve a name of a
// path to an entry. Built once from the directory's Linux names and never
// changed afterwards; a directory that changes gets a new table.
//
// A walk builds one table per directory and keeps most of them, so a table
// is one block of memory: fixed-size records of offsets into the strings
// that follow them, and open-addressing indexes only for directories large
// enough to need them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kivra::platform::posix {

// What a table is built in (DirectoryTable.cpp).
struct TableScratch;

// Bytes held by a table: valid while the table lives, always followed by a
// null byte.
class TableText {
public:
    constexpr TableText() = default;
    constexpr TableText(const char* data, std::size_t size) : data_(data), size_(size) {}

    const char* c_str() const { return data_; }
    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t copy(char* destination, std::size_t count, std::size_t position = 0) const
    {
        return std::string_view(*this).copy(destination, count, position);
    }

    operator std::string_view() const { return {data_, size_}; }
    operator std::string() const { return {data_, size_}; }

    friend bool operator==(const TableText& a, std::string_view b) { return std::string_view(a) == b; }

private:
    const char* data_ = "";
    std::size_t size_ = 0;
};

// One entry as the table shows it; the texts are the table's own.
struct TableEntry {
    TableText linuxName;           // the bytes of the Linux name
    TableText name;                // the name shown (932), unique in the table without regard to case
    TableText alias;               // the 8.3 alias (932, upper case); empty when `name` is its own short name
    std::u16string_view upperName; // `name` in UTF-16, upper-cased
    unsigned char kind = 0;        // the kind the directory listing gave (DT_DIR …; 0 when unknown)
};

class DirectoryTable {
public:
    // `kinds`, when given, holds the listing's kind of each name.
    explicit DirectoryTable(std::vector<std::string> linuxNames, const std::vector<unsigned char>& kinds = {});
    DirectoryTable(const DirectoryTable&) = delete;
    DirectoryTable& operator=(const DirectoryTable&) = delete;

    std::size_t Size() const { return size_; }
    TableEntry operator[](std::size_t index) const;

    static constexpr std::size_t NotFound = static_cast<std::size_t>(-1);

    // The entry a name of a path (932) stands for: the shown name equal to it
    // when both are upper-cased, else the alias equal to its upper case.
    // NotFound when none.
    std::size_t Find(std::string_view name) const;
    // The entry a name spells out exactly, for a write that must not land
    // on another file: the shown name equal to it as it is, else the alias
    // equal to its upper case. NotFound when only the upper case of some
    // shown name equals the name's (on Linux a case variant is a file of its
    // own).
    std::size_t FindSpelled(std::string_view name) const;
    // The entry with this Linux name.
    std::size_t FindLinux(std::string_view linuxName) const;

    // The short name of an entry: its alias, or its name when that is short.
    TableText ShortName(std::size_t index) const;

    // Bytes of memory the table holds (its block), for measurements.
    std::size_t Footprint() const { return footprint_; }

private:
    // Where an entry's texts lie in the block. Offsets of texts count bytes
    // from the start of the text area, those of upper-cased names count
    // UTF-16 units from the start of the unit area.
    struct Record {
        std::uint32_t linuxName;
        std::uint32_t linuxLength;
        std::uint32_t name;
        std::uint32_t nameLength;
        std::uint32_t upperName;
        std::uint32_t upperLength;
        std::uint32_t alias;
        std::uint16_t aliasLength;
        std::uint16_t kind;
    };

    void WriteBlock(const TableScratch& s);
    void WriteRecords(const TableScratch& s, Record* records, char16_t* units, char* texts);
    void WriteIndexes(std::uint32_t* indexes, std::size_t slots);

    std::size_t Find(std::string_view name, bool anyCase) const;
    std::size_t FindShown(std::string_view name) const;
    std::size_t FindUpper(std::u16string_view upperName) const;
    std::size_t FindAlias(std::string_view alias) const;

    std::string_view NameOf(const Record& record) const { return {texts_ + record.name, record.nameLength}; }
    std::string_view AliasOf(const Record& record) const { return {texts_ + record.alias, record.aliasLength}; }
    std::u16string_view UpperOf(const Record& record) const { return {units_ + record.upperName, record.upperLength}; }

    std::unique_ptr<std::byte[]> block_;
    const Record* records_ = nullptr;
    // Indexes: entry number + 1 per slot, 0 for a free one; `mask_` + 1
    // slots each, none when the table is small.
    const std::uint32_t* byName_ = nullptr;
    const std::uint32_t* byUpperName_ = nullptr;
    const std::uint32_t* byAlias_ = nullptr;
    const char16_t* units_ = nullptr;
    const char* texts_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mask_ = 0;
    std::size_t footprint_ = 0;
    bool anyAlias_ = false;
};

} // namespace kivra::platform::posix
