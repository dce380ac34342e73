#include "report/reportsettings.h"

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

} // namespace

ReportSettings ReportSettings::load() {
    const QSettings s = store();
    ReportSettings r;
    r.cameraClockOffsetMinutes = s.value(OffsetKey, r.cameraClockOffsetMinutes).toInt();
    r.station = s.value(StationKey, r.station).toString();
    r.designation = s.value(DesignationKey, r.designation).toString();
    return r;
}

void ReportSettings::save() const {
    QSettings s = store();
    s.setValue(OffsetKey, cameraClockOffsetMinutes);
    s.setValue(StationKey, station);
    s.setValue(DesignationKey, designation);
}

} // namespace vorlan
