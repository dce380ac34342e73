#pragma once

#include <QString>

namespace vorlan {

/// Turns a dialog filter written as "(*.jpg)|*.jpg|(*.*)|*.*" (description|pattern pairs) into
/// Qt's "(*.jpg) (*.jpg);;(*.*) (*)" form. "*.*" becomes "*" so that names without a dot match.
QString qtFileFilter(const QString& pairs);

} // namespace vorlan
