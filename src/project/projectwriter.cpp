#include "project/projectwriter.h"

#include "common/fileerror.h"
#include "common/numberforms.h"
#include "common/textcodec.h"
#include "project/projectlayout.h"
#include "shell/sharedstate.h"
#include "sky/skymath.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <cerrno>

namespace vorlan {

namespace {

QString starLine(float radians) {
    return PatternForm(double(radians) * sky::DegPerRad * 10000, QStringLiteral("0.0000"));
}

} // namespace

QString ProjectText(const SharedState& state, bool coordinatesOn, const QStringList& extensionLines) {
    SharedState s = state; // the slot accessors are the way to the per-slot fields
    QStringList lines;
    auto pictureBlock = [&s, &lines](int k) {
        lines << s.FileName(k);
        for (float v : {s.ImageTop(k), s.ImageLeft(k), s.Point1X(k), s.Point1Y(k), s.PictureWidth(k),
                        s.PictureHeight(k), s.DisplayScale(k)})
            lines << InvariantShortForm(v);
    };
    for (int k = 1; k <= 2; ++k)
        pictureBlock(k);
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
    Q_ASSERT(lines.size() == project::line::Last);
    lines << extensionLines;
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

Outcome<void> saveProjectFile(const QString& path, const QByteArray& bytes) {
    auto failed = [&path](int errorNumber) { return saveFailure(path, saveFailure(errorNumber)); };
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
    if (const Outcome<void> done = commitSaveFile(file); !done.ok()) return saveFailure(path, done.failure());
    return {};
}

} // namespace vorlan
