#include "report/mpcreport.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace vorlan {

namespace {

constexpr qint64 MsPerDayUnit = 864;          // 0.00001 day
constexpr qint64 DayUnits = 100000;           // units of 0.00001 day in a day
constexpr qint64 RaUnits = 24LL * 3600 * 100; // hundredths of a second of time in a circle
constexpr qint64 DecUnitsPerDegree = 36000;   // tenths of an arc second
constexpr qint64 Micro = 1000000;             // ADES: millionths of a degree

QString lettersAndDigits(const QString& text, int most) {
    QString kept;
    for (const QChar c : text)
        if (c.isLetterOrNumber() && c.unicode() < 128 && kept.size() < most) kept += c;
    return kept;
}

QString designationOf(const Observation& o) {
    const QString d = lettersAndDigits(o.designation, 7);
    return d.isEmpty() ? QStringLiteral("VRL0001") : d;
}

QString stationOf(const Observation& o) {
    const QString s = o.station.trimmed().toUpper();
    return s.size() == 3 && lettersAndDigits(s, 3) == s ? s : QStringLiteral("500");
}

bool hasMagnitude(const Observation& o) {
    return o.magnitude && *o.magnitude >= 0 && *o.magnitude < 99.95;
}

QString bandOf(const Observation& o) {
    return hasMagnitude(o) ? lettersAndDigits(QString(o.band), 1) : QString();
}

/// Right ascension wrapped into one turn and rounded to units of the turn: 0 <= result < units.
qint64 raUnits(double ra, qint64 units) {
    double turns = ra / (2 * std::numbers::pi);
    turns -= std::floor(turns);
    const qint64 u = std::llround(turns * double(units));
    return u >= units ? u - units : u;
}

double decDegrees(double dec) {
    return std::clamp(dec, -std::numbers::pi / 2, std::numbers::pi / 2) * 180 / std::numbers::pi;
}

/// "YYYY MM DD.ddddd": the day fraction rounded to 0.00001 day, carrying into the next day.
QString mpcDate(const QDateTime& utc) {
    const QDateTime t = utc.toUTC();
    QDate day = t.date();
    qint64 units = (t.time().msecsSinceStartOfDay() + MsPerDayUnit / 2) / MsPerDayUnit;
    if (units >= DayUnits) {
        day = day.addDays(1);
        units -= DayUnits;
    }
    return QString::asprintf("%04d %02d %02d.%05lld", day.year(), day.month(), day.day(), units);
}

} // namespace

QString mpcRightAscension(double ra) {
    const qint64 u = raUnits(ra, RaUnits);
    return QString::asprintf("%02lld %02lld %02lld.%02lld", u / 360000, u / 6000 % 60, u / 100 % 60, u % 100);
}

// A declination that rounds to zero is "+".
QString mpcDeclination(double dec) {
    const double degrees = decDegrees(dec);
    const qint64 u = std::llround(std::fabs(degrees) * DecUnitsPerDegree);
    return QString::asprintf("%c%02lld %02lld %02lld.%lld", degrees < 0 && u > 0 ? '-' : '+',
                             u / DecUnitsPerDegree, u / 600 % 60, u / 10 % 60, u % 10);
}

namespace {

/// The ADES fields with the widths their columns are padded to.
struct AdesField {
    const char* name;
    int width;
};
constexpr AdesField AdesFields[] = {{"trkSub", 7}, {"mode", 4},   {"stn", 4}, {"obsTime", 24}, {"ra", 10},
                                    {"dec", 10},   {"astCat", 6}, {"mag", 4}, {"band", 4}};

QString adesLine(const QStringList& values) {
    QString line;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i) line += QLatin1Char('|');
        line += i + 1 < values.size() ? values[i].leftJustified(AdesFields[i].width) : values[i];
    }
    return line;
}

QString adesDegrees(qint64 micro) {
    return QString::asprintf("%s%lld.%06lld", micro < 0 ? "-" : "", std::abs(micro) / Micro,
                             std::abs(micro) % Micro);
}

} // namespace

