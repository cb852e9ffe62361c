#include "resources/GuiResources.h"

namespace kivra::resources {

QString FormLayoutPath(const QString& className) { return QStringLiteral(":/forms/%1.ui").arg(className); }

QString ImagePath(const QString& name, const QString& extension)
{
    return QStringLiteral(":/images/%1.%2").arg(name, extension);
}

} // namespace kivra::resources
