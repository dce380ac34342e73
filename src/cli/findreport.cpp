#include "cli/findreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

namespace vorlan {

namespace {

constexpr double Degrees = 180.0 / M_PI;

QString fixed(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

/// A CSV field: quoted when it holds a separator, a quote or a line end.
QString csvField(const QString& text) {
    static const QRegularExpression special(QStringLiteral("[,\"\\n]"));
    if (!text.contains(special)) return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString csvLine(const QStringList& fields) {
    QStringList quoted;
    for (const QString& f : fields)
        quoted << csvField(f);
    return quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
}

QString speedUnit(const MovingCandidate& c) {
    return c.perHour ? QStringLiteral("px/h") : QStringLiteral("px/picture");
}

double meanSnr(const MovingCandidate& c) {
    double sum = 0;
    int seen = 0;
    for (const double s : c.significance)
        if (s > 0) sum += s, ++seen;
    return seen ? sum / seen : 0;
}

QJsonObject jsonObject(const FoundObject& f, int number) {
    const MovingCandidate& c = f.candidate;
    QJsonArray positions;
    for (int i = 0; i < c.at.size(); ++i) {
        QJsonObject p{{"picture", i + 1}, {"x", c.at[i].x()}, {"y", c.at[i].y()},
                      {"snr", c.significance.value(i)}, {"seen", c.unseen != i}};
        positions.append(p);
    }
    // The observations are those pictures of the positions that have a time and a sky place.
    QJsonArray observations;
    for (const Observation& o : f.observations)
        observations.append(QJsonObject{{"utc", o.utc.toString(Qt::ISODateWithMs)},
                                        {"ra", o.ra * Degrees},
                                        {"dec", o.dec * Degrees},
                                        {"mpc", mpcObservationLine(o)}});
    QJsonObject object{{"number", number},
                       {"designation", f.observations.isEmpty() ? QString() : f.observations[0].designation},
                       {"positions", positions},
                       {"observations", observations},
                       {"speed", c.speed},
                       {"speedUnit", speedUnit(c)},
                       {"direction", c.directionDegrees},
                       {"snr", meanSnr(c)},
                       {"magnitudeChange", c.magnitudeDifference},
                       {"known", f.known.isEmpty() ? QJsonValue() : QJsonValue(f.known)}};
    return object;
}

} // namespace

QString numberedDesignation(const QString& base, int i) {
    if (i == 0) return base;
    static const QRegularExpression trailing(QStringLiteral("(\\d+)$"));
    const QRegularExpressionMatch m = trailing.match(base);
    if (!m.hasMatch()) return base + QString::number(i + 1);
    const QString digits = m.captured(1);
    return base.left(m.capturedStart(1)) +
           QStringLiteral("%1").arg(digits.toLongLong() + i, int(digits.size()), 10, QLatin1Char('0'));
}

QString findReport(const QString& format, const QVector<FoundObject>& found, const AdesContext& context) {
    QString text;
    if (format == QLatin1String("mpc")) {
        for (const FoundObject& f : found)
            for (const Observation& o : f.observations)
                text += mpcObservationLine(o) + QLatin1Char('\n');
    } else if (format == QLatin1String("ades")) {
        QVector<Observation> all;
        for (const FoundObject& f : found)
            all += f.observations;
        text = adesSubmission(all, context);
    } else if (format == QLatin1String("csv")) {
        text = csvLine({"number", "x", "y", "ra", "dec", "utc", "speed", "speed_unit", "direction", "snr",
                        "magnitude_change", "known"});
        for (int n = 0; n < found.size(); ++n) {
            const FoundObject& f = found[n];
            const MovingCandidate& c = f.candidate;
            const bool sky = !f.observations.isEmpty();
            text += csvLine({QString::number(n + 1), fixed(c.at[0].x(), 2), fixed(c.at[0].y(), 2),
                             sky ? fixed(f.observations[0].ra * Degrees, 6) : QString(),
                             sky ? fixed(f.observations[0].dec * Degrees, 6) : QString(),
                             sky ? f.observations[0].utc.toString(Qt::ISODateWithMs) : QString(),
                             fixed(c.speed, 2), speedUnit(c), fixed(c.directionDegrees, 1), fixed(meanSnr(c), 1),
                             fixed(c.magnitudeDifference, 2), f.known});
        }
    } else if (format == QLatin1String("json")) {
        QJsonArray objects;
        for (int n = 0; n < found.size(); ++n)
            objects.append(jsonObject(found[n], n + 1));
        text = QString::fromUtf8(QJsonDocument(objects).toJson(QJsonDocument::Indented));
    } else {
        for (const FoundObject& f : found)
            text += f.row.cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

QString knownReport(const QString& format, const std::vector<KnownObject>& known) {
    if (format == QLatin1String("list")) return knownObjectsText(known, {});
    if (format == QLatin1String("csv")) {
        QString text = csvLine({"designation", "ra", "dec", "x", "y", "magnitude", "motion_ra", "motion_dec"});
        for (const KnownObject& k : known)
            text += csvLine({k.designation, fixed(k.sky.ra * Degrees, 6), fixed(k.sky.dec * Degrees, 6),
                             fixed(k.pixel.x(), 1), fixed(k.pixel.y(), 1),
                             std::isnan(k.magnitude) ? QString() : fixed(k.magnitude, 1), fixed(k.motionRa, 2),
                             fixed(k.motionDec, 2)});
        return text;
    }
    QJsonArray objects;
    for (const KnownObject& k : known)
        objects.append(QJsonObject{{"designation", k.designation},
                                   {"packed", k.packed},
                                   {"ra", k.sky.ra * Degrees},
                                   {"dec", k.sky.dec * Degrees},
                                   {"x", k.pixel.x()},
                                   {"y", k.pixel.y()},
                                   {"magnitude", std::isnan(k.magnitude) ? QJsonValue() : QJsonValue(k.magnitude)},
                                   {"motionRa", k.motionRa},
                                   {"motionDec", k.motionDec}});
    return QString::fromUtf8(QJsonDocument(objects).toJson(QJsonDocument::Indented));
}

} // namespace vorlan
