#include "common/fileerror.h"

#include "common/errornumber.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vorlan {

int saveErrorNumber(int errorNumber) {
    switch (errorNumber) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ErrorNumber::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ErrorNumber::DiskFull;
    case ENOENT:
        return ErrorNumber::PathNotFound;
    default:
        return ErrorNumber::PathAccess;
    }
}

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
    case EFBIG:
        return QStringLiteral("файл слишком велик для этого диска");
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

Failure saveFailure(int errorNumber) {
    return {saveErrorNumber(errorNumber), fileErrorReason(errorNumber, true)};
}

Failure saveFailure(const QString& path, const Failure& failure) {
    return {failure.number, fileWriteFailure(path, failure.reason)};
}

int saveObstacle(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) return EISDIR;
    if (!QFileInfo(info.absolutePath()).isDir()) return ENOENT;
    return 0;
}

QString notAFileReason(const QString& path) {
    const QFileInfo info(path); // follows links
    if (info.isDir()) return fileErrorReason(EISDIR, false);
    if (!info.exists() || info.isFile()) return {};
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        if (S_ISFIFO(st.st_mode)) return QStringLiteral("это канал (FIFO), а не файл");
        if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return QStringLiteral("это устройство, а не файл");
    }
#endif
    return QStringLiteral("это не обычный файл");
}

Outcome<void> commitSaveFile(QSaveFile& file) {
    errno = 0;
    bool written = file.flush();
#ifdef Q_OS_UNIX
    // Some file systems find out that the disk is full only when the data goes to it.
    if (written && ::fsync(file.handle()) != 0 && errno != EINVAL) written = false;
#endif
    if (!written) {
        const int error = errno ? errno : EIO;
        file.cancelWriting();
        file.commit(); // removes the temporary file
        return saveFailure(error);
    }
    errno = 0;
    if (!file.commit()) return saveFailure(errno ? errno : EIO);
    return {};
}

} // namespace vorlan
