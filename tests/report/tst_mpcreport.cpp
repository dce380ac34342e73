// The observation of a candidate as the Minor Planet Center takes it: the 80-column line, one
// input changed a row, each field rounding at its last digit with its carries; the ADES row, and
// the whole ADES PSV submission checked against the rules of ADES's submission schema.

#include "report/mpcreport.h"
#include "report/reportsettings.h"
#include "support/datatable.h"

#include <QRegularExpression>
#include <QtTest>
#include <cmath>

using namespace vorlan;
using vorlan::test::DataTable;

namespace {

/// "HH MM SS.sss" (hours) or "sDD MM SS.ss" (degrees) in radians.
double sexagesimal(const QString& text, double radiansPerUnit) {
    const QStringList p = text.split(' ');
    const double value = std::fabs(p[0].toDouble()) + p[1].toDouble() / 60 + p[2].toDouble() / 3600;
    return (text.startsWith('-') ? -value : value) * radiansPerUnit;
}

/// A candidate at a known place and time, with one input given as text changed.
Observation known(const QString& input = {}, const QString& value = {}) {
    Observation o;
    o.utc = QDateTime::fromString(input == "time" ? value : "2024-03-05T21:14:07.250Z", Qt::ISODateWithMs);
    o.ra = sexagesimal(input == "ra" ? value : "10 20 30.456", M_PI / 12);
    o.dec = sexagesimal(input == "dec" ? value : "+12 34 56.78", M_PI / 180);
    if (input != "magnitude" || !value.isEmpty())
        o.magnitude = input == "magnitude" ? value.toDouble() : 17.24;
    o.band = 'R';
    if (input == "designation") o.designation = value;
    if (input == "station") o.station = value;
    return o;
}

/// What keeps an ADES PSV submission from passing the MPC's validator (its submission schema),
/// one text per problem: the version line first; observatory, submitter, measurers and telescope
/// with their required values; a column line of the optical form; rows with every required field
/// in its pattern. Empty when it passes.
QStringList adesProblems(const QString& psv) {
    QStringList problems;
    QStringList lines = psv.split('\n', Qt::SkipEmptyParts);
    if (lines.value(0) != "# version=2017") problems << "no version line";
    QMap<QString, QStringList> context; // "# block" -> its "! key value" lines
    QString block;
    qsizetype at = 1;
    for (; at < lines.size() && (lines[at].startsWith('#') || lines[at].startsWith('!')); ++at) {
        if (lines[at].startsWith("# ")) context[block = lines[at].mid(2)];
        else context[block] << lines[at].mid(2);
    }
    const QRegularExpression text("^[^|]*[^|\\s][^|]*$");
    auto has = [&](const QString& b, const QString& key, const QString& pattern) {
        const QRegularExpression value("^" + key + " (" + pattern + ")$");
        for (const QString& line : context.value(b))
            if (value.match(line).hasMatch() && text.match(line.mid(key.size() + 1)).hasMatch()) return true;
        problems << b + ": no " + key;
        return false;
    };
    has("observatory", "mpcCode", "[A-Za-z0-9]{3,4}");
    has("submitter", "name", ".{1,100}");
    has("measurers", "name", ".{1,100}");
    has("telescope", "design", ".{1,25}");
    has("telescope", "aperture", "[0-9.]{1,6}");
    has("telescope", "detector", ".{1,25}");
    const QStringList columns = lines.value(at++).split('|');
    QStringList names;
    for (const QString& c : columns)
        names << c.trimmed();
    for (const char* required : {"trkSub", "mode", "stn", "obsTime", "ra", "dec", "astCat"})
        if (!names.contains(required)) problems << QString("no column ") + required;
    const QMap<QString, QRegularExpression> patterns{
        {"trkSub", QRegularExpression("^[-A-Za-z0-9_]{1,8}$")},
        {"mode", QRegularExpression("^[A-Za-z0-9_]{1,3}$")},
        {"stn", QRegularExpression("^[A-Za-z0-9_]{3,4}$")},
        {"obsTime", QRegularExpression("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(\\.\\d{1,6})?Z$")},
        {"ra", QRegularExpression("^([1-3][0-9]{2}|[1-9]?[0-9])?(\\.[0-9]{0,9})?$")},
        {"dec", QRegularExpression("^[+-]?([1-9]?[0-9])?(\\.[0-9]{0,9})?$")},
        {"astCat", QRegularExpression("^[.A-Za-z0-9_]{1,8}$")},
        {"mag", QRegularExpression("^$|^[+-]?[0-9.]{1,7}$")},
        {"band", QRegularExpression("^$|^[A-Za-z0-9_]{1,3}$")}};
    for (; at < lines.size(); ++at) {
        const QStringList fields = lines[at].split('|');
        if (fields.size() != names.size()) problems << "row " + lines[at] + ": fields";
        for (qsizetype i = 0; i < fields.size() && i < names.size(); ++i)
            if (!patterns.value(names[i]).match(fields[i].trimmed()).hasMatch())
                problems << names[i] + " = " + fields[i];
        if (fields.value(names.indexOf("mag")).trimmed().isEmpty() !=
            fields.value(names.indexOf("band")).trimmed().isEmpty())
            problems << "mag without band";
    }
    return problems;
}

} // namespace

