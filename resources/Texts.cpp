#include "resources/Texts.h"

namespace kivra::texts {

namespace {

ProgramTexts Convert()
{
    ProgramTexts texts;
#define KIVRA_TEXT(name, utf8) texts.name = platform::Cp932FromUtf8(utf8);
#include "resources/Texts.def"
#undef KIVRA_TEXT
    return texts;
}

} // namespace

const ProgramTexts& Texts()
{
    static const ProgramTexts texts = Convert();
    return texts;
}

} // namespace kivra::texts
