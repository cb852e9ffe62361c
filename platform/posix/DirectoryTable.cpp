#include "platform/posix/DirectoryTable.h"

#include "platform/CodePage.h"
#include "platform/posix/NameText.h"
#include "platform/posix/ShortNames.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

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

// What a table is built in; kept from one table to the next so that
// building a small one allocates little more than the table itself.
struct Scratch {
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
        bool asItIs;
        bool upperInUnits;
        bool shownTwice;
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
    std::vector<std::uint32_t> shownIndex;

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
        shownIndex.clear();
    }

    // A directory of many thousands of names leaves no megabytes behind.
    void Trim()
    {
        constexpr std::size_t Kept = 256 * 1024;
        const std::size_t bytes = names.capacity() * sizeof(Name) + order.capacity() * sizeof(std::uint32_t) +
                                  (originals.capacity() + keys.capacity() + units.capacity()) * sizeof(char16_t) +
                                  sortKeys.capacity() + texts.capacity() + entries.capacity() * sizeof(Entry) +
                                  shownIndex.capacity() * sizeof(std::uint32_t);
        if (bytes > Kept) *this = Scratch{};
    }
};

Scratch& TheScratch()
{
    thread_local Scratch scratch;
    return scratch;
}

} // namespace

DirectoryTable::DirectoryTable(std::vector<std::string> linuxNames)
{
    Scratch& s = TheScratch();
    s.Clear();
    const std::size_t count = linuxNames.size();
    size_ = count;

    // Each name's UTF-16 form and its upper case, the key of NTFS order.
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
    // NTFS order: upper-cased UTF-16 code units, ties by the raw bytes.
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

    // Shown names, in NTFS order. A name shown a second time is replaced by
    // the entry's alias; which ones are is known from the names shown first.
    const bool indexed = count > SmallTable;
    if (indexed) {
        std::size_t slots = 1;
        while (slots < count * 2) slots <<= 1;
        mask_ = slots - 1;
        s.shownIndex.assign(slots, Free);
    }
    const auto shownOf = [&s](std::size_t i) -> std::string_view {
        const Scratch::Entry& entry = s.entries[i];
        return entry.asItIs ? std::string_view(*entry.linuxName)
                            : std::string_view(s.texts).substr(entry.name, entry.nameLength);
    };
    s.entries.resize(count);
    bool anyNeedsAlias = false;
    for (std::size_t i = 0; i < count; ++i) {
        const Scratch::Name& source = s.names[s.order[i]];
        Scratch::Entry& entry = s.entries[i];
        entry.linuxName = &linuxNames[s.order[i]];
        entry.original = source.units;
        entry.originalLength = source.length;
        entry.asItIs = source.asItIs;
        entry.upperName = source.units;
        entry.upperLength = source.length;
        entry.upperInUnits = false;
        entry.shownTwice = false;
        entry.needsAlias = false;
        entry.alias.clear();
        if (!entry.asItIs) {
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
        const std::string_view shown = shownOf(i);
        bool first = true;
        if (indexed) {
            first = Insert(s.shownIndex.data(), mask_, static_cast<std::uint32_t>(i), shown, shownOf);
        } else {
            for (std::size_t j = 0; j < i && first; ++j) first = s.entries[j].shownTwice || shownOf(j) != shown;
        }
        entry.shownTwice = !first;
        entry.needsAlias = !first || !IsLegalShortName(shown);
        anyNeedsAlias = anyNeedsAlias || entry.needsAlias;
    }

    if (anyNeedsAlias) {
        AliasAssigner aliases(count);
        std::string upper;
        for (std::size_t i = 0; i < count; ++i) {
            const Scratch::Entry& entry = s.entries[i];
            if (entry.needsAlias) continue;
            const std::u16string_view upperName =
                std::u16string_view(entry.upperInUnits ? s.units : s.keys).substr(entry.upperName, entry.upperLength);
            if (entry.asItIs) {
                upper.assign(upperName.begin(), upperName.end());
                aliases.Reserve(upper);
            } else {
                aliases.Reserve(EncodeCp932(upperName));
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            Scratch::Entry& entry = s.entries[i];
            if (!entry.needsAlias) continue;
            entry.alias = aliases.Assign(std::u16string_view(s.originals).substr(entry.original, entry.originalLength));
            if (entry.shownTwice) {
                // Shown as its alias, which it then no longer has apart.
                entry.asItIs = false;
                entry.name = static_cast<std::uint32_t>(s.texts.size());
                entry.nameLength = static_cast<std::uint32_t>(entry.alias.size());
                s.texts += entry.alias;
                entry.upperName = static_cast<std::uint32_t>(s.units.size());
                s.units += Utf16FromCp932(entry.alias);
                entry.upperLength = static_cast<std::uint32_t>(s.units.size() - entry.upperName);
                entry.upperInUnits = true;
                entry.alias.clear();
                if (indexed) Insert(s.shownIndex.data(), mask_, static_cast<std::uint32_t>(i), shownOf(i), shownOf);
            }
        }
    }

    // The block: records, indexes, upper-cased names, then the texts, each
    // followed by a null byte; empty aliases share the first byte.
    std::size_t unitCount = 0;
    std::size_t textBytes = 1;
    for (const Scratch::Entry& entry : s.entries) {
        unitCount += entry.upperLength;
        textBytes += entry.linuxName->size() + 1;
        if (!entry.asItIs) textBytes += entry.nameLength + 1;
        if (!entry.alias.empty()) textBytes += entry.alias.size() + 1;
        anyAlias_ = anyAlias_ || !entry.alias.empty();
    }
    const std::size_t slots = indexed ? mask_ + 1 : 0;
    const std::size_t indexCount = indexed ? (anyAlias_ ? 3 : 2) : 0;
    const std::size_t recordBytes = count * sizeof(Record);
    const std::size_t indexBytes = indexCount * slots * sizeof(std::uint32_t);
    const std::size_t unitBytes = unitCount * sizeof(char16_t);
    footprint_ = recordBytes + indexBytes + unitBytes + textBytes;
    block_ = std::make_unique_for_overwrite<std::byte[]>(footprint_);
    std::byte* at = block_.get();
    const auto carve = [&at]<typename T>(T*, std::size_t n) {
        T* first = reinterpret_cast<T*>(at);
        std::uninitialized_default_construct_n(first, n);
        at += n * sizeof(T);
        return first;
    };
    Record* const records = carve(static_cast<Record*>(nullptr), count);
    std::uint32_t* const indexes = carve(static_cast<std::uint32_t*>(nullptr), indexCount * slots);
    char16_t* const units = carve(static_cast<char16_t*>(nullptr), unitCount);
    char* const texts = carve(static_cast<char*>(nullptr), textBytes);
    records_ = records;
    units_ = units;
    texts_ = texts;

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
    for (std::size_t i = 0; i < count; ++i) {
        const Scratch::Entry& entry = s.entries[i];
        Record& record = records[i];
        record.linuxName = putText(*entry.linuxName);
        record.linuxLength = static_cast<std::uint32_t>(entry.linuxName->size());
        record.name = entry.asItIs ? record.linuxName : putText(shownOf(i));
        record.nameLength = entry.asItIs ? record.linuxLength : entry.nameLength;
        record.alias = entry.alias.empty() ? 0 : putText(entry.alias);
        record.aliasLength = static_cast<std::uint16_t>(entry.alias.size());
        record.shownTwice = entry.shownTwice;
        const std::u16string_view upperName =
            std::u16string_view(entry.upperInUnits ? s.units : s.keys).substr(entry.upperName, entry.upperLength);
        std::copy(upperName.begin(), upperName.end(), units + unit);
        record.upperName = static_cast<std::uint32_t>(unit);
        record.upperLength = entry.upperLength;
        unit += entry.upperLength;
    }

    if (indexed) {
        // The shown names went in as they were found: the names shown first,
        // then the aliases shown instead of a name shown twice.
        std::copy(s.shownIndex.begin(), s.shownIndex.end(), indexes);
        byName_ = indexes;
        auto* byUpper = indexes + slots;
        std::fill_n(byUpper, slots, Free);
        const auto upperOf = [this](std::size_t i) { return UpperOf(records_[i]); };
        for (std::size_t i = 0; i < count; ++i)
            Insert(byUpper, mask_, static_cast<std::uint32_t>(i), UpperOf(records[i]), upperOf);
        byUpperName_ = byUpper;
        if (anyAlias_) {
            auto* byAlias = indexes + 2 * slots;
            std::fill_n(byAlias, slots, Free);
            const auto aliasOf = [this](std::size_t i) { return AliasOf(records_[i]); };
            for (std::size_t i = 0; i < count; ++i)
                if (records[i].aliasLength != 0)
                    Insert(byAlias, mask_, static_cast<std::uint32_t>(i), AliasOf(records[i]), aliasOf);
            byAlias_ = byAlias;
        }
    }
    s.Clear();
    s.Trim();
}

TableEntry DirectoryTable::operator[](std::size_t index) const
{
    const Record& record = records_[index];
    return TableEntry{TableText(texts_ + record.linuxName, record.linuxLength),
                      TableText(texts_ + record.name, record.nameLength),
                      TableText(texts_ + record.alias, record.aliasLength), UpperOf(record)};
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
    // The names shown first rank before the aliases shown instead of a name
    // shown twice, as in the index.
    for (const std::uint16_t second : {0, 1})
        for (std::size_t i = 0; i < size_; ++i)
            if (records_[i].shownTwice == second && NameOf(records_[i]) == name) return i;
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

std::size_t DirectoryTable::Find(std::string_view name) const
{
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
        if (const std::size_t found = FindUpper({upper, name.size()}); found != NotFound) return found;
        return FindAlias({upperBytes, name.size()});
    }
    const std::u16string upper = UpperUnits(Utf16FromCp932(name));
    if (const std::size_t found = FindUpper(upper); found != NotFound) return found;
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