class TestMpcReport : public QObject {
    Q_OBJECT

  private slots:
    void observationLine_data() {
        // The input changed, its value, and the field it changes in the line, from its 1-based column.
        DataTable<QString, QString, int, QString>("input", "value", "column", "field")
            .row("known position", "", "", 1, "")
            .row("RA seconds carry into the hour", "ra", "05 59 59.996", 33, "06 00 00.00")
            .row("RA wraps past 24 h", "ra", "23 59 59.996", 33, "00 00 00.00")
            .row("small southern declination", "dec", "-00 00 12.34", 45, "-00 00 12.3")
            .row("declination rounding to zero", "dec", "-00 00 00.04", 45, "+00 00 00.0")
            .row("arc seconds carry into the degree", "dec", "-05 59 59.96", 45, "-06 00 00.0")
            .row("day carries into 1 March", "time", "2024-02-29T23:59:59.800Z", 16, "2024 03 01.00000")
            .row("last moment of the year", "time", "2023-12-31T23:59:59.999Z", 16, "2024 01 01.00000")
            .row("half a unit of the day rounds up", "time", "2024-03-05T00:00:00.432Z", 16,
                 "2024 03 05.00001")
            .row("no magnitude, no band", "magnitude", "", 66, "      ")
            .row("magnitude below 10", "magnitude", "9.46", 66, " 9.5 R")
            .row("own designation", "designation", "K24X01", 6, "K24X01 ")
            .row("designation cleaned and cut", "designation", "ab-c/12345678", 6, "abc1234")
            .row("own station", "station", "g96", 78, "G96")
            .row("station refused", "station", "G9", 78, "500");
    }
    void observationLine() {
        QFETCH(QString, input);
        QFETCH(QString, value);
        QFETCH(int, column);
        QFETCH(QString, field);
        // Columns 1-5, 6-12, 13-14, 15, 16-32, 33-44, 45-56, 57-65, 66-71, 72-77, 78-80.
        QString expected = QString("     ") + "VRL0001" + "  " + "C" + "2024 03 05.88481 " + "10 20 30.46 " +
                           "+12 34 56.8 " + QString(9, ' ') + "17.2 R" + QString(6, ' ') + "500";
        expected.replace(column - 1, field.size(), field);
        QCOMPARE(mpcObservationLine(known(input, value)), expected);
        QCOMPARE(expected.size(), 80);
    }

