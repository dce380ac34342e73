#include "project/projectwriter.h"

#include "common/numberforms.h"
#include "common/textcodec.h"
#include "shell/sharedstate.h"
#include "sky/skymath.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <cerrno>

namespace vorlan {

namespace {

enum SaveError { DiskFull = 61, PermissionDenied = 70, PathAccess = 75, PathNotFound = 76 };

QString starLine(float radians) {
    return PatternForm(double(radians) * sky::DegPerRad * 10000, QStringLiteral("0.0000"));
}

} // namespace

QString ProjectText(const SharedState& state, bool coordinatesOn) {
    SharedState s = state; // the slot accessors are the way to the per-slot fields
    QStringList lines;
    auto pictureBlock = [&s, &lines](int k) {
        lines << s.FileName(k);
        for (float v : {s.ImageTop(k), s.ImageLeft(k), s.Point1X(k), s.Point1Y(k), s.PictureWidth(k),
                        s.PictureHeight(k), s.DisplayScale(k)})
            lines << InvariantShortForm(v);
    };
    pictureBlock(1);
    pictureBlock(2);
    if (coordinatesOn) {
        for (float v : {s.StarRA1, s.StarDec1, s.StarRA2, s.StarDec2})
            lines << starLine(v);
        for (float v : {s.Point2X1, s.Point2Y1, s.Point2X2, s.Point2Y2})
            lines << InvariantShortForm(v);
    } else {
        for (int i = 0; i < 4; ++i)
            lines << QStringLiteral("no");
        for (int i = 0; i < 4; ++i)
            lines << QStringLiteral("0");
    }
    lines << InvariantShortForm(s.MarkScale1) << InvariantShortForm(s.MarkScale2);
    pictureBlock(3);
    return lines.join(QLatin1Char('\r'));
}

QByteArray projectFileBytes(const QString& projectText) {
    return encodeText(projectText + QStringLiteral("\r\n"));
}

QString withProjectSuffix(const QString& path) {
    const QFileInfo info(path);
    if (!info.fileName().isEmpty() && info.suffix().isEmpty() && !info.fileName().endsWith(QLatin1Char('.')))
        return path + QStringLiteral(".vln");
    return path;
}

ProjectSaveResult saveProjectFile(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    auto failed = [&path](int number, const QString& reason) {
        return ProjectSaveResult{number, QStringLiteral("Не удалось записать файл %1: %2").arg(path, reason)};
    };
    if (info.isDir()) return failed(PathAccess, QStringLiteral("это папка, а не файл"));
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir()) return failed(PathNotFound, QStringLiteral("папка не найдена"));
    if (info.exists() && !info.isWritable())
        return failed(PermissionDenied, QStringLiteral("файл защищён от записи"));

    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        switch (errno) {
        case EACCES:
        case EPERM:
        case EROFS:
            return failed(PermissionDenied, QStringLiteral("нет права записи в папку"));
        case ENOSPC:
        case EDQUOT:
            return failed(DiskFull, QStringLiteral("диск заполнен"));
        case ENAMETOOLONG:
            return failed(PathAccess, QStringLiteral("слишком длинное имя"));
        default:
            return failed(PathAccess, QStringLiteral("файл не удалось создать в этой папке"));
        }
    }
    // A short write is cancelled, and QSaveFile then leaves any earlier file untouched.
    if (file.write(bytes) != bytes.size()) file.cancelWriting();
    if (!file.commit())
        return failed(DiskFull, QStringLiteral("данные не записаны, диск заполнен или недоступен"));
    return {};
}

} // namespace vorlan
