#include "cli/CommandTexts.h"

#include "resources/Texts.h"

#include <string>

namespace kivra::scan {

namespace {

using platform::DWORD;
using platform::Text;

using texts::ProgramTexts;

// The texts of kivra-scan's own, in Japanese and in English.
struct TextPair {
    Text CommandTexts::*text;
    const Text ProgramTexts::*japanese;
    const Text ProgramTexts::*english;
};

constexpr TextPair Pairs[] = {
    {&CommandTexts::help, &ProgramTexts::ScanHelp, &ProgramTexts::ScanHelpEnglish},
    {&CommandTexts::tryHelp, &ProgramTexts::ScanTryHelp, &ProgramTexts::ScanTryHelpEnglish},
    {&CommandTexts::unknownOption, &ProgramTexts::ScanUnknownOption, &ProgramTexts::ScanUnknownOptionEnglish},
    {&CommandTexts::missingArgument, &ProgramTexts::ScanMissingArgument, &ProgramTexts::ScanMissingArgumentEnglish},
    {&CommandTexts::badListKind, &ProgramTexts::ScanBadListKind, &ProgramTexts::ScanBadListKindEnglish},
    {&CommandTexts::nullWithoutList, &ProgramTexts::ScanNullWithoutList, &ProgramTexts::ScanNullWithoutListEnglish},
    {&CommandTexts::extraOperand, &ProgramTexts::ScanExtraOperand, &ProgramTexts::ScanExtraOperandEnglish},
    {&CommandTexts::missingRoot, &ProgramTexts::ScanMissingRoot, &ProgramTexts::ScanMissingRootEnglish},
    {&CommandTexts::rootMissing, &ProgramTexts::ScanRootMissing, &ProgramTexts::ScanRootMissingEnglish},
    {&CommandTexts::outputUnusable, &ProgramTexts::ScanOutputUnusable, &ProgramTexts::ScanOutputUnusableEnglish},
    {&CommandTexts::workingDirectory, &ProgramTexts::ScanWorkingDirectory, &ProgramTexts::ScanWorkingDirectoryEnglish},
    {&CommandTexts::workingDirectoryGone, &ProgramTexts::ScanWorkingDirectoryGone,
     &ProgramTexts::ScanWorkingDirectoryGoneEnglish},
    {&CommandTexts::saveFailed, &ProgramTexts::ScanSaveFailed, &ProgramTexts::ScanSaveFailedEnglish},
    {&CommandTexts::cannotSearch, &ProgramTexts::ScanCannotSearch, &ProgramTexts::ScanCannotSearchEnglish},
    {&CommandTexts::cannotShortForm, &ProgramTexts::ScanCannotShortForm, &ProgramTexts::ScanCannotShortFormEnglish},
    {&CommandTexts::threadFailed, &ProgramTexts::ScanThreadFailed, &ProgramTexts::ScanThreadFailedEnglish},
    {&CommandTexts::writeError, &ProgramTexts::ScanWriteError, &ProgramTexts::ScanWriteErrorEnglish},
};

// The window's "%d ... %s" message as a pattern of "%1 ... %2".
Text Numbered(Text pattern)
{
    const std::size_t count = pattern.find("%d");
    if (count != Text::npos) pattern.replace(count, 2, "%1");
    const std::size_t path = pattern.find("%s");
    if (path != Text::npos) pattern.replace(path, 2, "%2");
    return pattern;
}

CommandTexts TextsIn(Language language)
{
    const ProgramTexts& t = texts::Texts();
    CommandTexts c;
    c.language = language;
    const bool japanese = language == Language::Japanese;
    for (const TextPair& pair : Pairs) c.*pair.text = t.*(japanese ? pair.japanese : pair.english);
    if (japanese) {
        // The counts, the verdicts and the progress as the window words them.
        c.countLongNames = t.CountLongNames + "%1" + t.CountSuffix;
        c.countShortNames = t.CountShortNames + "%1" + t.CountSuffix;
        c.countDifferent = t.CountDifferent + "%1" + t.CountSuffix;
        c.countLongFiles = t.CountLongFiles + "%1" + t.CountSuffix;
        c.countKomojiFiles = t.CountKomojiFiles + "%1" + t.CountSuffix;
        c.verdictFound = Trimmed(t.VerdictFound);
        c.verdictNormal = Trimmed(t.VerdictNormal);
        c.verdictNotReadWhole = Numbered(Trimmed(t.NotSearchedFormat));
        c.verdictNoShortForm = Numbered(Trimmed(t.NoShortFormFormat));
        c.progress = t.ProgressLongNames;
    } else {
        c.countLongNames = t.ScanCountLongNamesEnglish;
        c.countShortNames = t.ScanCountShortNamesEnglish;
        c.countDifferent = t.ScanCountDifferentEnglish;
        c.countLongFiles = t.ScanCountLongFilesEnglish;
        c.countKomojiFiles = t.ScanCountKomojiFilesEnglish;
        c.verdictFound = t.ScanVerdictFoundEnglish;
        c.verdictNormal = t.ScanVerdictNormalEnglish;
        c.verdictNotReadWhole = t.ScanNotReadWholeEnglish;
        c.verdictNoShortForm = t.ScanNoShortFormWholeEnglish;
        c.progress = t.ScanProgressEnglish;
    }
    return c;
}

} // namespace

Text CommandTexts::Reason(DWORD error) const
{
    const auto& t = texts::Texts();
    const bool ja = language == Language::Japanese;
    switch (error) {
    case platform::ERROR_FILE_NOT_FOUND: return ja ? t.InOutFileNotFound : t.ScanReasonFileNotFoundEnglish;
    case platform::ERROR_PATH_NOT_FOUND: return ja ? t.ScanReasonPathNotFound : t.ScanReasonPathNotFoundEnglish;
    case platform::ERROR_TOO_MANY_OPEN_FILES: return ja ? t.InOutTooManyOpenFiles : t.ScanReasonTooManyOpenFilesEnglish;
    case platform::ERROR_ACCESS_DENIED: return ja ? t.InOutAccessDenied : t.ScanReasonAccessDeniedEnglish;
    case platform::ERROR_NOT_ENOUGH_MEMORY: return ja ? t.ScanReasonNoMemory : t.ScanReasonNoMemoryEnglish;
    case platform::ERROR_NOT_READY: return ja ? t.ScanReasonNotReady : t.ScanReasonNotReadyEnglish;
    case platform::ERROR_WRITE_FAULT: return ja ? t.ScanReasonInputOutput : t.ScanReasonInputOutputEnglish;
    case platform::ERROR_SHARING_VIOLATION: return ja ? t.ScanReasonInUse : t.ScanReasonInUseEnglish;
    case platform::ERROR_FILE_EXISTS:
    case platform::ERROR_ALREADY_EXISTS: return ja ? t.ScanReasonExists : t.ScanReasonExistsEnglish;
    case platform::ERROR_DISK_FULL: return ja ? t.ScanReasonDiskFull : t.ScanReasonDiskFullEnglish;
    case platform::ERROR_INVALID_NAME: return ja ? t.InOutInvalidFileName : t.ScanReasonInvalidNameEnglish;
    case platform::ERROR_FILENAME_EXCED_RANGE: return ja ? t.ScanReasonNameTooLong : t.ScanReasonNameTooLongEnglish;
    case platform::ERROR_DIRECTORY: return ja ? t.ScanReasonNotDirectory : t.ScanReasonNotDirectoryEnglish;
    case platform::ERROR_WRITE_PROTECT: return ja ? t.ScanReasonWriteProtect : t.ScanReasonWriteProtectEnglish;
    case platform::ERROR_FILE_TOO_LARGE: return ja ? t.ScanReasonTooLarge : t.ScanReasonTooLargeEnglish;
    case platform::ERROR_FILE_INVALID: return ja ? t.ScanReasonReplaced : t.ScanReasonReplacedEnglish;
    case platform::ERROR_CANT_RESOLVE_FILENAME: return ja ? t.ScanReasonLinkLoop : t.ScanReasonLinkLoopEnglish;
    case platform::ERROR_BAD_NETPATH: return ja ? t.ScanReasonBadNetPath : t.ScanReasonBadNetPathEnglish;
    default: break;
    }
    Text pattern = ja ? t.InOutOtherFormat : t.ScanReasonOtherEnglish;
    const std::size_t at = pattern.find("%d");
    if (at != Text::npos) pattern.replace(at, 2, std::to_string(error));
    return pattern;
}

const CommandTexts& CommandTextsIn(Language language)
{
    static const CommandTexts japanese = TextsIn(Language::Japanese);
    static const CommandTexts english = TextsIn(Language::English);
    return language == Language::Japanese ? japanese : english;
}

Text Trimmed(const Text& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == Text::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace kivra::scan
