#include "platform/posix/DirectoryTable.h"

#include "platform/CodePage.h"
#include "platform/posix/NameText.h"
#include "platform/posix/ShortNames.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <unordered_map>

namespace kivra::platform::posix {

namespace {

// Up to this many entries a look-up reads every entry: cheaper than hashing,
// and most directories are this small.
constexpr std::size_t SmallTable = 16;

constexpr std::uint32_t Free = 0;

std::size_t HashOf(std::string_view text) { return std::hash<std::string_view>{}(text); }
std::size_t HashOf(std::u16string_view text) { return std::hash<std::u16string_view>{}(text); }

// Open addressing in `slots` (mask + 1 of them) over entries whose keys
// `keyOf` gives: an equal key already present keeps its place, so the first
// entry put in is the one found.
template <typename Key, typename KeyOf>
bool Insert(std::uint32_t* slots, std::size_t mask, std::uint32_t entry, Key key, KeyOf keyOf)
{
    for (std::size_t at = HashOf(key) & mask;; at = (at + 1) & mask) {
        if (slots[at] == Free) {
            slots[at] = entry + 1;
            return true;
        }
        if (keyOf(slots[at] - 1) == key) return false;
    }
}

template <typename Key, typename KeyOf>
std::size_t Lookup(const std::uint32_t* slots, std::size_t mask, Key key, KeyOf keyOf)
{
    for (std::size_t at = HashOf(key) & mask;; at = (at + 1) & mask) {
        if (slots[at] == Free) return DirectoryTable::NotFound;
        if (keyOf(slots[at] - 1) == key) return slots[at] - 1;
    }
}

bool IsAscii(std::string_view text)
{
    unsigned char any = 0;
    for (const char c : text) any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

// A Linux name of printable ASCII that a Windows name can hold is shown as
// it is; its UTF-16 form is its bytes.
bool ShownAsItIs(std::string_view name)
{
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x80) return false;
        switch (byte) {
        case '\\':
        case '/':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|': return false;
        default: break;
        }
    }
    return true;
}

char16_t UpperAsciiUnit(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return static_cast<char16_t>(byte >= 'a' && byte <= 'z' ? byte - 0x20 : byte);
}

} // namespace

// What a table is built in; kept from one table to the next (one per
// thread) so that building a small one allocates little more than the table.
struct TableScratch {
    struct Name {
        std::uint32_t units; // in `originals` and `keys`: both have the same length
        std::uint32_t length;
        bool asItIs;
    };
    // One per entry in NTFS order, until the table's block is written.
    struct Entry {
        const std::string* linuxName;
        std::uint32_t name; // in `texts`; unused when the name is shown as its Linux name
        std::uint32_t nameLength;
        std::uint32_t upperName; // in `keys`, or in `units` when `upperInUnits`
        std::uint32_t upperLength;
        std::uint32_t original; // in `originals`
        std::uint32_t originalLength;
        unsigned char kind;
        bool asItIs;
        bool upperInUnits;
        bool repeated; // its name shown, without regard to case, by an entry before it
        bool needsAlias;
        std::string alias;
    };

    std::vector<Name> names;
    std::vector<std::uint32_t> order;
    std::u16string originals;
    std::u16string keys;
    // `keys` as bytes, each unit high byte first: compared as bytes, in
    // the order of the units, at the speed of memcmp.
    std::string sortKeys;
    std::u16string units;
    std::string texts;
    std::vector<Entry> entries;
    std::vector<std::uint32_t> shown; // open addressing over the upper-cased shown names
    std::size_t shownMask = 0;

    void Clear()
    {
        names.clear();
        order.clear();
        originals.clear();
        keys.clear();
        sortKeys.clear();
        units.clear();
        texts.clear();
        entries.clear();
        shown.clear();
    }

    // A directory of many thousands of names leaves no megabytes behind.
    void Trim()
    {
        constexpr std::size_t Kept = 256 * 1024;
        const std::size_t bytes = names.capacity() * sizeof(Name) + order.capacity() * sizeof(std::uint32_t) +
                                  (originals.capacity() + keys.capacity() + units.capacity()) * sizeof(char16_t) +
                                  sortKeys.capacity() + texts.capacity() + entries.capacity() * sizeof(Entry) +
                                  shown.capacity() * sizeof(std::uint32_t);
        if (bytes > Kept) *this = TableScratch{};
    }

