#include "platform/posix/DirectoryTable.h"

#include "platform/CodePage.h"
#include "platform/posix/NameText.h"
#include "platform/posix/ShortNames.h"

#include <algorithm>
#include <numeric>

namespace kivra::platform::posix {

DirectoryTable::DirectoryTable(std::vector<std::string> linuxNames)
{
    // NTFS order: upper-cased UTF-16 code units, ties by the raw bytes.
    struct Sorted {
        std::u16string original;
        std::u16string key;
        std::string* linuxName;
    };
    std::vector<Sorted> items;
    items.reserve(linuxNames.size());
    for (std::string& linuxName : linuxNames) {
        std::u16string original = DecodeLinuxName(linuxName);
        std::u16string key = UpperUnits(original);
        items.push_back(Sorted{std::move(original), std::move(key), &linuxName});
    }
    // Pointers are sorted, not the strings; one comparison of the keys each.
    std::vector<Sorted*> sorted;
    sorted.reserve(items.size());
    for (Sorted& item : items) sorted.push_back(&item);
    std::sort(sorted.begin(), sorted.end(), [](const Sorted* a, const Sorted* b) {
        if (const int order = a->key.compare(b->key); order != 0) return order < 0;
        return *a->linuxName < *b->linuxName;
    });

    // Shown names; a name shown a second time is replaced by the entry's alias.
    entries_.resize(sorted.size());
    std::vector<bool> needsAlias(sorted.size(), false);
    std::vector<bool> shownTwice(sorted.size(), false);
    // The names shown first are indexed at once: the index tells which are
    // shown twice.
    byName_.reserve(sorted.size());
    AliasAssigner aliases(sorted.size());
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        ShownName shown = ShowName(sorted[i]->original);
        TableEntry& entry = entries_[i];
        entry.linuxName = std::move(*sorted[i]->linuxName);
        // A name shown as it is has the upper case it was sorted by.
        entry.upperName = shown.lossy ? UpperUnits(shown.utf16) : std::move(sorted[i]->key);
        entry.name = std::move(shown.text);
        if (!byName_.emplace(entry.name, i).second) {
            shownTwice[i] = true;
            needsAlias[i] = true;
        } else if (IsLegalShortName(entry.name)) {
            aliases.Reserve(EncodeCp932(entry.upperName));
        } else {
            needsAlias[i] = true;
        }
    }
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (!needsAlias[i]) continue;
        TableEntry& entry = entries_[i];
        entry.alias = aliases.Assign(sorted[i]->original);
        if (shownTwice[i]) {
            entry.name = std::move(entry.alias);
            entry.alias.clear();
            entry.upperName = Utf16FromCp932(entry.name);
            byName_.emplace(entry.name, i);
        }
    }

    byAlias_.reserve(entries_.size());
    byUpperName_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const TableEntry& entry = entries_[i];
        byUpperName_.emplace(entry.upperName, i);
        if (!entry.alias.empty()) byAlias_.emplace(entry.alias, i);
    }
}

std::size_t DirectoryTable::Find(std::string_view name) const
{
    if (const auto exact = byName_.find(name); exact != byName_.end()) return exact->second;
    const std::u16string upper = UpperUnits(Utf16FromCp932(name));
    if (const auto found = byUpperName_.find(upper); found != byUpperName_.end()) return found->second;
    if (const auto alias = byAlias_.find(EncodeCp932(upper)); alias != byAlias_.end()) return alias->second;
    return NotFound;
}

std::size_t DirectoryTable::FindLinux(std::string_view linuxName) const
{
    // Asked once per name of a path given in Linux form: not worth an index
    // in every table.
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].linuxName == linuxName) return i;
    return NotFound;
}

} // namespace kivra::platform::posix
