#include "report/observationtime.h"

#include "view/fitshandle.h"
#include "view/fitsimage.h"

#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <cstring>
#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>
#include <memory>

namespace vorlan {

namespace {

/// Milliseconds from midnight of hours, minutes and seconds as written ("07.25"); none when out of
/// range. Second 60 is a leap second.
std::optional<qint64> dayMilliseconds(const QString& hours, const QString& minutes, const QString& seconds) {
    const int h = hours.toInt(), m = minutes.toInt();
    const double s = seconds.toDouble();
    if (h > 23 || m > 59 || !(s >= 0 && s < 61)) return std::nullopt;
    return h * 3600000LL + m * 60000LL + std::llround(s * 1000);
}

Failure unusable(const QString& reason) {
    return {ErrorNumber::InvalidValue, reason};
}

/// The start of an exposure from a date and a time of day, with `stamp` (the tag or card as
/// written) named in a refusal: a date that is no date, a year no picture can have, or a time of
/// day out of range.
Outcome<QDateTime> utcAt(const QString& stamp, int year, int month, int day, std::optional<qint64> dayMs) {
    const QDate date(year, month, day);
    if (!date.isValid() || !dayMs) return unusable(QStringLiteral("%1 не дата и время").arg(stamp));
    if (year < EarliestYear || year > LatestYear)
        return unusable(
            QStringLiteral("%1: год %2 вне %3–%4").arg(stamp).arg(year).arg(EarliestYear).arg(LatestYear));
    return QDateTime(date, QTime(0, 0), Qt::UTC).addMSecs(*dayMs);
}

/// Half an exposure in milliseconds: 0 when the text is absent, refused when it is present but
/// not seconds from 0 to a day. FORTRAN writers may put a D exponent ("3.0D1").
Outcome<qint64> halfExposureMs(const QString& name, const std::optional<QString>& seconds) {
    if (!seconds) return qint64(0);
    bool ok = false;
    const double s = QString(*seconds).replace(QLatin1Char('D'), QLatin1Char('E')).toDouble(&ok);
    if (!ok || !std::isfinite(s))
        return unusable(QStringLiteral("%1 «%2» не число секунд").arg(name, seconds->left(30)));
    if (s < 0 || s > LongestExposure)
        return unusable(
            QStringLiteral("выдержка %1 %2 с вне 0 … %3 с").arg(name, *seconds).arg(LongestExposure));
    return std::llround(s * 500);
}

/// The mid-exposure time from a start and a half exposure, the first refusal of the two.
Outcome<QDateTime> midExposure(const Outcome<QDateTime>& start, const Outcome<qint64>& half,
                               qint64 shiftMs = 0) {
    if (!start.ok()) return start.failure();
    if (!half.ok()) return half.failure();
    return start.value().addMSecs(half.value() + shiftMs);
}

// ---- FITS ----

/// The value of a card in the current HDU, quotes and blanks taken off; none when absent.
std::optional<QString> cardValue(fitsfile* f, const char* key) {
    char value[FLEN_VALUE] = {};
    int status = 0;
    if (fits_read_keyword(f, key, value, nullptr, &status)) return std::nullopt;
    QString v = QString::fromLatin1(value).trimmed();
    if (v.size() >= 2 && v.startsWith(QLatin1Char('\'')) && v.endsWith(QLatin1Char('\'')))
        v = v.mid(1, v.size() - 2).trimmed();
    return v;
}

Outcome<QDateTime> fitsStart(const QString& dateObs, const std::optional<QString>& timeObs) {
    static const QRegularExpression iso(
        QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})(?:T(\d{2}):(\d{2}):(\d{2}(?:\.\d*)?)Z?)?$)"));
    static const QRegularExpression time(QStringLiteral(R"(^(\d{2}):(\d{2}):(\d{2}(?:\.\d*)?)$)"));
    const QString stamp = QStringLiteral("DATE-OBS «%1»").arg(dateObs.left(40));
    const auto m = iso.match(dateObs);
    if (!m.hasMatch()) return unusable(stamp + QStringLiteral(" не дата"));
    const int year = m.captured(1).toInt(), month = m.captured(2).toInt(), day = m.captured(3).toInt();
    if (m.hasCaptured(4))
        return utcAt(stamp, year, month, day, dayMilliseconds(m.captured(4), m.captured(5), m.captured(6)));
    const auto t = time.match(timeObs.value_or(QString()));
    if (!t.hasMatch())
        return unusable(timeObs ? QStringLiteral("TIME-OBS «%1» не время суток").arg(timeObs->left(40))
                                : stamp + QStringLiteral(" без времени суток, и TIME-OBS нет"));
    return utcAt(stamp + QStringLiteral(" с TIME-OBS «%1»").arg(*timeObs), year, month, day,
                 dayMilliseconds(t.captured(1), t.captured(2), t.captured(3)));
}

// ---- EXIF ----

