#include "cutout/bmpfile.h"

#include "common/fileerror.h"

#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>

namespace vorlan {

namespace {

/// Why a file cannot be written there, as far as the file system tells beforehand.
QString obstacle(const QFileInfo& target) {
    if (target.isDir()) return QStringLiteral("это папка, а не файл");
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir()) return QStringLiteral("папка не найдена");
    if (!folder.isWritable()) return QStringLiteral("нет права записи в папку");
    if (target.exists() && !target.isWritable()) return QStringLiteral("нет права записи в файл");
    return {};
}

} // namespace

Outcome<void> writeBmp24(const QImage& picture, const QString& path) {
    if (picture.isNull()) return Failure{ErrorNumber::InvalidArgument, QStringLiteral("рисунок пуст")};
    const QFileInfo target(path);
    if (const QString reason = obstacle(target); !reason.isEmpty()) return Failure{ErrorNumber::PathAccess, reason};
    const QImage rgb =
        picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    QSaveFile out(path);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly)) {
        const int error = errno;
        return Failure{saveErrorNumber(error),
                       QStringLiteral("файл не удалось создать: %1").arg(fileErrorReason(error, true))};
    }
    // Qt's BMP writer stores every picture deeper than 8 bits as 24-bit rows without compression,
    // straight into the temporary file (no second copy of a large canvas in memory).
    errno = 0;
    if (!rgb.save(&out, "BMP")) {
        const int error = errno;
        out.cancelWriting();
        return saveFailure(error);
    }
    return commitSaveFile(out);
}

} // namespace vorlan
