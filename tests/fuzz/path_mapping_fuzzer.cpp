// Linux paths and Windows paths over a memory file system: every entry's
// Windows path, in any spelling (upper case, alias), leads to its Linux path
// and back; any other path maps consistently with what the look-ups find.
//
// Input: records, one a line, each a command letter and its operands:
//   d P NAME, f P NAME   a directory / file NAME in directory number P
//                        (one byte, counted modulo the directories so far;
//                        0 is the root of C:)
//   D P NAME, F P NAME   the same with a short alias
//   c P                  directory number P becomes the current directory
//   x                    the working directory is deleted
//   l PATH, w PATH       a Linux / Windows path to map

#include "platform/CodePage.h"
#include "platform/WindowsPath.h"
#include "platform/memory/MemoryPlatform.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kivra::platform {
namespace {

using fuzz::Characters;

struct Item {
    Text windowsPath;      // as added: "C:\dir\name"
    std::string linuxPath; // the Linux names, the UTF-8 of the names as added
    Text alias;            // empty when none
    bool directory = true;
    bool convertsBack = true; // every name comes back from its UTF-8 unchanged
    std::vector<Text> upperNames;
};

// A name a Windows directory can hold, made of whole characters, that the
// calls taking a C string can pass (no zero byte, not even as a second byte).
bool IsGoodName(std::string_view name)
{
    if (name.empty() || name.size() > 64 || name == "." || name == ".." || name.find('\0') != std::string_view::npos)
        return false;
    for (const std::string_view c : Characters(name)) {
        if (c.size() == 2) continue;
        const auto byte = static_cast<unsigned char>(c[0]);
        if (byte < 0x20 || Text("\\/:*?\"<>|").find(c[0]) != Text::npos || IsDBCSLeadByte(byte)) return false;
    }
    return true;
}

class World {
public:
    World()
    {
        fs_.AddDrive('C', DRIVE_FIXED);
        fs_.AddDrive('D', DRIVE_FIXED);
        items_.push_back(Item{"C:", "", {}, true, true, {}});
        directories_.push_back(0);
    }

    void Run(std::string_view record)
    {
        if (record.empty()) return;
        const char command = record[0];
        const std::string_view operand = record.substr(1);
        switch (command) {
        case 'd':
        case 'f':
        case 'D':
        case 'F':
            if (operand.size() >= 2)
                Add(Directory(operand[0]), operand.substr(1), command == 'd' || command == 'D',
                    command == 'D' || command == 'F');
            break;
        case 'c':
            if (!operand.empty()) EnterDirectory(Directory(operand[0]));
            break;
        case 'x':
            fs_.DeleteWorkingDirectory();
            current_.reset();
            break;
        case 'l': MapLinuxPath(operand); break;
        case 'w': MapWindowsPath(operand); break;
        default: break;
        }
    }

    void CheckEveryEntry()
    {
        for (const Item& item : items_) {
            const Text windows = WindowsPathOf(item);
            const std::string linux = LinuxPathOf(item);
            FUZZ_CHECK(LinuxPathFromWindows(windows) == linux);
            FUZZ_CHECK(LinuxPathFromWindows(UpperCaseText(windows)) == linux);
            if (!item.alias.empty()) {
                const std::size_t last = LastSeparator(windows);
                FUZZ_CHECK(LinuxPathFromWindows(windows.substr(0, last + 1) + item.alias) == linux);
            }
            std::string back;
            FUZZ_CHECK(fs_.WindowsPathFromSystemPath(linux, back));
            if (item.convertsBack) FUZZ_CHECK(back == windows);
        }
    }

private:
    std::size_t Directory(char operand) const
    {
        return directories_[static_cast<unsigned char>(operand) % directories_.size()];
    }

    static Text WindowsPathOf(const Item& item) { return item.windowsPath + (item.windowsPath == "C:" ? "\\" : ""); }
    static std::string LinuxPathOf(const Item& item) { return item.linuxPath.empty() ? "/" : item.linuxPath; }

    // The Linux path of a Windows path, or "(fails)".
    std::string LinuxPathFromWindows(std::string_view windows)
    {
        std::string linux;
        return fs_.SystemPathFromWindowsPath(windows, linux) ? linux : "(fails)";
    }

    FileIdentity IdentityOf(const Text& windows)
    {
        FileIdentity identity;
        FUZZ_CHECK(fs_.GetFileIdentity(windows.c_str(), &identity));
        return identity;
    }

    void Add(std::size_t parent, std::string_view name, bool directory, bool withAlias)
    {
        if (!IsGoodName(name)) return;
        const Text upper = UpperCaseText(name);
        const Text alias = withAlias ? "AL~" + std::to_string(++aliases_) : Text();
        // Names and aliases of a directory are unique without regard to case.
        for (const Item& sibling : items_) {
            if (&sibling == &items_[parent] || sibling.upperNames.size() != items_[parent].upperNames.size() + 1 ||
                !std::equal(items_[parent].upperNames.begin(), items_[parent].upperNames.end(),
                            sibling.upperNames.begin()))
                continue;
            const Text siblingAlias = UpperCaseText(sibling.alias);
            if (sibling.upperNames.back() == upper || siblingAlias == upper ||
                (!alias.empty() && (sibling.upperNames.back() == alias || siblingAlias == alias)))
                return;
        }
        if (!alias.empty() && upper == alias) return;
        Item item = items_[parent];
        item.windowsPath += "\\" + Text(name);
        item.linuxPath += "/" + Utf8FromCp932(name);
        item.alias = alias;
        item.directory = directory;
        item.convertsBack = item.convertsBack && Cp932FromUtf8(Utf8FromCp932(name)) == name;
        item.upperNames.push_back(upper);
        if (directory)
            fs_.AddDirectory(item.windowsPath, FILE_ATTRIBUTE_DIRECTORY, alias);
        else
            fs_.AddFile(item.windowsPath, FILE_ATTRIBUTE_ARCHIVE, alias);
        if (directory) directories_.push_back(items_.size());
        items_.push_back(std::move(item));
    }

