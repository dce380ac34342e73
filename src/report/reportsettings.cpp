#include "report/reportsettings.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace vorlan {

namespace {

// An INI file under the user's configuration folder on every platform, so that it can be read
// and edited by hand.
QSettings store() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vorlan"),
                     QStringLiteral("Vorlan"));
}

const QString OffsetKey = QStringLiteral("report/cameraClockOffsetMinutes");
const QString StationKey = QStringLiteral("report/station");
const QString DesignationKey = QStringLiteral("report/designation");
const QString SubmitterKey = QStringLiteral("report/submitter");
const QString MeasurersKey = QStringLiteral("report/measurers");
const QString DesignKey = QStringLiteral("report/telescopeDesign");
const QString ApertureKey = QStringLiteral("report/apertureMetres");
const QString DetectorKey = QStringLiteral("report/detector");
const QString OrbitFilesKey = QStringLiteral("known/orbitFiles");
const QString ShowKnownKey = QStringLiteral("known/show");
const QString LimitKey = QStringLiteral("known/magnitudeLimit");
const QString LimitAutoKey = QStringLiteral("known/magnitudeLimitAuto");
const QString PlaceKey = QStringLiteral("known/place");

} // namespace

bool isObsCodesFile(const QString& path) {
    return QFileInfo(path).fileName().contains(QStringLiteral("obscode"), Qt::CaseInsensitive);
}

QStringList ReportSettings::orbitFilesOnly() const {
    QStringList files = orbitFiles;
    files.removeIf(isObsCodesFile);
    return files;
}

Observatory ReportSettings::observatory() const {
    for (const QString& f : orbitFiles)
        if (isObsCodesFile(f))
            if (Outcome<Observatory> o = observatoryFromObsCodes(f, station); o.ok()) return o.value();
    if (placeTyped) return observatoryAt(longitudeDeg, latitudeDeg, heightM);
    return Observatory{};
}

ReportSettings ReportSettings::load() {
    const QSettings s = store();
    ReportSettings r;
    r.cameraClockOffsetMinutes = s.value(OffsetKey, r.cameraClockOffsetMinutes).toInt();
    r.station = s.value(StationKey, r.station).toString();
    r.designation = s.value(DesignationKey, r.designation).toString();
    r.submitter = s.value(SubmitterKey, r.submitter).toString();
    r.measurers = s.value(MeasurersKey, r.measurers).toString();
    r.telescopeDesign = s.value(DesignKey, r.telescopeDesign).toString();
    r.apertureMetres = s.value(ApertureKey, r.apertureMetres).toDouble();
    r.detector = s.value(DetectorKey, r.detector).toString();
    r.orbitFiles = s.value(OrbitFilesKey).toStringList();
    r.showKnownObjects = s.value(ShowKnownKey, r.showKnownObjects).toBool();
    r.knownMagnitudeLimit = s.value(LimitKey, r.knownMagnitudeLimit).toDouble();
    r.knownLimitAuto = s.value(LimitAutoKey, r.knownLimitAuto).toBool();
    const QStringList place = s.value(PlaceKey).toStringList();
    if (place.size() == 3) {
        r.placeTyped = true;
        r.longitudeDeg = place[0].toDouble();
        r.latitudeDeg = place[1].toDouble();
        r.heightM = place[2].toDouble();
    }
    return r;
}

void ReportSettings::save() const {
    QSettings s = store();
    s.setValue(OffsetKey, cameraClockOffsetMinutes);
    s.setValue(StationKey, station);
    s.setValue(DesignationKey, designation);
    s.setValue(SubmitterKey, submitter);
    s.setValue(MeasurersKey, measurers);
    s.setValue(DesignKey, telescopeDesign);
    s.setValue(ApertureKey, apertureMetres);
    s.setValue(DetectorKey, detector);
    s.setValue(OrbitFilesKey, orbitFiles);
    s.setValue(ShowKnownKey, showKnownObjects);
    s.setValue(LimitKey, knownMagnitudeLimit);
    s.setValue(LimitAutoKey, knownLimitAuto);
    if (placeTyped)
        s.setValue(PlaceKey, QStringList{QString::number(longitudeDeg, 'g', 12), QString::number(latitudeDeg, 'g', 12),
                                         QString::number(heightM, 'g', 12)});
    else
        s.remove(PlaceKey);
}

AdesContext ReportSettings::adesContext() const {
    AdesContext c;
    c.station = station;
    c.submitter = submitter;
    static const QRegularExpression between(QStringLiteral("[;,]"));
    c.measurers = measurers.split(between, Qt::SkipEmptyParts);
    c.design = telescopeDesign;
    c.apertureMetres = apertureMetres;
    c.detector = detector;
    return c;
}

} // namespace vorlan