    void adesRow() {
        QCOMPARE(
            adesPsvHeader(),
            QString("trkSub |mode|stn |obsTime                 |ra        |dec       |astCat|mag |band"));
        QCOMPARE(adesPsvRow(known()),
                 QString("VRL0001|CCD |500 |2024-03-05T21:14:07.250Z|155.126900|12.582439 |UNK   |17.2|R"));
        // RA that rounds to 360 degrees wraps; a southern declination; no photometry.
        Observation south = known("ra", "23 59 59.99999");
        south.dec = sexagesimal("-00 30 00", M_PI / 180);
        south.magnitude.reset();
        south.catalogue = "Gaia3";
        QCOMPARE(adesPsvRow(south),
                 QString("VRL0001|CCD |500 |2024-03-05T21:14:07.250Z|0.000000  |-0.500000 |Gaia3 |    |"));
    }

    // submitter, measurers: as typed in the settings; lacking: what the report asks for instead
    // of the submission, empty when it is complete.
    void adesSubmission_data() {
        DataTable<QString, QString, QString, QString, QString>("submitter", "measurers", "detector",
                                                               "catalogue", "lacking")
            .row("CCD, Tycho-2 solution", "A. Petrov", "A. Petrov", "CCD", "Tyc2", "")
            .row("CMOS, two measurers, a bar in a name, no catalogue", "  A. | Petrov ", "A. Petrov; B. Ivanova,",
                 "CMO", "", "")
            .row("no submitter", " ", "A. Petrov", "CCD", "Tyc2", "отправитель")
            .row("nobody", "", " , ", "CCD", "Tyc2", "отправитель, измерители");
    }
    // A complete ADES PSV: who observed with what from the settings, the catalogue behind the
    // coordinates, the detector's mode; it passes the schema's rules. Settings that lack a name
    // give a line saying what to fill in, and no submission the MPC would refuse.
    void adesSubmission() {
        QFETCH(QString, submitter);
        QFETCH(QString, measurers);
        QFETCH(QString, detector);
        QFETCH(QString, catalogue);
        QFETCH(QString, lacking);
        ReportSettings settings;
        settings.station = "C95";
        settings.submitter = submitter;
        settings.measurers = measurers;
        settings.detector = detector;
        settings.apertureMetres = 0.254;
        Observation first = known(), second = known("magnitude", "");
        first.catalogue = second.catalogue = catalogue;
        first.station = second.station = settings.station;
        second.utc = second.utc.addSecs(600);
        const QString text = reportText({first, second}, settings.adesContext());
        const QStringList parts = text.split("\n\n");
        QCOMPARE(parts.size(), 2);
        QCOMPARE(parts[0], mpcObservationLine(first) + '\n' + mpcObservationLine(second));
        if (!lacking.isEmpty()) {
            QCOMPARE(parts[1], "Для отчёта ADES заполните в настройках: " + lacking + ".\n");
            return;
        }
        const QString psv = parts[1];
        QVERIFY2(adesProblems(psv).isEmpty(), qPrintable(adesProblems(psv).join('\n') + '\n' + psv));
        QVERIFY(psv.startsWith("# version=2017\n# observatory\n! mpcCode C95\n# submitter\n! name A. / Petrov\n"
                               "# measurers\n! name A. Petrov\n") ||
                psv.startsWith("# version=2017\n# observatory\n! mpcCode C95\n# submitter\n! name A. Petrov\n"));
        QCOMPARE(psv.count("! name B. Ivanova\n"), measurers.contains("Ivanova") ? 1 : 0);
        QVERIFY(psv.contains("# telescope\n! design Reflector\n! aperture 0.254\n! detector " + detector + "\n"));
        const QStringList rows = psv.section(adesPsvHeader() + '\n', 1).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 2);
        for (const QString& row : rows) {
            QCOMPARE(row.section('|', 1, 1).trimmed(), detector);
            QCOMPARE(row.section('|', 6, 6).trimmed(), catalogue.isEmpty() ? QString("UNK") : catalogue);
        }
        // The lines a problem of the submission would be noticed by.
        QVERIFY(!adesProblems(QString(psv).replace("|Tyc2  |", "|Tycho-2|").replace("|UNK   |", "|U K|")).isEmpty());
        QVERIFY(!adesProblems(QString(psv).remove(QRegularExpression("! name [^\n]*\n"))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMpcReport)
#include "tst_mpcreport.moc"
