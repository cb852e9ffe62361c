#include "platform/Console.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kivra::platform {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool WriteToStandardStream(std::FILE* stream, std::string_view text)
{
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

struct InterruptionsHeld::Mask {
    sigset_t signals;
};

InterruptionsHeld::InterruptionsHeld() : previous_(std::make_unique<Mask>())
{
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &previous_->signals);
}

InterruptionsHeld::~InterruptionsHeld() { pthread_sigmask(SIG_SETMASK, &previous_->signals, nullptr); }

namespace {

// One iconv conversion; a character the target cannot hold, or input that
// is no character, becomes "?" and the conversion goes on after it.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // False when some input had to become "?".
    bool Convert(std::string_view input, std::string& output) const
    {
        output.clear();
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            // No converter between the two: only ASCII passes.
            bool whole = true;
            for (const char c : input) {
                const bool ascii = static_cast<unsigned char>(c) < 0x80;
                output.push_back(ascii ? c : '?');
                whole = whole && ascii;
            }
            return whole;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        bool whole = true;
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char buffer[256];
        while (inLeft > 0) {
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = iconv(cd_, &in, &inLeft, &out, &outLeft);
            const int error = errno;
            output.append(buffer, static_cast<std::size_t>(out - buffer));
            if (result != static_cast<std::size_t>(-1)) continue;
            if (error == E2BIG) continue;
            // EILSEQ or EINVAL: one byte stands for the character that has
            // no code (a two-byte character's second byte may begin the next).
            whole = false;
            output.push_back('?');
            ++in;
            --inLeft;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        // The shift back to the initial state, for stateful character sets.
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &out, &outLeft);
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        return whole;
    }

private:
    iconv_t cd_;
};

// The language of LC_MESSAGES, as the locale of that name gives its ISO 639
// code: "ja" for every Japanese locale, whatever its territory or character
// set.
bool LanguageOfMessagesIsJapanese()
{
    const char* messages = setlocale(LC_MESSAGES, nullptr);
    if (messages == nullptr) return false;
    const locale_t locale = newlocale(LC_ADDRESS_MASK, messages, static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return false;
    const char* language = nl_langinfo_l(_NL_ADDRESS_LANG_AB, locale);
    const bool japanese = language != nullptr && std::strcmp(language, "ja") == 0;
    freelocale(locale);
    return japanese;
}

} // namespace

struct UserLocale::Converters {
    Converters(const char* codeset) : fromProgram(codeset, "CP932"), toProgram("CP932", codeset) {}
    Converter fromProgram;
    Converter toProgram;
};

UserLocale::UserLocale()
{
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || *codeset == '\0') codeset = "ANSI_X3.4-1968";
    utf8_ = std::strcmp(codeset, "UTF-8") == 0;
    if (!utf8_) converters_ = std::make_unique<Converters>(codeset);
    japanese_ = LanguageOfMessagesIsJapanese();
}

UserLocale::~UserLocale() = default;

bool UserLocale::MessagesInJapanese() const { return japanese_; }

bool UserLocale::FromProgramText(std::string_view text, std::string& local) const
{
    if (utf8_) {
        // The program's own mapping; its texts hold no byte that is no
        // character.
        local = Utf8FromCp932(text);
        return true;
    }
    return converters_->fromProgram.Convert(text, local);
}

Text UserLocale::ToProgramText(std::string_view local) const
{
    if (utf8_) return Cp932FromUtf8(local);
    Text text;
    converters_->toProgram.Convert(local, text);
    return text;
}

} // namespace kivra::platform