    std::string_view ShownOf(std::size_t i) const
    {
        const Entry& entry = entries[i];
        return entry.asItIs ? std::string_view(*entry.linuxName)
                            : std::string_view(texts).substr(entry.name, entry.nameLength);
    }
    std::u16string_view UpperOf(std::size_t i) const
    {
        const Entry& entry = entries[i];
        return std::u16string_view(entry.upperInUnits ? units : keys).substr(entry.upperName, entry.upperLength);
    }
};

namespace {

TableScratch& TheScratch()
{
    thread_local TableScratch scratch;
    return scratch;
}

// Each name's UTF-16 form and its upper case, the key of NTFS order; the
// entries in that order (upper-cased UTF-16 code units, ties by the bytes).
void SortNames(TableScratch& s, const std::vector<std::string>& linuxNames)
{
    const std::size_t count = linuxNames.size();
    s.names.reserve(count);
    for (const std::string& linuxName : linuxNames) {
        const auto at = static_cast<std::uint32_t>(s.originals.size());
        const bool asItIs = ShownAsItIs(linuxName);
        if (IsAscii(linuxName)) {
            s.originals.append(linuxName.begin(), linuxName.end());
            for (const char c : linuxName) s.keys.push_back(UpperAsciiUnit(c));
        } else {
            AppendLinuxName(linuxName, s.originals);
            for (std::size_t i = at; i < s.originals.size(); ++i) s.keys.push_back(UpperUnit(s.originals[i]));
        }
        s.names.push_back({at, static_cast<std::uint32_t>(s.originals.size() - at), asItIs});
    }
    s.sortKeys.resize(s.keys.size() * 2);
    for (std::size_t i = 0; i < s.keys.size(); ++i) {
        s.sortKeys[2 * i] = static_cast<char>(s.keys[i] >> 8);
        s.sortKeys[2 * i + 1] = static_cast<char>(s.keys[i] & 0xFF);
    }
    s.order.resize(count);
    for (std::size_t i = 0; i < count; ++i) s.order[i] = static_cast<std::uint32_t>(i);
    const std::string_view sortKeys(s.sortKeys);
    std::sort(s.order.begin(), s.order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const std::string_view keyA = sortKeys.substr(2 * s.names[a].units, 2 * s.names[a].length);
        const std::string_view keyB = sortKeys.substr(2 * s.names[b].units, 2 * s.names[b].length);
        if (const int order = keyA.compare(keyB); order != 0) return order < 0;
        return linuxNames[a] < linuxNames[b];
    });
}

// The name an entry shows before any repetition is told apart: its Linux
// name in 932, with "?" for what 932 or a Windows name cannot hold.
void ShowEntry(TableScratch& s, std::size_t i, const std::vector<std::string>& linuxNames,
               const std::vector<unsigned char>& kinds)
{
    const TableScratch::Name& source = s.names[s.order[i]];
    TableScratch::Entry& entry = s.entries[i];
    entry = TableScratch::Entry{};
    entry.linuxName = &linuxNames[s.order[i]];
    entry.kind = s.order[i] < kinds.size() ? kinds[s.order[i]] : 0;
    entry.original = source.units;
    entry.originalLength = source.length;
    entry.asItIs = source.asItIs;
    entry.upperName = source.units;
    entry.upperLength = source.length;
    if (entry.asItIs) return;
    ShownName shown = ShowName(std::u16string_view(s.originals).substr(source.units, source.length));
    entry.name = static_cast<std::uint32_t>(s.texts.size());
    entry.nameLength = static_cast<std::uint32_t>(shown.text.size());
    s.texts += shown.text;
    if (shown.lossy) {
        entry.upperName = static_cast<std::uint32_t>(s.units.size());
        entry.upperLength = static_cast<std::uint32_t>(shown.utf16.size());
        entry.upperInUnits = true;
        for (const char16_t unit : shown.utf16) s.units.push_back(UpperUnit(unit));
    }
}

