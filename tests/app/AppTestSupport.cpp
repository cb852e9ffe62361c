#include "AppTestSupport.h"

namespace kivra::test {

TTestForm::TTestForm() : TForm("TTestForm")
{
    if (duringConstruction) duringConstruction(this);
    OnCreate = createHandler;
    OnShow = showHandler;
    OnDestroy = destroyHandler;
}

} // namespace kivra::test
