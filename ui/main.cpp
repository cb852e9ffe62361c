// kivra: finds the long and lower-case names in a directory tree. The
// program takes no arguments; its result files and its help file lie beside
// the executable.
#include "ui/Main.h"
#include "app/Application.h"
#include "platform/Process.h"
#include "platform/SystemPlatform.h"

int main(int argc, char** argv)
{
    kivra::platform::FailWritesPastFileSizeLimit();
    const kivra::platform::ScopedPlatform system(kivra::platform::SystemPlatform());
    return kivra::app::ApplicationMain(argc, argv, [] {
        kivra::app::Application().CreateOwnedForm(kivra::ui::Form1);
        kivra::app::Application().RunMessageLoop();
    });
}
