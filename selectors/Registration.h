#pragma once
// Makes the selectors known to the form loader by the class names a stored
// layout uses ("TDriveComboBox", "TDirectoryListBox", and "TFileListBox" and
// "TLabel", which a directory list can be linked to). Call once before the
// first form with a layout is created; calling again does no harm.

namespace kivra::selectors {

void RegisterSelectorWidgets();

} // namespace kivra::selectors
