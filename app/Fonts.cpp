#include "app/Fonts.h"

#include "app/QtText.h"
#include "resources/Texts.h"

#include <QFont>

namespace kivra::app {

void InstallFontSubstitutions()
{
    const auto& texts = texts::Texts();
    QFont::insertSubstitution(ToQString(texts.FormFontName), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(ToQString(texts.DialogFontName), QStringLiteral("IPAPGothic"));
}

} // namespace kivra::app
