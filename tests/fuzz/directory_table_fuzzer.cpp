// The table of one directory built from any set of Linux names: every name
// kept once, shown names unique without regard to case, aliases legal 8.3
// names unique among the short names, and every look-up finding its entry.
//
// Input: Linux names separated by "/" (a Linux name holds neither "/" nor a
// zero byte; "/" is easier for the fuzzer to place).

#include "platform/CodePage.h"
#include "platform/posix/DirectoryTable.h"
#include "platform/posix/NameText.h"
#include "platform/posix/ShortNames.h"
#include "tests/fuzz/FuzzCheck.h"

#include <dirent.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kivra::platform::posix {
namespace {

// A listing's kind for each name, from the name itself, so that the table is
// seen to keep each entry's kind with its name.
unsigned char KindOf(std::string_view linuxName)
{
    static constexpr unsigned char kinds[] = {0, DT_DIR, DT_REG, DT_LNK};
    return kinds[linuxName.size() % 4];
}

// The Linux names of a directory: distinct, neither empty nor "." or "..".
std::vector<std::string> LinuxNamesOf(std::string_view input)
{
    std::set<std::string> seen;
    std::vector<std::string> names;
    for (const std::string_view field : fuzz::Fields(input, '/', input.size() + 1)) {
        if (field.empty() || field == "." || field == ".." || field.find('\0') != std::string_view::npos) continue;
        if (seen.emplace(field).second) names.emplace_back(field);
    }
    return names;
}

// The shown name's part before a "~N" that a repeated name gets.
bool HasNumberAfter(std::string_view name, std::string_view shown, unsigned long& number)
{
    if (name.size() < shown.size() + 2 || name.substr(0, shown.size()) != shown || name[shown.size()] != '~')
        return false;
    const std::string_view digits = name.substr(shown.size() + 1);
    if (digits[0] == '0' || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    number = std::stoul(std::string(digits));
    return true;
}

void CheckTable(const std::vector<std::string>& linuxNames)
{
    std::vector<unsigned char> kinds;
    for (const std::string& name : linuxNames) kinds.push_back(KindOf(name));
    const DirectoryTable table(linuxNames, kinds);
    FUZZ_CHECK(table.Size() == linuxNames.size());

    std::map<std::string, std::size_t> byLinuxName;
    std::map<std::u16string, std::size_t> byUpperShown;
    std::map<std::string, std::size_t> byUpperShort;
    std::u16string previousKey;
    std::string previousLinux;
    for (std::size_t i = 0; i < table.Size(); ++i) {
        const TableEntry entry = table[i];
        // Every name once, with its kind.
        FUZZ_CHECK(byLinuxName.emplace(std::string(entry.linuxName), i).second);
        FUZZ_CHECK(entry.kind == KindOf(entry.linuxName));

        // NTFS order: by the upper-cased UTF-16 units, ties by the bytes.
        const std::u16string key = UpperUnits(DecodeLinuxName(entry.linuxName));
        FUZZ_CHECK(i == 0 || previousKey < key || (previousKey == key && previousLinux < std::string(entry.linuxName)));
        previousKey = key;
        previousLinux = entry.linuxName;

        // The shown name: the name as 932 shows it, unique without regard to
        // case.
        FUZZ_CHECK(!entry.name.empty());
        FUZZ_CHECK(entry.upperName == UpperUnits(Utf16FromCp932(entry.name)));
        FUZZ_CHECK(byUpperShown.emplace(std::u16string(entry.upperName), i).second);
        for (const char16_t unit : Utf16FromCp932(entry.name)) FUZZ_CHECK(unit == u'?' || !IsForbiddenInName(unit));

        // The short name: the alias, or the shown name when that is a legal
        // 8.3 name; unique without regard to case among all short names.
        const std::string_view shortName = table.ShortName(i);
        if (entry.alias.empty()) {
            FUZZ_CHECK(IsLegalShortName(entry.name));
            FUZZ_CHECK(shortName == std::string_view(entry.name));
        } else {
            FUZZ_CHECK(!IsLegalShortName(entry.name));
            FUZZ_CHECK(IsLegalShortName(entry.alias));
            FUZZ_CHECK(UpperCaseText(entry.alias) == std::string_view(entry.alias));
            FUZZ_CHECK(shortName == std::string_view(entry.alias));
        }
        FUZZ_CHECK(byUpperShort.emplace(UpperCaseText(shortName), i).second);
    }

    // A name shared without regard to case: the first in order shows it,
    // each later one shows it with "~" and the smallest free number from 2.
    std::set<std::u16string> shownBefore;
    for (std::size_t i = 0; i < table.Size(); ++i) {
        const TableEntry entry = table[i];
        const ShownName shown = ShowName(DecodeLinuxName(entry.linuxName));
        const std::u16string utf16 = shown.lossy ? shown.utf16 : DecodeLinuxName(entry.linuxName);
        const std::u16string upper = UpperUnits(utf16);
        if (shownBefore.insert(upper).second) {
            FUZZ_CHECK(std::string_view(entry.name) == shown.text);
            continue;
        }
        unsigned long number = 0;
        FUZZ_CHECK(HasNumberAfter(entry.name, shown.text, number) && number >= 2);
        for (unsigned long taken = 2; taken < number; ++taken) {
            const std::u16string numbered = upper + u"~" + DecodeLinuxName(std::to_string(taken));
            FUZZ_CHECK(byUpperShown.count(numbered) == 1);
        }
    }

    // Every spelling of an entry finds it: its shown name in either case,
    // its alias, its Linux name.
    for (std::size_t i = 0; i < table.Size(); ++i) {
        const TableEntry entry = table[i];
        FUZZ_CHECK(table.Find(entry.name) == i);
        FUZZ_CHECK(table.Find(UpperCaseText(entry.name)) == i);
        FUZZ_CHECK(table.Find(table.ShortName(i)) == i);
        FUZZ_CHECK(table.FindLinux(entry.linuxName) == i);
    }
}

} // namespace
} // namespace kivra::platform::posix

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kivra::platform::posix;
    CheckTable(LinuxNamesOf(kivra::fuzz::AsText(data, size)));
    return 0;
}
