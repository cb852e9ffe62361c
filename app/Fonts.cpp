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

int StandInPixelSize(const QString& face, int characterHeight)
{
    if (face == ToQString(texts::Texts().FormFontName)) return (characterHeight * 16 + 9) / 19;
    return characterHeight;
}

QFont DesignedFont(const QString& face, int height)
{
    QFont font(face);
    font.setPixelSize(StandInPixelSize(face, height < 0 ? -height : height));
    return font;
}

} // namespace kivra::app
