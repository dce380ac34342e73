#include "common/fileerror.h"

#include <QFileInfo>

#include <cerrno>

namespace vorlan {

QString fileErrorReason(int errorNumber, bool writing) {
    switch (errorNumber) {
    case EACCES:
    case EPERM:
    case EROFS:
        return writing ? QStringLiteral("нет прав на запись") : QStringLiteral("нет прав на чтение файла");
    case ENOENT:
        return writing ? QStringLiteral("папка не найдена") : QStringLiteral("файл не найден");
    case EISDIR:
        return QStringLiteral("это папка, а не файл");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("на диске нет места");
    case ENAMETOOLONG:
        return QStringLiteral("слишком длинное имя файла");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("открыто слишком много файлов");
    default:
        return writing ? QStringLiteral("ошибка записи на диск") : QStringLiteral("ошибка чтения с диска");
    }
}

QString fileWriteFailure(const QString& path, int errorNumber) {
    return fileWriteFailure(path, fileErrorReason(errorNumber, true));
}

QString fileWriteFailure(const QString& path, const QString& reason) {
    return QStringLiteral("Не удалось записать файл %1: %2").arg(path, reason);
}

int saveObstacle(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) return EISDIR;
    if (!QFileInfo(info.absolutePath()).isDir()) return ENOENT;
    return 0;
}

} // namespace vorlan