    void EnterDirectory(std::size_t directory)
    {
        const Text path = WindowsPathOf(items_[directory]);
        FUZZ_CHECK(fs_.SetCurrentDirectoryA(path.c_str()));
        current_ = directory;
    }

    // Where a Linux path leads: the names of the current directory (for a
    // relative path) and its own, "." and ".." applied, each converted.
    std::vector<Text> ExpectedNames(std::string_view linux) const
    {
        std::vector<Text> names;
        if (linux.empty() || linux[0] != '/') {
            WindowsPath current;
            const CurrentDirectories root('C');
            FUZZ_CHECK(ParseWindowsPath(WindowsPathOf(items_[*current_]), root, current) == ERROR_SUCCESS);
            names = current.names;
        }
        for (const std::string_view name : fuzz::Fields(linux, '/', linux.size() + 1)) {
            if (name.empty() || name == ".") continue;
            if (name == "..") {
                if (!names.empty()) names.pop_back();
                continue;
            }
            names.push_back(Cp932FromUtf8(name));
        }
        return names;
    }

    // The item a Linux path that a mapping gave stands for.
    const Item* ItemOfLinuxPath(std::string_view linux) const
    {
        for (const Item& item : items_)
            if (LinuxPathOf(item) == linux) return &item;
        return nullptr;
    }

    void MapLinuxPath(std::string_view linux)
    {
        if (linux.find('\0') != std::string_view::npos) return; // no Linux path holds one
        std::string windows;
        const bool absolute = !linux.empty() && linux[0] == '/';
        const bool mapped = fs_.WindowsPathFromSystemPath(linux, windows);
        FUZZ_CHECK(mapped == (absolute || current_.has_value()));
        if (!mapped) {
            FUZZ_CHECK(GetLastError() == ERROR_PATH_NOT_FOUND);
            return;
        }
        WindowsPath parsed;
        const CurrentDirectories elsewhere('Q');
        FUZZ_CHECK(ParseWindowsPath(windows, elsewhere, parsed) == ERROR_SUCCESS);
        FUZZ_CHECK(parsed.letter == 'C');
        // A Linux name may hold a backslash, which no Windows name can: converted as
        // text, it separates.
        if (linux.find('\\') == std::string_view::npos) FUZZ_CHECK(parsed.names == ExpectedNames(linux));
        // Where the Windows path leads, its Linux path leads too.
        std::string linuxAgain;
        if (fs_.SystemPathFromWindowsPath(windows, linuxAgain)) {
            const Item* item = ItemOfLinuxPath(linuxAgain);
            FUZZ_CHECK(item != nullptr);
            FUZZ_CHECK(IdentityOf(WindowsPathOf(*item)) == IdentityOf(windows));
        }
    }

    void MapWindowsPath(std::string_view windows)
    {
        std::string linux;
        const bool mapped = fs_.SystemPathFromWindowsPath(windows, linux);
        const DWORD error = GetLastError();
        WindowsPath parsed;
        const bool onDriveD = ParseWindowsPath(windows, CurrentDirectories('C'), parsed) == ERROR_SUCCESS &&
                              parsed.letter == 'D' && windows.find('\0') == std::string_view::npos;
        if (windows.find('\0') == std::string_view::npos) {
            // It maps exactly when a look-up finds it, and fails as that does;
            // drive D: has no Linux paths.
            const Text text(windows);
            const bool exists = fs_.GetFileAttributesA(text.c_str()) != INVALID_FILE_ATTRIBUTES;
            if (!onDriveD || !exists) {
                FUZZ_CHECK(mapped == exists);
                if (!mapped) FUZZ_CHECK(error == GetLastError());
            } else {
                FUZZ_CHECK(!mapped && error == ERROR_PATH_NOT_FOUND);
            }
        }
        if (!mapped) return;
        const Item* item = ItemOfLinuxPath(linux);
        FUZZ_CHECK(item != nullptr);
        if (windows.find('\0') == std::string_view::npos)
            FUZZ_CHECK(IdentityOf(WindowsPathOf(*item)) == IdentityOf(Text(windows)));
    }

    MemoryPlatform fs_;
    std::vector<Item> items_;
    std::vector<std::size_t> directories_;
    std::optional<std::size_t> current_ = 0;
    unsigned aliases_ = 0;
};

} // namespace
} // namespace kivra::platform

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input = kivra::fuzz::AsText(data, size);
    kivra::platform::World world;
    for (const std::string_view record : kivra::fuzz::Fields(input, '\n', input.size() + 1)) world.Run(record);
    world.CheckEveryEntry();
    return 0;
}
