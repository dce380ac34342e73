// The observation of a candidate as the Minor Planet Center takes it: the 80-column line, one
// input changed a row, each field rounding at its last digit with its carries; ADES rows.

#include "report/mpcreport.h"
#include "report/reportsettings.h"
#include "support/datatable.h"

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

    // A complete ADES PSV submission in the forms of ADES's submission schema, with astCat the
    // catalogue behind the coordinates; settings that lack a name say what to fill in instead.
    void adesSubmission() {
        ReportSettings s{.station = "C95",
                         .submitter = " A. | Petrov ",
                         .measurers = "A. Petrov; B. Ivanova,",
                         .apertureMetres = 0.254,
                         .detector = "CMO"};
        Observation solved = known(), typedIn = known("magnitude", "");
        solved.station = typedIn.station = s.station;
        solved.catalogue = "Tyc2";
        const QString lines = mpcObservationLine(solved) + '\n' + mpcObservationLine(typedIn) + "\n\n";
        QCOMPARE(reportText({solved, typedIn}, s.adesContext()),
                 lines +
                     "# version=2017\n# observatory\n! mpcCode C95\n# submitter\n! name A. / Petrov\n"
                     "# measurers\n! name A. Petrov\n! name B. Ivanova\n# telescope\n! design Reflector\n"
                     "! aperture 0.254\n! detector CMO\n" +
                     adesPsvHeader() +
                     "\nVRL0001|CMO |C95 |2024-03-05T21:14:07.250Z|155.126900|12.582439 |Tyc2  |17.2|R\n"
                     "VRL0001|CMO |C95 |2024-03-05T21:14:07.250Z|155.126900|12.582439 |UNK   |    |\n");
        s.submitter = " ";
        s.measurers = " , ";
        QCOMPARE(reportText({solved, typedIn}, s.adesContext()),
                 lines + "Для отчёта ADES заполните в настройках: отправитель, измерители.\n");
    }
};

QTEST_GUILESS_MAIN(TestMpcReport)
#include "tst_mpcreport.moc"