// Adds entry `i` to the shown names taken; false when one equal to it
// without regard to case is taken already.
bool TakeShown(TableScratch& s, std::size_t i)
{
    return Insert(s.shown.data(), s.shownMask, static_cast<std::uint32_t>(i), s.UpperOf(i),
                  [&s](std::size_t j) { return s.UpperOf(j); });
}

bool ShownIsTaken(const TableScratch& s, std::u16string_view upper)
{
    return Lookup(s.shown.data(), s.shownMask, upper, [&s](std::size_t j) { return s.UpperOf(j); }) !=
           DirectoryTable::NotFound;
}

// Each entry whose name an entry before it shows (without regard to case)
// shows that name followed by "~" and the smallest number from 2 up that no
// other shown name takes. The numbers tried for one name go on from the last
// one given, so many entries showing one name cost time in proportion.
void NumberRepeatedNames(TableScratch& s)
{
    std::unordered_map<std::u16string, unsigned> nextNumber;
    std::u16string upper;
    for (std::size_t i = 0; i < s.entries.size(); ++i) {
        if (!s.entries[i].repeated) continue;
        const std::u16string base(s.UpperOf(i));
        const std::string shown(s.ShownOf(i));
        unsigned& number = nextNumber.try_emplace(base, 2u).first->second;
        for (;; ++number) {
            const std::string suffix = "~" + std::to_string(number);
            upper = base;
            upper.append(suffix.begin(), suffix.end());
            if (!ShownIsTaken(s, upper)) {
                TableScratch::Entry& entry = s.entries[i];
                entry.asItIs = false;
                entry.name = static_cast<std::uint32_t>(s.texts.size());
                entry.nameLength = static_cast<std::uint32_t>(shown.size() + suffix.size());
                s.texts += shown;
                s.texts += suffix;
                entry.upperName = static_cast<std::uint32_t>(s.units.size());
                entry.upperLength = static_cast<std::uint32_t>(upper.size());
                entry.upperInUnits = true;
                s.units += upper;
                TakeShown(s, i);
                ++number;
                break;
            }
        }
    }
}

// The aliases of the names that are no legal 8.3 names, in enumeration
// order, after every legal one has been reserved; false when none needs one.
bool AssignAliases(TableScratch& s)
{
    bool any = false;
    for (std::size_t i = 0; i < s.entries.size(); ++i) {
        s.entries[i].needsAlias = !IsLegalShortName(s.ShownOf(i));
        any = any || s.entries[i].needsAlias;
    }
    if (!any) return false;
    AliasAssigner aliases(s.entries.size());
    std::string upper;
    for (std::size_t i = 0; i < s.entries.size(); ++i) {
        if (s.entries[i].needsAlias) continue;
        const std::u16string_view upperName = s.UpperOf(i);
        if (IsAscii(s.ShownOf(i))) {
            upper.assign(upperName.begin(), upperName.end());
            aliases.Reserve(upper);
        } else {
            aliases.Reserve(EncodeCp932(upperName));
        }
    }
    for (TableScratch::Entry& entry : s.entries)
        if (entry.needsAlias)
            entry.alias = aliases.Assign(std::u16string_view(s.originals).substr(entry.original, entry.originalLength));
    return true;
}

} // namespace

DirectoryTable::DirectoryTable(std::vector<std::string> linuxNames, const std::vector<unsigned char>& kinds)
{
    TableScratch& s = TheScratch();
    s.Clear();
    size_ = linuxNames.size();
    SortNames(s, linuxNames);

    std::size_t slots = 1;
    while (slots < size_ * 2 + 2) slots <<= 1;
    s.shownMask = slots - 1;
    s.shown.assign(slots, Free);
    s.entries.resize(size_);
    bool anyRepeated = false;
    for (std::size_t i = 0; i < size_; ++i) {
        ShowEntry(s, i, linuxNames, kinds);
        s.entries[i].repeated = !TakeShown(s, i);
        anyRepeated = anyRepeated || s.entries[i].repeated;
    }
    if (anyRepeated) NumberRepeatedNames(s);
    AssignAliases(s);
    WriteBlock(s);
    s.Clear();
    s.Trim();
}

