// What one name costs in the code page layer: conversions both ways, the
// upper-case copy and the comparison, on ASCII and on Japanese names, with
// a plain iconv call over a kept descriptor as the yardstick for the
// conversion tables.
//
//   kivra-codepage-bench [--names N]

#include "platform/CodePage.h"

#include <iconv.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using kivra::platform::Text;

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Names like those of a real tree: a path prefix and a varying tail.
std::vector<std::string> Names(std::size_t count, const std::string& stem)
{
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) names.push_back("/home/user/" + stem + std::to_string(i) + ".txt");
    return names;
}

template <typename F>
void Measure(const char* what, const std::vector<std::string>& inputs, F work)
{
    std::size_t bytes = 0;
    const auto start = Clock::now();
    for (const std::string& input : inputs) bytes += work(input);
    const double seconds = Seconds(start, Clock::now());
    std::printf("  %-34s %8.1f ns/name  %7.1f MB/s\n", what, seconds * 1e9 / static_cast<double>(inputs.size()),
                static_cast<double>(bytes) / seconds / 1e6);
}

// The same conversion through iconv itself, descriptor opened once.
std::size_t IconvToCp932(iconv_t cd, const std::string& utf8)
{
    std::string out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    char* outPtr = out.data();
    std::size_t inLeft = utf8.size();
    std::size_t outLeft = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    return utf8.size();
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t count = 1'000'000;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::strcmp(argv[i], "--names") == 0) count = std::strtoul(argv[i + 1], nullptr, 10);

    const auto start = Clock::now();
    const Text first = kivra::platform::Cp932FromUtf8("表");
    std::printf("tables from iconv on first use: %.2f ms\n", Seconds(start, Clock::now()) * 1e3);

    iconv_t cd = iconv_open("CP932", "UTF-8");
    for (const auto& [label, stem] : {std::pair<const char*, std::string>{"ASCII", "Report_Final_Version_"},
                                      {"Japanese", "ファイル一覧の表示ソフト_"}}) {
        const std::vector<std::string> utf8 = Names(count, stem);
        std::vector<std::string> cp932;
        cp932.reserve(count);
        for (const std::string& name : utf8) cp932.push_back(kivra::platform::Cp932FromUtf8(name));
        std::printf("%zu %s names, %zu bytes each in UTF-8:\n", count, label, utf8.front().size());
        Measure("Cp932FromUtf8", utf8, [](const std::string& s) { return kivra::platform::Cp932FromUtf8(s).size(); });
        Measure("iconv UTF-8 -> CP932 (kept cd)", utf8, [cd](const std::string& s) { return IconvToCp932(cd, s); });
        Measure("Utf8FromCp932", cp932, [](const std::string& s) { return kivra::platform::Utf8FromCp932(s).size(); });
        Measure("UpperCaseText", cp932, [](const std::string& s) { return kivra::platform::UpperCaseText(s).size(); });
        Measure("UpperAscii", cp932, [](const std::string& s) { return kivra::platform::UpperAscii(s).size(); });
        Measure("CompareStringA NORM_IGNORECASE", cp932, [](const std::string& s) {
            const Text upper = kivra::platform::UpperAscii(s);
            return kivra::platform::CompareStringA(kivra::platform::LOCALE_USER_DEFAULT,
                                                   kivra::platform::NORM_IGNORECASE, s.data(),
                                                   static_cast<int>(s.size()), upper.data(),
                                                   static_cast<int>(upper.size())) == kivra::platform::CSTR_EQUAL
                       ? s.size()
                       : 0;
        });
    }
    iconv_close(cd);
    return first.size() == 2 ? 0 : 1;
}
