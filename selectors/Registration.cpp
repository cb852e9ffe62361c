#include "selectors/Registration.h"

#include "app/Form.h"
#include "selectors/DirectoryListBox.h"
#include "selectors/DriveComboBox.h"

namespace kivra::selectors {

void RegisterSelectorWidgets()
{
    app::RegisterFormWidget("TDriveComboBox", [](QWidget* parent) { return new TDriveComboBox(parent); });
    app::RegisterFormWidget("TDirectoryListBox", [](QWidget* parent) { return new TDirectoryListBox(parent); });
    app::RegisterFormWidget("TFileListBox", [](QWidget* parent) { return new TFileListBox(parent); });
    app::RegisterFormWidget("TLabel", [](QWidget* parent) { return new TLabel(parent); });
}

} // namespace kivra::selectors
