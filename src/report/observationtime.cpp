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

std::optional<QDateTime> utcAt(QDate date, std::optional<qint64> dayMs) {
    if (!date.isValid() || !dayMs) return std::nullopt;
    return QDateTime(date, QTime(0, 0), Qt::UTC).addMSecs(*dayMs);
}

/// Half an exposure in milliseconds: none when the text is present but not seconds >= 0, 0 when
/// it is absent. FORTRAN writers may put a D exponent ("3.0D1").
std::optional<qint64> halfExposureMs(const std::optional<QString>& seconds) {
    if (!seconds) return 0;
    bool ok = false;
    const double s = QString(*seconds).replace(QLatin1Char('D'), QLatin1Char('E')).toDouble(&ok);
    if (!ok || !std::isfinite(s) || s < 0) return std::nullopt;
    return std::llround(s * 500);
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

std::optional<QDateTime> fitsStart(const QString& dateObs, const std::optional<QString>& timeObs) {
    static const QRegularExpression iso(
        QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})(?:T(\d{2}):(\d{2}):(\d{2}(?:\.\d*)?)Z?)?$)"));
    static const QRegularExpression time(QStringLiteral(R"(^(\d{2}):(\d{2}):(\d{2}(?:\.\d*)?)$)"));
    const auto m = iso.match(dateObs);
    if (!m.hasMatch()) return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (m.hasCaptured(4)) return utcAt(date, dayMilliseconds(m.captured(4), m.captured(5), m.captured(6)));
    const auto t = time.match(timeObs.value_or(QString()));
    if (!t.hasMatch()) return std::nullopt;
    return utcAt(date, dayMilliseconds(t.captured(1), t.captured(2), t.captured(3)));
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

/// ExposureTime as seconds in text: none when absent, an empty text when it is not a fraction.
std::optional<QString> exifExposure(ExifData* data) {
    const ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_EXPOSURE_TIME);
    if (!e) return std::nullopt;
    if (e->format != EXIF_FORMAT_RATIONAL || !e->data || e->size < 8) return QString();
    const ExifRational r = exif_get_rational(e->data, exif_data_get_byte_order(data));
    return r.denominator ? QString::number(double(r.numerator) / r.denominator, 'g', 17) : QString();
}

} // namespace

std::optional<QDateTime> fitsMidExposureUtc(const QString& path) {
    int status = 0;
    const FitsHandle file = openFitsForReading(path, status);
    if (status) return std::nullopt;
    int count = 0;
    fits_get_num_hdus(file.get(), &count, &status);
    for (int hdu = 1; hdu <= count && !status; ++hdu) {
        if (fits_movabs_hdu(file.get(), hdu, nullptr, &status)) return std::nullopt;
        const std::optional<QString> dateObs = cardValue(file.get(), "DATE-OBS");
        if (!dateObs) continue;
        const std::optional<QDateTime> start = fitsStart(*dateObs, cardValue(file.get(), "TIME-OBS"));
        std::optional<QString> exposure = cardValue(file.get(), "EXPTIME");
        if (!exposure) exposure = cardValue(file.get(), "EXPOSURE");
        const std::optional<qint64> half = halfExposureMs(exposure);
        if (!start || !half) return std::nullopt;
        return start->addMSecs(*half);
    }
    return std::nullopt;
}

std::optional<QDateTime> exifMidExposureUtc(const QString& path, int cameraClockOffsetMinutes) {
    const auto data = readExif(path);
    if (!data) return std::nullopt;
    static const QRegularExpression stamp(
        QStringLiteral(R"(^(\d{4}):(\d{2}):(\d{2}) (\d{2}):(\d{2}):(\d{2})$)"));
    static const QRegularExpression digits(QStringLiteral(R"(^\d+$)"));
    const auto m = stamp.match(exifText(data.get(), EXIF_TAG_DATE_TIME_ORIGINAL).value_or(QString()));
    if (!m.hasMatch()) return std::nullopt;
    QString seconds = m.captured(6);
    const QString fraction =
        exifText(data.get(), EXIF_TAG_SUB_SEC_TIME_ORIGINAL).value_or(QString()).trimmed();
    if (digits.match(fraction).hasMatch()) seconds += QLatin1Char('.') + fraction;
    const std::optional<QDateTime> camera =
        utcAt(QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()),
              dayMilliseconds(m.captured(4), m.captured(5), seconds));
    const std::optional<qint64> half = halfExposureMs(exifExposure(data.get()));
    if (!camera || !half) return std::nullopt;
    return camera->addMSecs(*half - qint64(cameraClockOffsetMinutes) * 60000);
}

std::optional<QDateTime> pictureMidExposureUtc(const QString& path, int cameraClockOffsetMinutes) {
    return isFitsFile(path) ? fitsMidExposureUtc(path) : exifMidExposureUtc(path, cameraClockOffsetMinutes);
}

} // namespace vorlan