struct ExifUnref {
    void operator()(ExifData* d) const { exif_data_unref(d); }
    void operator()(ExifLoader* l) const { exif_loader_unref(l); }
};

/// The EXIF of a file as the camera wrote it: libexif is told not to repair it (it would add the
/// entries the standard requires and convert formats it finds wrong).
std::unique_ptr<ExifData, ExifUnref> readExif(const QString& path) {
    std::unique_ptr<ExifLoader, ExifUnref> loader(exif_loader_new());
    exif_loader_write_file(loader.get(), QFile::encodeName(path).constData());
    const unsigned char* bytes = nullptr;
    unsigned int size = 0;
    exif_loader_get_buf(loader.get(), &bytes, &size);
    if (!bytes || size == 0) return nullptr;
    std::unique_ptr<ExifData, ExifUnref> data(exif_data_new());
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), bytes, size);
    return data;
}

/// An ASCII entry of the EXIF folder: none when absent, an empty text when it is not text.
std::optional<QString> exifText(ExifData* data, ExifTag tag) {
    const ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], tag);
    if (!e) return std::nullopt;
    if (e->format != EXIF_FORMAT_ASCII || !e->data) return QString();
    const char* text = reinterpret_cast<const char*>(e->data);
    return QString::fromLatin1(text, qsizetype(strnlen(text, e->size)));
}

/// ExposureTime as seconds in text: none when absent, the fraction as written ("30/0") when it
/// is no number, an empty text when it is not a fraction.
std::optional<QString> exifExposure(ExifData* data) {
    const ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_EXPOSURE_TIME);
    if (!e) return std::nullopt;
    if (e->format != EXIF_FORMAT_RATIONAL || !e->data || e->size < 8) return QString();
    const ExifRational r = exif_get_rational(e->data, exif_data_get_byte_order(data));
    return r.denominator ? QString::number(double(r.numerator) / r.denominator, 'g', 17)
                         : QStringLiteral("%1/0").arg(r.numerator);
}

Failure noStamp(const QString& what) {
    return {NoTimeStamp, QStringLiteral("в файле нет %1").arg(what)};
}

} // namespace

Outcome<QDateTime> fitsMidExposureUtc(const QString& path) {
    int status = 0;
    const FitsHandle file = openFitsForReading(path, status);
    if (status) return Failure{ErrorNumber::BadFile, QStringLiteral("файл FITS не читается")};
    int count = 0;
    fits_get_num_hdus(file.get(), &count, &status);
    for (int hdu = 1; hdu <= count && !status; ++hdu) {
        if (fits_movabs_hdu(file.get(), hdu, nullptr, &status)) break;
        const std::optional<QString> dateObs = cardValue(file.get(), "DATE-OBS");
        if (!dateObs) continue;
        const Outcome<QDateTime> start = fitsStart(*dateObs, cardValue(file.get(), "TIME-OBS"));
        const char* key = "EXPTIME";
        std::optional<QString> exposure = cardValue(file.get(), key);
        if (!exposure) exposure = cardValue(file.get(), key = "EXPOSURE");
        return midExposure(start, halfExposureMs(QLatin1String(key), exposure));
    }
    return noStamp(QStringLiteral("DATE-OBS (FITS)"));
}

Outcome<QDateTime> exifMidExposureUtc(const QString& path, int cameraClockOffsetMinutes) {
    const auto data = readExif(path);
    const Failure none = noStamp(QStringLiteral("DateTimeOriginal (EXIF)"));
    if (!data) return none;
    static const QRegularExpression stamp(
        QStringLiteral(R"(^(\d{4}):(\d{2}):(\d{2}) (\d{2}):(\d{2}):(\d{2})$)"));
    static const QRegularExpression digits(QStringLiteral(R"(^\d+$)"));
    const std::optional<QString> original = exifText(data.get(), EXIF_TAG_DATE_TIME_ORIGINAL);
    if (!original) return none;
    const QString named = QStringLiteral("DateTimeOriginal «%1»").arg(original->left(40));
    const auto m = stamp.match(*original);
    if (!m.hasMatch()) return unusable(named + QStringLiteral(" не дата и время"));
    QString seconds = m.captured(6);
    const QString fraction =
        exifText(data.get(), EXIF_TAG_SUB_SEC_TIME_ORIGINAL).value_or(QString()).trimmed();
    if (digits.match(fraction).hasMatch()) seconds += QLatin1Char('.') + fraction;
    const Outcome<QDateTime> camera =
        utcAt(named, m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
              dayMilliseconds(m.captured(4), m.captured(5), seconds));
    return midExposure(camera, halfExposureMs(QStringLiteral("ExposureTime"), exifExposure(data.get())),
                       -qint64(cameraClockOffsetMinutes) * 60000);
}

Outcome<QDateTime> pictureMidExposureUtc(const QString& path, int cameraClockOffsetMinutes) {
    return isFitsFile(path) ? fitsMidExposureUtc(path) : exifMidExposureUtc(path, cameraClockOffsetMinutes);
}

} // namespace vorlan
