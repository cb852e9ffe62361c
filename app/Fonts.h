#pragma once
// The faces the program's windows ask for (the text table's FormFontName for
// the main window, DialogFontName for message dialogs) do not exist on Linux;
// the IPA fonts are made to the same metrics and take their place.

namespace kivra::app {

// Installs the substitutions; call once after the QApplication exists.
void InstallFontSubstitutions();

} // namespace kivra::app
