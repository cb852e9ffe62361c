#pragma once
// Where the GUI layers find their compiled-in resources.

#include <QString>

namespace kivra::resources {

// The stored layout of a form class: ":/forms/<ClassName>.ui".
QString FormLayoutPath(const QString& className);
// An image by its resource name: ":/images/<NAME>.<extension>".
QString ImagePath(const QString& name, const QString& extension);

} // namespace kivra::resources