// The block: records, indexes, upper-cased names, then the texts, each
// followed by a null byte; empty aliases share the first byte.
void DirectoryTable::WriteBlock(const TableScratch& s)
{
    std::size_t unitCount = 0;
    std::size_t textBytes = 1;
    for (const TableScratch::Entry& entry : s.entries) {
        unitCount += entry.upperLength;
        textBytes += entry.linuxName->size() + 1;
        if (!entry.asItIs) textBytes += entry.nameLength + 1;
        if (!entry.alias.empty()) textBytes += entry.alias.size() + 1;
        anyAlias_ = anyAlias_ || !entry.alias.empty();
    }
    const bool indexed = size_ > SmallTable;
    mask_ = s.shownMask;
    const std::size_t slots = indexed ? mask_ + 1 : 0;
    const std::size_t indexCount = indexed ? (anyAlias_ ? 3 : 2) : 0;
    footprint_ =
        size_ * sizeof(Record) + indexCount * slots * sizeof(std::uint32_t) + unitCount * sizeof(char16_t) + textBytes;
    block_ = std::make_unique_for_overwrite<std::byte[]>(footprint_);
    std::byte* at = block_.get();
    const auto carve = [&at]<typename T>(T*, std::size_t n) {
        T* first = reinterpret_cast<T*>(at);
        std::uninitialized_default_construct_n(first, n);
        at += n * sizeof(T);
        return first;
    };
    Record* const records = carve(static_cast<Record*>(nullptr), size_);
    std::uint32_t* const indexes = carve(static_cast<std::uint32_t*>(nullptr), indexCount * slots);
    char16_t* const units = carve(static_cast<char16_t*>(nullptr), unitCount);
    char* const texts = carve(static_cast<char*>(nullptr), textBytes);
    records_ = records;
    units_ = units;
    texts_ = texts;
    WriteRecords(s, records, units, texts);
    if (indexed) WriteIndexes(indexes, slots);
}

// Each entry's record, its upper-cased name and its texts.
void DirectoryTable::WriteRecords(const TableScratch& s, Record* records, char16_t* units, char* texts)
{
    std::size_t unit = 0;
    std::size_t text = 0;
    const auto putText = [&](std::string_view bytes) {
        const auto offset = static_cast<std::uint32_t>(text);
        std::memcpy(texts + text, bytes.data(), bytes.size());
        text += bytes.size();
        texts[text++] = '\0';
        return offset;
    };
    texts[text++] = '\0';
    for (std::size_t i = 0; i < size_; ++i) {
        const TableScratch::Entry& entry = s.entries[i];
        Record& record = records[i];
        record.linuxName = putText(*entry.linuxName);
        record.linuxLength = static_cast<std::uint32_t>(entry.linuxName->size());
        record.name = entry.asItIs ? record.linuxName : putText(s.ShownOf(i));
        record.nameLength = entry.asItIs ? record.linuxLength : entry.nameLength;
        record.alias = entry.alias.empty() ? 0 : putText(entry.alias);
        record.aliasLength = static_cast<std::uint16_t>(entry.alias.size());
        record.kind = entry.kind;
        const std::u16string_view upperName = s.UpperOf(i);
        std::copy(upperName.begin(), upperName.end(), units + unit);
        record.upperName = static_cast<std::uint32_t>(unit);
        record.upperLength = entry.upperLength;
        unit += entry.upperLength;
    }
}

// Open addressing over the shown names as they are, their upper case, and
// the aliases.
void DirectoryTable::WriteIndexes(std::uint32_t* indexes, std::size_t slots)
{
    std::fill_n(indexes, slots * (anyAlias_ ? 3 : 2), Free);
    const auto nameOf = [this](std::size_t i) { return NameOf(records_[i]); };
    const auto upperOf = [this](std::size_t i) { return UpperOf(records_[i]); };
    for (std::size_t i = 0; i < size_; ++i) {
        Insert(indexes, mask_, static_cast<std::uint32_t>(i), NameOf(records_[i]), nameOf);
        Insert(indexes + slots, mask_, static_cast<std::uint32_t>(i), UpperOf(records_[i]), upperOf);
    }
    byName_ = indexes;
    byUpperName_ = indexes + slots;
    if (!anyAlias_) return;
    std::uint32_t* const byAlias = indexes + 2 * slots;
    const auto aliasOf = [this](std::size_t i) { return AliasOf(records_[i]); };
    for (std::size_t i = 0; i < size_; ++i)
        if (records_[i].aliasLength != 0)
            Insert(byAlias, mask_, static_cast<std::uint32_t>(i), AliasOf(records_[i]), aliasOf);
    byAlias_ = byAlias;
}

