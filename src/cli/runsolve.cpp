// vorlan solve: each picture solved from its stars, its solution written beside it as a .wcs
// file, one line of what the solution says of the field.

#include "cli/console.h"
#include "cli/fitsoutput.h"
#include "cli/runs.h"
#include "cli/subcommand.h"
#include "common/jobrunner.h"
#include "common/vorlanerror.h"
#include "session/pipeline.h"
#include "sky/skytext.h"
#include "view/picturefile.h"

#include <memory>

namespace vorlan {

namespace {

const QString Prefix = QStringLiteral("vorlan solve: ");

/// "центр 10h 20.5m  +12°35' (155.125000 +12.583333), поле 2.000° x 1.333°, масштаб 4.80\"/пикс,
/// поворот 30.0°": the turn is from the picture's up to north, counter-clockwise.
QString fieldLine(const SkyWcs& wcs) {
    const PlateFacts facts = wcs.plateFacts();
    constexpr double Degrees = 180.0 / M_PI;
    return QStringLiteral("центр %1 (%2 %3), поле %4° x %5°, масштаб %6\"/пикс, поворот %7°")
        .arg(SkyPositionText(facts.centreRa, facts.centreDec))
        .arg(facts.centreRa * Degrees, 0, 'f', 6)
        .arg(facts.centreDec * Degrees, 0, 'f', 6)
        .arg(facts.widthDeg, 0, 'f', 3)
        .arg(facts.heightDeg, 0, 'f', 3)
        .arg(wcs.arcsecPerPixel(), 0, 'f', 3)
        .arg(facts.angle * Degrees, 0, 'f', 2);
}

} // namespace

int runSolve(const CliConfig& c, Console& console, JobRunner& jobs) {
    bool unreadable = false;
    int solved = 0;
    for (const QString& file : c.files) {
        auto picture = std::make_shared<DecodedPicture>(QImage());
        const Outcome<void> read = runJob(jobs, QStringLiteral("Загрузка %1").arg(file),
                                          [file, picture](JobControl&) { *picture = decodePictureFile(file); });
        if (!read.ok() || !picture->ok()) {
            console.problem(Prefix + file + QStringLiteral(": ") + (read.ok() ? picture->reason() : read.reason()));
            unreadable = true;
            continue;
        }
        SolveOptions options;
        options.scale = c.scale.known() ? c.scale : ScaleHintFromHeader(file);
        console.note(QStringLiteral("%1: определение координат по звёздам...").arg(file));
        const Outcome<SkyWcs> wcs = solvePicture(picture->value(), jobs, options);
        if (!wcs.ok()) {
            console.problem(Prefix + file + QStringLiteral(": ") + wcs.reason());
            continue;
        }
        const QString out = wcsFilePath(file);
        if (const Outcome<void> written = writeWcsFile(out, wcs.value()); !written.ok()) {
            console.problem(Prefix + written.reason());
            continue;
        }
        try {
            console.result(file + QStringLiteral(": ") + fieldLine(wcs.value()) + QLatin1Char('\n'));
        } catch (const VorlanError& e) {
            console.problem(Prefix + file + QStringLiteral(": ") + e.description());
        }
        ++solved;
    }
    if (unreadable) return ExitUnreadable;
    return solved > 0 ? ExitResults : ExitNothing;
}

} // namespace vorlan
