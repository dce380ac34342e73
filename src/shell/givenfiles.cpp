#include "shell/givenfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace vorlan {

bool isProjectFile(const QString& path) {
    return QFileInfo(path).suffix().compare(QStringLiteral("vln"), Qt::CaseInsensitive) == 0;
}

QStringList givenFilePaths(const QStringList& arguments, const QString& workingDir) {
    QStringList paths;
    const QDir dir(workingDir);
    for (const QString& a : arguments) {
        const QString local = a.startsWith(QStringLiteral("file:")) ? QUrl(a).toLocalFile() : a;
        if (!local.isEmpty()) paths << QDir::cleanPath(dir.absoluteFilePath(local));
    }
    return paths;
}

} // namespace vorlan
