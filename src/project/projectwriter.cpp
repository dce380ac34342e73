#include "project/projectwriter.h"

#include "common/fileerror.h"
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
    auto failed = [&path](int errorNumber) {
        const int number = errorNumber == EACCES || errorNumber == EPERM || errorNumber == EROFS
                               ? PermissionDenied
                           : errorNumber == ENOSPC || errorNumber == EDQUOT || errorNumber == EFBIG ? DiskFull
                           : errorNumber == ENOENT ? PathNotFound
                                                   : PathAccess;
        return ProjectSaveResult{number, fileWriteFailure(path, errorNumber)};
    };
    if (const int obstacle = saveObstacle(path)) return failed(obstacle);

    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) return failed(errno);
    // A short write is cancelled, and QSaveFile then leaves any earlier file untouched.
    if (file.write(bytes) != bytes.size()) {
        const int writeError = errno ? errno : EIO;
        file.cancelWriting();
        return failed(writeError);
    }
    if (const int error = commitSaveFile(file)) return failed(error);
    return {};
}

} // namespace vorlan
