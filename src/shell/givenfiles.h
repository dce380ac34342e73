#pragma once

#include <QString>
#include <QStringList>

namespace vorlan {

/// True for a project file (*.vln, any case).
bool isProjectFile(const QString& path);

/// Full paths of the files named on the command line: relative names are taken against
/// workingDir (the folder the program was started from, before it moves to its own folder),
/// "file:" URLs as the local files they name.
QStringList givenFilePaths(const QStringList& arguments, const QString& workingDir);

} // namespace vorlan