QString mpcObservationLine(const Observation& o) {
    QString line(80, QLatin1Char(' '));
    auto put = [&line](int column, const QString& text) { line.replace(column - 1, text.size(), text); };
    if (o.knownColumns.size() == 12)
        put(1, o.knownColumns);
    else
        put(6, designationOf(o));
    put(15, QStringLiteral("C"));
    put(16, mpcDate(o.utc));
    put(33, mpcRightAscension(o.ra));
    put(45, mpcDeclination(o.dec));
    if (hasMagnitude(o)) put(66, QString::asprintf("%4.1f", *o.magnitude));
    put(71, bandOf(o));
    put(78, stationOf(o));
    return line;
}

QString adesPsvHeader() {
    QStringList names;
    for (const AdesField& f : AdesFields)
        names << QString::fromLatin1(f.name);
    return adesLine(names);
}

QString adesPsvRow(const Observation& o) {
    // ADES's catalogue codes: at most 8 of letters, digits, "." and "_" ("GSC1.2", "PS1_DR2").
    QString catalogue;
    for (const QChar c : o.catalogue)
        if (c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_')))
            catalogue += c;
    catalogue.truncate(8);
    return adesLine({designationOf(o), o.mode == QLatin1String("CMO") ? o.mode : QStringLiteral("CCD"),
                     stationOf(o), o.utc.toUTC().toString(Qt::ISODateWithMs),
                     adesDegrees(raUnits(o.ra, 360 * Micro)),
                     adesDegrees(std::llround(decDegrees(o.dec) * Micro)),
                     catalogue.isEmpty() ? QStringLiteral("UNK") : catalogue,
                     hasMagnitude(o) ? QString::asprintf("%.1f", *o.magnitude) : QString(), bandOf(o)});
}

namespace {

/// An ADES text value: one line, no "|", at most 100 characters.
QString adesText(const QString& text) {
    return text.simplified().replace(QLatin1Char('|'), QLatin1Char('/')).left(100);
}

QStringList adesNames(const AdesContext& c) {
    QStringList names;
    for (const QString& name : c.measurers)
        if (!adesText(name).isEmpty()) names << adesText(name);
    return names;
}

} // namespace

QString AdesContext::missing() const {
    QStringList lacking;
    if (adesText(submitter).isEmpty()) lacking << QStringLiteral("отправитель");
    if (adesNames(*this).isEmpty()) lacking << QStringLiteral("измерители");
    if (adesText(design).isEmpty()) lacking << QStringLiteral("тип телескопа");
    if (!(apertureMetres > 0 && apertureMetres < 100)) lacking << QStringLiteral("апертура");
    return lacking.join(QStringLiteral(", "));
}

QString adesPsvContext(const AdesContext& c) {
    Observation station;
    station.station = c.station;
    QString text = QStringLiteral("# version=2017\n# observatory\n! mpcCode %1\n# submitter\n! name %2\n"
                                  "# measurers\n")
                       .arg(stationOf(station), adesText(c.submitter));
    for (const QString& name : adesNames(c))
        text += QStringLiteral("! name %1\n").arg(name);
    // At most six characters: metres to the millimetre, without trailing zeros.
    QString aperture = QString::number(std::clamp(c.apertureMetres, 0.001, 99.999), 'f', 3);
    while (aperture.endsWith(QLatin1Char('0')))
        aperture.chop(1);
    if (aperture.endsWith(QLatin1Char('.'))) aperture.chop(1);
    return text + QStringLiteral("# telescope\n! design %1\n! aperture %2\n! detector %3\n")
                      .arg(adesText(c.design), aperture,
                           c.detector == QLatin1String("CMO") ? c.detector : QStringLiteral("CCD"));
}

QString adesSubmission(const QVector<Observation>& observations, const AdesContext& context) {
    QString text = adesPsvContext(context) + adesPsvHeader() + QLatin1Char('\n');
    for (Observation o : observations) {
        o.mode = context.detector;
        text += adesPsvRow(o) + QLatin1Char('\n');
    }
    return text;
}

QString reportText(const QVector<Observation>& observations, const AdesContext& context) {
    QStringList lines;
    for (const Observation& o : observations)
        lines << mpcObservationLine(o);
    lines << QString();
    if (const QString lacking = context.missing(); !lacking.isEmpty()) {
        lines << adesLackingText(lacking);
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n') + adesSubmission(observations, context);
}

QString adesLackingText(const QString& lacking) {
    return QStringLiteral("Для отчёта ADES заполните в настройках: %1.").arg(lacking);
}

} // namespace vorlan
