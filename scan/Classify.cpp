#include "scan/Classify.h"

#include "platform/CodePage.h"
#include "platform/WinApi.h"
#include "resources/Texts.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace kivra::scan {

namespace {

using platform::DWORD;
using platform::Text;

// The capacity offered first: a 256-byte buffer of which the call is told
// 255 bytes.
constexpr DWORD FirstCapacity = 255;

void AddGroup(TStringList& to, const Line& longPath, const Line& shortPath)
{
    to.Add(longPath);
    to.Add(shortPath);
    to.Add(Line());
}

void FinishResultList(TStringList& list, const Text& header)
{
    if (list.Count() > 0) {
        list.Insert(0, Line());
        list.Insert(0, header);
    } else {
        list.Add(texts::Texts().NormalLine);
        list.Add(Line());
    }
}

} // namespace

Line ShortPathOf(const Line& LongPath)
{
    char first[FirstCapacity + 1];
    DWORD length = platform::GetShortPathNameA(LongPath.c_str(), first, FirstCapacity);
    if (length == 0) return LongPath;
    // The same text shares the long path's bytes.
    if (length < FirstCapacity)
        return LongPath == std::string_view(first, length) ? LongPath : Line(std::string_view(first, length));

    // Too small: the call told the size it needs, zero included. The path
    // may change between the calls, so ask until the answer fits.
    std::string buffer(FirstCapacity, '\0');
    while (length >= buffer.size()) {
        // Grows on every round, whatever size the call names.
        buffer.assign(std::max<std::size_t>(length, buffer.size() + 1), '\0');
        length = platform::GetShortPathNameA(LongPath.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return LongPath;
    }
    buffer.resize(length);
    return LongPath == buffer ? LongPath : Line(buffer);
}

void ClassifyPaths(const ResultLists& lists, ClassifyProgress* progress)
{
    const auto& texts = texts::Texts();
    // Room for every short form and for both headers up front, so that the
    // inserts at the end do not have to grow the lists' storage.
    const std::size_t count = lists.LongNameList.Count();
    lists.LongNameList.Reserve(count + 1);
    const std::size_t firstShort = lists.ShortNameList.Count();
    lists.ShortNameList.Reserve(firstShort + count + 1);
    // The kinds of every path first, so that each group list is given its
    // exact room once: growing lists of a million lines step by step would
    // move every line several times and keep twice the room while it moves.
    constexpr unsigned char LongName = 1;
    constexpr unsigned char LowerCase = 2;
    std::vector<unsigned char> kinds(count);
    std::size_t longNames = 0;
    std::size_t lowerCases = 0;
    // The upper-case form of each path goes to one buffer, used again for
    // every path (the same as UpperCaseText without a text per path).
    Text upper;
    // The loops do not change LongNameList, so its lines stay where they are.
    for (std::size_t i = 0; i < count; ++i) {
        const Line& longPath = lists.LongNameList[i];
        Line shortPath = ShortPathOf(longPath);
        upper.assign(longPath.View());
        platform::CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
        if (longPath != shortPath) {
            kinds[i] |= LongName;
            ++longNames;
        }
        if (longPath != std::string_view(upper)) {
            kinds[i] |= LowerCase;
            ++lowerCases;
        }
        lists.ShortNameList.Add(std::move(shortPath));
        if (progress && (i + 1) % ClassifyProgress::ClassifiedEvery == 0) progress->Classified(i + 1);
    }
    // Three lines a group, and the header and its empty line.
    lists.DifferentList.Reserve(lists.DifferentList.Count() + 3 * (longNames + lowerCases) + 2);
    lists.LongFileList.Reserve(lists.LongFileList.Count() + 3 * longNames + 2);
    lists.KomojiFileList.Reserve(lists.KomojiFileList.Count() + 3 * lowerCases + 2);
    for (std::size_t i = 0; i < count; ++i) {
        if (kinds[i] == 0) continue;
        const Line& longPath = lists.LongNameList[i];
        const Line& shortPath = lists.ShortNameList[firstShort + i];
        if (kinds[i] & LongName) {
            AddGroup(lists.DifferentList, longPath, shortPath);
            AddGroup(lists.LongFileList, longPath, shortPath);
        }
        if (kinds[i] & LowerCase) {
            AddGroup(lists.DifferentList, longPath, shortPath);
            AddGroup(lists.KomojiFileList, longPath, shortPath);
        }
    }
    lists.LongNameList.Insert(0, texts.LongNameHeader);
    lists.ShortNameList.Insert(0, texts.ShortNameHeader);
    FinishResultList(lists.DifferentList, texts.DifferentHeader);
    FinishResultList(lists.LongFileList, texts.LongFileHeader);
    FinishResultList(lists.KomojiFileList, texts.KomojiFileHeader);
}

int PathCount(const TStringList& list) { return static_cast<int>(list.Count()) - 1; }

int GroupCount(const TStringList& list) { return (static_cast<int>(list.Count()) - 2) / 3; }

} // namespace kivra::scan
