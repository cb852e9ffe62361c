#include "platform/Exceptions.h"

#include "resources/Texts.h"

#include <cstdio>

namespace kivra {

namespace {

platform::Text InOutMessage(platform::DWORD code)
{
    const auto& texts = texts::Texts();
    switch (code) {
    case 2: return texts.InOutFileNotFound;
    case 3: return texts.InOutInvalidFileName;
    case 4: return texts.InOutTooManyOpenFiles;
    case 5: return texts.InOutAccessDenied;
    default: {
        // "I/O ｴﾗｰ (%d)": the format holds one %d and nothing else to fill.
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, texts.InOutOtherFormat.c_str(), static_cast<int>(code));
        return buffer;
    }
    }
}

} // namespace

EInOutError::EInOutError(platform::DWORD errorCode) : Exception(InOutMessage(errorCode)), errorCode_(errorCode) {}

} // namespace kivra
