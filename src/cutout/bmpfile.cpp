#include "cutout/bmpfile.h"

#include <QFileInfo>
#include <QSaveFile>

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

QString writeBmp24(const QImage& picture, const QString& path) {
    if (picture.isNull()) return QStringLiteral("рисунок пуст");
    const QFileInfo target(path);
    if (const QString reason = obstacle(target); !reason.isEmpty()) return reason;
    const QImage rgb =
        picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return QStringLiteral("файл не удалось создать (%1)").arg(out.errorString());
    // Qt's BMP writer stores every picture deeper than 8 bits as 24-bit rows without compression,
    // straight into the temporary file (no second copy of a large canvas in memory).
    if (!rgb.save(&out, "BMP")) {
        const QString reason = out.errorString();
        out.cancelWriting();
        return QStringLiteral("ошибка записи (%1)").arg(reason);
    }
    if (!out.commit()) return QStringLiteral("ошибка записи (%1)").arg(out.errorString());
    return {};
}

} // namespace vorlan
