#pragma once
// The faces the program's windows ask for (the text table's FormFontName for
// the main window, DialogFontName for message dialogs) do not exist on Linux;
// the IPA fonts are made to the same metrics and take their place.

#include <QFont>
#include <QString>

namespace kivra::app {

// Installs the substitutions; call once after the QApplication exists.
void InstallFontSubstitutions();

// The pixel size that stands in for a face designed at `characterHeight`
// pixels. The Japanese "System" face (the text table's FormFontName) draws a
// half-width character 8 pixels wide at a character height of 19, in a cell
// 18 pixels high; its stand-in, whose half-width characters are half its
// size wide, is drawn at 16 pixels (cell 17), so texts take the room they
// were laid out in and rows of 18 show every descender. Other faces keep
// their height.
int StandInPixelSize(const QString& face, int characterHeight);

// The font of a stored layout: `face` at `height` (negative: a character
// height, positive: a cell height), in its stand-in's pixel size.
QFont DesignedFont(const QString& face, int height);

} // namespace kivra::app
