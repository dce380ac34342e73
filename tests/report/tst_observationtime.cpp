// The mid-exposure time of a picture, read from FITS headers as camera programs write them and
// from a camera's EXIF, each header a row; the camera's clock offset applies to EXIF only.

#include "report/observationtime.h"
#include "support/datatable.h"
#include "support/exifjpeg.h"
#include "support/wcsheader.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

Q_DECLARE_METATYPE(CameraStamp)

namespace {

/// The time, "none" for a picture without a time stamp, or why a time stamp was refused.
QString shown(const Outcome<QDateTime>& t) {
    return t.ok()                              ? t.value().toString(Qt::ISODateWithMs)
           : t.failure().number == NoTimeStamp ? QStringLiteral("none")
                                               : t.reason();
}

} // namespace

class TestObservationTime : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private slots:
    void fromFitsHeader_data() {
        const QString start = "DATE-OBS= '2024-03-05T21:14:07.25'";
        DataTable<QStringList, QString>("cards", "expected")
            .row("DATE-OBS only", {start}, "2024-03-05T21:14:07.250Z")
            .row("plus half EXPTIME", {start, "EXPTIME = 30."}, "2024-03-05T21:14:22.250Z")
            .row("EXPOSURE when no EXPTIME", {start, "EXPOSURE= 0.5"}, "2024-03-05T21:14:07.500Z")
            .row("EXPTIME before EXPOSURE", {start, "EXPOSURE= 10", "EXPTIME = 60"},
                 "2024-03-05T21:14:37.250Z")
            .row("FORTRAN exponent", {start, "EXPTIME = 3.0D1"}, "2024-03-05T21:14:22.250Z")
            .row("Z and more decimals", {"DATE-OBS= '2024-03-05T21:14:07.2506Z'"}, "2024-03-05T21:14:07.251Z")
            .row("TIME-OBS, mid-point the next day",
                 {"DATE-OBS= '2024-02-28'", "TIME-OBS= '23:59:50.5'", "EXPTIME = 20"},
                 "2024-02-29T00:00:00.500Z")
            .row("date without a time of day", {"DATE-OBS= '2024-03-05'"},
                 "DATE-OBS «2024-03-05» без времени суток, и TIME-OBS нет")
            .row("no DATE-OBS", {"EXPTIME = 30"}, "none")
            .row("garbled date", {"DATE-OBS= '2024-13-45T25:00:00'"},
                 "DATE-OBS «2024-13-45T25:00:00» не дата и время")
            .row("garbled TIME-OBS", {"DATE-OBS= '2024-03-05'", "TIME-OBS= 'evening'"},
                 "TIME-OBS «evening» не время суток")
            .row("garbled EXPTIME", {start, "EXPTIME = 'abc'"}, "EXPTIME «abc» не число секунд")
            .row("negative EXPTIME", {start, "EXPTIME = -5"}, "выдержка EXPTIME -5 с вне 0 … 86400 с");
    }
    void fromFitsHeader() {
        QFETCH(QStringList, cards);
        const QString path = dir.filePath("header.fits");
        QCOMPARE(writeFitsWithCards(path, blankPicture(4, 4), cards), 0);
        // A FITS header is UTC by convention: the camera's clock offset is not applied.
        QTEST(shown(pictureMidExposureUtc(path, 180)), "expected");
    }

    void fromExif_data() {
        const QByteArray stamp = "2024:03:05 21:14:07";
        // The clock offset: minutes the camera's clock runs ahead of UTC.
        DataTable<CameraStamp, int, QString>("camera", "clockOffset", "expected")
            .row("camera on UTC", {stamp}, 0, "2024-03-05T21:14:07.000Z")
            .row("sub-seconds, half the exposure", {stamp, "25", ExifRational{30, 1}}, 0,
                 "2024-03-05T21:14:22.250Z")
            .row("Moscow time, back into February", {"2024:03:01 01:00:00", "", ExifRational{1, 250}}, 180,
                 "2024-02-29T22:00:00.002Z")
            .row("camera behind UTC", {"2024:12:31 21:14:07"}, -300, "2025-01-01T02:14:07.000Z")
            .row("clock never set", {"    :  :     :  :  "}, 0,
                 "DateTimeOriginal «    :  :     :  :  » не дата и время")
            .row("no DateTimeOriginal", {"", "25", ExifRational{30, 1}}, 0, "none")
            .row("exposure over zero", {stamp, "", ExifRational{30, 0}}, 0,
                 "ExposureTime «30/0» не число секунд")
            .row("no EXIF at all", {}, 0, "none")
            .row("year 9999, a leap second", {"9999:12:31 23:59:60"}, 0,
                 "DateTimeOriginal «9999:12:31 23:59:60»: год 9999 вне 1900–2100")
            .row("2^32-1 s", {stamp, "", ExifRational{4294967295U, 1}}, 0,
                 "выдержка ExposureTime 4294967295 с вне 0 … 86400 с");
    }
    void fromExif() {
        QFETCH(CameraStamp, camera);
        QFETCH(int, clockOffset);
        const QString path = dir.filePath("photo.jpg");
        QVERIFY(writeJpegWithExif(path, camera));
        QTEST(shown(pictureMidExposureUtc(path, clockOffset)), "expected");
    }
};

QTEST_GUILESS_MAIN(TestObservationTime)
#include "tst_observationtime.moc"