TableEntry DirectoryTable::operator[](std::size_t index) const
{
    const Record& record = records_[index];
    return TableEntry{
        TableText(texts_ + record.linuxName, record.linuxLength), TableText(texts_ + record.name, record.nameLength),
        TableText(texts_ + record.alias, record.aliasLength), UpperOf(record), static_cast<unsigned char>(record.kind)};
}

TableText DirectoryTable::ShortName(std::size_t index) const
{
    const Record& record = records_[index];
    return record.aliasLength != 0 ? TableText(texts_ + record.alias, record.aliasLength)
                                   : TableText(texts_ + record.name, record.nameLength);
}

std::size_t DirectoryTable::FindShown(std::string_view name) const
{
    if (byName_ != nullptr) return Lookup(byName_, mask_, name, [this](std::size_t i) { return NameOf(records_[i]); });
    for (std::size_t i = 0; i < size_; ++i)
        if (NameOf(records_[i]) == name) return i;
    return NotFound;
}

std::size_t DirectoryTable::FindUpper(std::u16string_view upperName) const
{
    if (byUpperName_ != nullptr)
        return Lookup(byUpperName_, mask_, upperName, [this](std::size_t i) { return UpperOf(records_[i]); });
    for (std::size_t i = 0; i < size_; ++i)
        if (UpperOf(records_[i]) == upperName) return i;
    return NotFound;
}

std::size_t DirectoryTable::FindAlias(std::string_view alias) const
{
    if (!anyAlias_ || alias.empty()) return NotFound;
    if (byAlias_ != nullptr)
        return Lookup(byAlias_, mask_, alias, [this](std::size_t i) { return AliasOf(records_[i]); });
    for (std::size_t i = 0; i < size_; ++i)
        if (AliasOf(records_[i]) == alias) return i;
    return NotFound;
}

std::size_t DirectoryTable::Find(std::string_view name) const { return Find(name, true); }

std::size_t DirectoryTable::FindSpelled(std::string_view name) const { return Find(name, false); }

// The shown name as given; then, when `anyCase`, the one equal to it
// upper-cased; then the alias.
std::size_t DirectoryTable::Find(std::string_view name, bool anyCase) const
{
    // Shown names are unique without regard to case: the one shown exactly
    // is the one found by its upper case.
    if (const std::size_t exact = FindShown(name); exact != NotFound) return exact;
    // An ASCII name is its own UTF-16 form and, upper-cased, its own 932 form.
    constexpr std::size_t Inline = 256;
    if (name.size() <= Inline && IsAscii(name)) {
        char16_t upper[Inline];
        char upperBytes[Inline];
        for (std::size_t i = 0; i < name.size(); ++i) {
            upper[i] = UpperAsciiUnit(name[i]);
            upperBytes[i] = static_cast<char>(upper[i]);
        }
        const std::size_t found = anyCase ? FindUpper({upper, name.size()}) : NotFound;
        if (found != NotFound) return found;
        return FindAlias({upperBytes, name.size()});
    }
    const std::u16string upper = UpperUnits(Utf16FromCp932(name));
    const std::size_t found = anyCase ? FindUpper(upper) : NotFound;
    if (found != NotFound) return found;
    return FindAlias(EncodeCp932(upper));
}

std::size_t DirectoryTable::FindLinux(std::string_view linuxName) const
{
    // Asked once per name of a path given in Linux form: not worth an index
    // in every table.
    for (std::size_t i = 0; i < size_; ++i) {
        const Record& record = records_[i];
        if (std::string_view(texts_ + record.linuxName, record.linuxLength) == linuxName) return i;
    }
    return NotFound;
}

} // namespace kivra::platform::posix
