#include "platform/win32/Win32Names.h"

#include "platform/win32/Utf8.h"
#include "platform/win32/Windows.h"

#include <unordered_set>

namespace kivra::platform::win32 {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Where the names of a full or relative path begin: after "X:", "X:\",
// "\\server\share\" or "\\?\X:\".
std::size_t NamesStart(std::wstring_view path)
{
    if (path.size() >= 4 && path.substr(0, 4) == L"\\\\?\\") {
        const std::size_t at = path.size() >= 8 && path.substr(4, 4) == L"UNC\\" ? 8 : 4;
        return at + NamesStart(path.substr(at));
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // \\server\share\ : the server and the share are no names of a directory.
        std::size_t at = 2;
        for (int part = 0; part < 2 && at < path.size(); ++part) {
            while (at < path.size() && !IsSeparator(path[at])) ++at;
            if (at < path.size()) ++at;
        }
        return at;
    }
    std::size_t at = path.size() >= 2 && path[1] == L':' ? 2 : 0;
    while (at < path.size() && IsSeparator(path[at])) ++at;
    return at;
}

// The names of `path` from `from` on, each with where it begins.
struct Name {
    std::size_t at;
    std::wstring_view text;
};

std::vector<Name> NamesOf(std::wstring_view path, std::size_t from)
{
    std::vector<Name> names;
    std::size_t at = from;
    while (at < path.size()) {
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (end > at) names.push_back({at, path.substr(at, end - at)});
        at = end + 1;
    }
    return names;
}

Text UpperShown(const Text& shown) { return UpperCaseText(shown); }

// True for "name~2" and the like.
bool EndsWithNumber(std::wstring_view name)
{
    std::size_t at = name.size();
    while (at > 0 && name[at - 1] >= L'0' && name[at - 1] <= L'9') --at;
    return at < name.size() && at > 1 && name[at - 1] == L'~';
}

std::wstring Directory(std::wstring_view path, std::size_t nameAt)
{
    std::wstring directory(path.substr(0, nameAt));
    while (directory.size() > 1 && IsSeparator(directory.back()) && directory[directory.size() - 2] != L':')
        directory.pop_back();
    return directory;
}

// The "\\?\" form of a full path, which Windows takes beyond MAX_PATH.
std::wstring LongForm(const std::wstring& path)
{
    const std::wstring full = FullPath(path);
    if (full.starts_with(L"\\\\?\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

} // namespace

std::wstring FullPath(const std::wstring& path)
{
    const ::DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const ::DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return full;
}

std::wstring WithoutLongPrefix(const std::wstring& path)
{
    if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
    if (path.starts_with(L"\\\\?\\")) return path.substr(4);
    return path;
}

bool SameName(std::wstring_view a, std::wstring_view b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring WideFromText(std::string_view text)
{
    const std::u16string units = Utf16FromCp932(text);
    return std::wstring(units.begin(), units.end());
}

Text TextFromWide(std::wstring_view wide)
{
    return Cp932FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

bool HoldableIn932(std::wstring_view wide)
{
    for (const wchar_t c : wide)
        if (c == L'?') return false;
    return TextFromWide(wide).find('?') == Text::npos;
}

std::vector<Text> ShownNames(const std::vector<FoundEntry>& entries)
{
    // Every directory a walk searches goes through here: each name is
    // converted and upper-cased once, and looked up in hashed sets.
    std::vector<Text> shown;
    std::vector<Text> upper;
    shown.reserve(entries.size());
    upper.reserve(entries.size());
    for (const FoundEntry& entry : entries) {
        shown.push_back(TextFromWide(entry.name));
        upper.push_back(UpperShown(shown.back()));
    }
    const std::unordered_set<Text> taken(upper.begin(), upper.end());
    if (taken.size() == entries.size()) return shown; // no two alike: the common case
    std::unordered_set<Text> claimed;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (claimed.insert(upper[i]).second) continue;
        for (unsigned number = 2;; ++number) {
            const Text candidate = shown[i] + "~" + std::to_string(number);
            const Text upperCandidate = UpperShown(candidate);
            if (taken.count(upperCandidate) == 0 && claimed.insert(upperCandidate).second) {
                shown[i] = candidate;
                break;
            }
        }
    }
    return shown;
}

bool ReadDirectory(const std::wstring& directory, std::wstring_view pattern, std::vector<FoundEntry>& entries,
                   DWORD* error)
{
    std::wstring search = directory;
    if (!search.empty() && !IsSeparator(search.back()) && search.back() != L':') search += L'\\';
    search += pattern;
    WIN32_FIND_DATAW data;
    const ::HANDLE found = FindFirstFileExW(search.c_str(), FindExInfoStandard, &data, FindExSearchNameMatch, nullptr,
                                            FIND_FIRST_EX_LARGE_FETCH);
    if (found == NoSystemHandle) {
        *error = static_cast<DWORD>(::GetLastError());
        return false;
    }
    entries.clear();
    do {
        entries.push_back({data.cFileName, data.cAlternateFileName, static_cast<DWORD>(data.dwFileAttributes)});
    } while (FindNextFileW(found, &data));
    const ::DWORD ended = ::GetLastError();
    FindClose(found);
    if (ended != ERROR_NO_MORE_FILES) {
        *error = static_cast<DWORD>(ended);
        return false;
    }
    return true;
}

bool WindowsPathOf(std::string_view path, std::wstring& wide, DWORD* error, bool lastIsPattern)
{
    wide = WideFromText(path);
    const std::vector<Name> names = NamesOf(wide, NamesStart(wide));
    // Names shown with "?" are replaced from the last to the first, so that
    // the positions of those before stay as they are.
    std::vector<std::pair<Name, std::wstring>> replacements;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Name& name = names[i];
        const bool last = i + 1 == names.size();
        if (lastIsPattern && last && name.text.find_first_of(L"*?") != std::wstring_view::npos) continue;
        const bool lossy = name.text.find(L'?') != std::wstring_view::npos;
        // A name its directory numbered (one of several that would show
        // alike) ends in "~" and digits; so does many an alias, which
        // Windows reaches by itself.
        const bool numbered = !lossy && EndsWithNumber(name.text);
        if (!lossy && !numbered) continue;
        // The directory is read with the names before already replaced.
        std::wstring directory = Directory(wide, name.at);
        for (auto it = replacements.rbegin(); it != replacements.rend(); ++it) {
            if (it->first.at >= directory.size()) continue;
            directory.replace(it->first.at, it->first.text.size(), it->second);
        }
        std::vector<FoundEntry> entries;
        DWORD ignored = 0;
        const Text wanted = UpperShown(TextFromWide(name.text));
        bool found = false;
        if (ReadDirectory(directory, L"*", entries, &ignored)) {
            const std::vector<Text> shown = ShownNames(entries);
            for (std::size_t e = 0; e < entries.size() && !found; ++e) {
                if (UpperShown(shown[e]) != wanted) continue;
                if (numbered && shown[e] == TextFromWide(entries[e].name)) continue;
                replacements.push_back({name, entries[e].name});
                found = true;
            }
        }
        if (!found && numbered) continue;
        if (!found) {
            *error = last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
            return false;
        }
    }
    for (auto it = replacements.rbegin(); it != replacements.rend(); ++it)
        wide.replace(it->first.at, it->first.text.size(), it->second);
    // Windows' plain form ends at MAX_PATH less the zero; a directory to be
    // searched needs room for "\*" besides.
    if (wide.size() >= 248 && !wide.starts_with(L"\\\\?\\")) wide = LongForm(wide);
    return true;
}

std::wstring WithGivenSpelling(const std::wstring& given, const std::wstring& found)
{
    const std::size_t givenStart = NamesStart(given);
    const std::size_t foundStart = NamesStart(found);
    const std::vector<Name> givenNames = NamesOf(given, givenStart);
    const std::vector<Name> foundNames = NamesOf(found, foundStart);
    if (givenNames.size() != foundNames.size()) return found;
    std::wstring spelled = found;
    for (std::size_t i = foundNames.size(); i-- > 0;)
        if (SameName(givenNames[i].text, foundNames[i].text))
            spelled.replace(foundNames[i].at, foundNames[i].text.size(), givenNames[i].text);
    const std::wstring_view givenRoot = std::wstring_view(given).substr(0, givenStart);
    if (SameName(givenRoot, std::wstring_view(found).substr(0, foundStart))) spelled.replace(0, foundStart, givenRoot);
    return spelled;
}

std::wstring StoredPath(const std::wstring& path)
{
    std::wstring stored = path;
    const std::vector<Name> names = NamesOf(path, NamesStart(path));
    // From the last name to the first, so that the positions before stay.
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (name->text == L"." || name->text == L"..") continue;
        const std::wstring upTo = path.substr(0, name->at + name->text.size());
        WIN32_FIND_DATAW data;
        const ::HANDLE found =
            FindFirstFileExW(upTo.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
        if (found == NoSystemHandle) continue;
        FindClose(found);
        stored.replace(name->at, name->text.size(), data.cFileName);
    }
    return stored;
}

Text ProgramPathOf(const std::wstring& given)
{
    const std::wstring wide = WithoutLongPrefix(given);
    const std::vector<Name> names = NamesOf(wide, NamesStart(wide));
    Text program = TextFromWide(std::wstring_view(wide).substr(0, names.empty() ? wide.size() : names[0].at));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Name& name = names[i];
        if (i > 0) program += '\\';
        Text shown = TextFromWide(name.text);
        if (!HoldableIn932(name.text)) {
            std::vector<FoundEntry> entries;
            DWORD ignored = 0;
            if (ReadDirectory(Directory(wide, name.at), L"*", entries, &ignored)) {
                const std::vector<Text> all = ShownNames(entries);
                for (std::size_t e = 0; e < entries.size(); ++e)
                    if (SameName(entries[e].name, name.text)) {
                        shown = all[e];
                        break;
                    }
            }
        }
        program += shown;
    }
    if (!names.empty() && IsSeparator(wide.back())) program += '\\';
    return program;
}

} // namespace kivra::platform::win32
