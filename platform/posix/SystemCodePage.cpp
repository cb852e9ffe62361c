// Code page 932 from the C library's iconv converter "CP932" (Microsoft's
// mapping), the case mapping and the collation from ICU.

#include "platform/SystemCodePage.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>

#include <iconv.h>

#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace kivra::platform::system {

namespace {

const char* NativeUtf16() { return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE"; }

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        // Without the converter every text would come out as "?": better to stop.
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv has no CP932 converter (glibc's gconv modules are missing)");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts one complete character; the output, or nothing when iconv
    // rejects it.
    std::string One(const void* in, std::size_t size)
    {
        char input[8];
        std::memcpy(input, in, size);
        char output[16];
        char* inPtr = input;
        char* outPtr = output;
        std::size_t inLeft = size;
        std::size_t outLeft = sizeof output;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        const std::size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
        if (result == static_cast<std::size_t>(-1) || inLeft != 0) return {};
        return std::string(output, outPtr);
    }

private:
    iconv_t cd_;
};

// The tables are built once, on one thread, before any other use: the
// converters are kept only for that while.
Converter& Decoder()
{
    static Converter decoder(NativeUtf16(), "CP932");
    return decoder;
}

Converter& Encoder()
{
    static Converter encoder("CP932", NativeUtf16());
    return encoder;
}

// The locale whose collation stands for the user's: ICU's default, taken
// from the environment. The C and POSIX environments give "en_US_POSIX",
// whose collation orders by code and keeps "a" and "A" apart even where case
// is to be ignored; no Windows locale behaves so, and the root collation
// (the common base of all locales) takes its place there.
icu::Locale UserLocale()
{
    const icu::Locale& locale = icu::Locale::getDefault();
    if (std::strcmp(locale.getVariant(), "POSIX") == 0) return icu::Locale::getRoot();
    return locale;
}

// The user's collator at one strength, made once and only read afterwards
// (a collator is safe to share for comparing). Kept for the whole run.
const icu::Collator* UserCollator(icu::Collator::ECollationStrength strength)
{
    struct Collators {
        std::unique_ptr<icu::Collator> secondary;
        std::unique_ptr<icu::Collator> tertiary;
    };
    static const Collators collators = [] {
        const auto make = [](icu::Collator::ECollationStrength s) {
            UErrorCode status = U_ZERO_ERROR;
            std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(UserLocale(), status));
            if (U_FAILURE(status)) return std::unique_ptr<icu::Collator>();
            collator->setStrength(s);
            return collator;
        };
        return Collators{make(icu::Collator::SECONDARY), make(icu::Collator::TERTIARY)};
    }();
    return strength == icu::Collator::SECONDARY ? collators.secondary.get() : collators.tertiary.get();
}

char16_t Mapped(UChar32 mapped, char16_t unit) { return mapped < 0x10000 ? static_cast<char16_t>(mapped) : unit; }

} // namespace

std::u16string ReadCp932(std::string_view character)
{
    const std::string utf16 = Decoder().One(character.data(), character.size());
    std::u16string units(utf16.size() / 2, u'\0');
    std::memcpy(units.data(), utf16.data(), units.size() * 2);
    return units;
}

std::string WriteCp932(char16_t unit) { return Encoder().One(&unit, sizeof unit); }

char16_t UpperUnit(char16_t unit) { return Mapped(u_toupper(unit), unit); }
char16_t LowerUnit(char16_t unit) { return Mapped(u_tolower(unit), unit); }

std::optional<int> Collate(std::u16string_view a, std::u16string_view b, bool ignoreCase)
{
    const icu::Collator* collator = UserCollator(ignoreCase ? icu::Collator::SECONDARY : icu::Collator::TERTIARY);
    if (!collator) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        collator->compare(a.data(), static_cast<int32_t>(a.size()), b.data(), static_cast<int32_t>(b.size()), status);
    if (U_FAILURE(status)) return std::nullopt;
    return result == UCOL_LESS ? -1 : result == UCOL_EQUAL ? 0 : 1;
}

} // namespace kivra::platform::system
