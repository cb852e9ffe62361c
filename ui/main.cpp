// kivra: finds the long and lower-case names in a directory tree. The
// program takes no arguments; its result files and its help file lie beside
// the executable.
#include "ui/Main.h"
#include "app/Application.h"

int main(int argc, char** argv)
{
    return kivra::app::ApplicationMain(argc, argv, [] {
        kivra::app::Application().CreateOwnedForm(kivra::ui::Form1);
        kivra::app::Application().RunMessageLoop();
    });
}
