#include "sky/skywcs.h"

#include "common/vorlanerror.h"
#include "sky/platesolution.h"

#include <QFile>
#include <cmath>
#include <cstring>
#include <fitsio.h>
#include <wcslib/wcs.h>
#include <wcslib/wcsfix.h>
#include <wcslib/wcshdr.h>
#include <wcslib/wcsutil.h>

namespace vorlan {

namespace {

constexpr double Deg = M_PI / 180;
constexpr int CardLength = 80;

QString cardReason(const char* what) {
    return QStringLiteral("в заголовке нет небесной системы координат (%1)").arg(QString::fromLatin1(what));
}

/// A value card of the header (IMAGEW, NAXIS1, ...) read as an integer; 0 when absent.
int intCard(const QByteArray& header, const char* key) {
    const QByteArray name = QByteArray(key).leftJustified(8, ' ') + "=";
    for (qsizetype at = 0; at + CardLength <= header.size(); at += CardLength)
        if (header.mid(at, 9) == name) {
            bool ok = false;
            const double v = header.mid(at + 10, CardLength - 10).split('/').first().trimmed().toDouble(&ok);
            return ok && v > 0 && v < 1e9 ? int(v) : 0;
        }
    return 0;
}

} // namespace

struct SkyWcs::Impl {
    QByteArray header;     ///< the cards it was made from, 80 characters each
    wcsprm* all = nullptr; ///< every description wcspih found
    int count = 0;
    wcsprm* wcs = nullptr; ///< the celestial one in use, inside all
    int width = 0, height = 0;
    QString reason;

    ~Impl() {
        if (all) wcsvfree(&count, &all);
    }

    /// Parses header; on failure leaves wcs null and says why.
    void parse() {
        int rejected = 0;
        // wcspih reads SIP's A_p_q / B_p_q / AP_p_q / BP_p_q into a prior distortion that
        // wcsp2s applies and wcss2p inverts.
        const int status =
            wcspih(header.data(), int(header.size() / CardLength), WCSHDR_all, 0, &rejected, &count, &all);
        if (status || count == 0) {
            reason = cardReason("wcspih");
            return;
        }
        width = intCard(header, "NAXIS1");
        height = intCard(header, "NAXIS2");
        if (!width || !height) {
            width = intCard(header, "IMAGEW");
            height = intCard(header, "IMAGEH");
        }
        for (int i = 0; i < count && !wcs; ++i) {
            wcsprm* w = all + i;
            int naxis[2] = {width, height};
            int fixes[NWCSFIX];
            wcsfix(7, width && height ? naxis : nullptr, w, fixes); // CROTA, units, old forms
            if (wcsset(w) || w->naxis != 2 || w->lng < 0 || w->lat < 0) continue;
            if (std::strncmp(w->ctype[w->lng], "RA--", 4) != 0 ||
                std::strncmp(w->ctype[w->lat], "DEC-", 4) != 0)
                continue;
            wcs = w;
        }
        if (!wcs) reason = cardReason("RA/DEC");
    }
};

SkyWcs::SkyWcs() : d(std::make_unique<Impl>()) {
    d->reason = cardReason("пусто");
}
SkyWcs::~SkyWcs() = default;
SkyWcs::SkyWcs(SkyWcs&&) noexcept = default;
SkyWcs& SkyWcs::operator=(SkyWcs&&) noexcept = default;

SkyWcs::SkyWcs(const SkyWcs& other) : d(std::make_unique<Impl>()) {
    // wcslib's structures hold pointers into themselves: a copy is made by parsing again.
    d->header = other.d->header;
    d->reason = other.d->reason;
    if (!d->header.isEmpty()) d->parse();
}

SkyWcs& SkyWcs::operator=(const SkyWcs& other) {
    if (this != &other) *this = SkyWcs(other);
    return *this;
}

SkyWcs SkyWcs::fromHeaderText(const QString& cards) {
    SkyWcs out;
    QByteArray header;
    for (const QString& line : cards.split(QLatin1Char('\n'))) {
        const QByteArray text = line.toLatin1();
        // A header read whole has no line breaks: cut it into its cards.
        for (qsizetype at = 0; at < text.size(); at += CardLength) {
            QByteArray card = text.mid(at, CardLength);
            while (card.endsWith('\r'))
                card.chop(1);
            header += card.leftJustified(CardLength, ' ');
        }
    }
    out.d->header = header;
    out.d->parse();
    return out;
}

SkyWcs SkyWcs::fromFitsFile(const QString& path) {
    SkyWcs out;
    int status = 0;
    fitsfile* f = nullptr;
    if (fits_open_diskfile(&f, QFile::encodeName(path).constData(), READONLY, &status)) {
        out.d->reason = QStringLiteral("файл FITS не открывается");
        return out;
    }
    for (int hdu = 1;; ++hdu) {
        int type = 0;
        if (fits_movabs_hdu(f, hdu, &type, &status)) break;
        if (type != IMAGE_HDU) continue;
        char* text = nullptr;
        int cards = 0;
        if (fits_is_compressed_image(f, &status))
            fits_convert_hdr2str(f, 0, nullptr, 0, &text, &cards, &status);
        else
            fits_hdr2str(f, 0, nullptr, 0, &text, &cards, &status);
        if (status || !text) break;
        SkyWcs candidate = fromHeaderText(QString::fromLatin1(text, qsizetype(cards) * CardLength));
        fits_free_memory(text, &status);
        if (candidate.isValid()) {
            out = std::move(candidate);
            break;
        }
        out.d->reason = candidate.d->reason;
    }
    int closing = 0;
    fits_close_file(f, &closing);
    return out;
}

QString SkyWcs::toHeaderText() const {
    if (!isValid()) return {};
    int cards = 0;
    char* text = nullptr;
    if (wcshdo(WCSHDO_safe | WCSHDO_P17, d->wcs, &cards, &text) || !text) return {};
    QStringList lines;
    for (int i = 0; i < cards; ++i) {
        const QString card = QString::fromLatin1(text + i * CardLength, CardLength);
        // wcshdo adds comment and blank cards between groups; only the value cards are kept.
        if (!card.startsWith(QLatin1String("COMMENT")) && !card.trimmed().isEmpty()) lines << card.trimmed();
    }
    wcsdealloc(text);
    if (d->width && d->height)
        lines << QStringLiteral("IMAGEW  = %1").arg(d->width, 20)
              << QStringLiteral("IMAGEH  = %1").arg(d->height, 20);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool SkyWcs::isValid() const {
    return d->wcs != nullptr;
}
QString SkyWcs::reason() const {
    return isValid() ? QString() : d->reason;
}
int SkyWcs::width() const {
    return d->width;
}
int SkyWcs::height() const {
    return d->height;
}

QString SkyWcs::projection() const {
    if (!isValid()) return {};
    // "RA---TAN-SIP": what follows the axis name and its dashes.
    QString type = QString::fromLatin1(d->wcs->ctype[d->wcs->lng]).mid(4);
    while (type.startsWith(QLatin1Char('-')))
        type.remove(0, 1);
    return type.trimmed();
}

std::optional<SkyCoord> SkyWcs::fitsToSky(QPointF p) const {
    if (!isValid()) return std::nullopt;
    double pixel[2] = {p.x(), p.y()}, imgcrd[2], phi, theta, world[2];
    int stat = 0;
    if (wcsp2s(d->wcs, 1, 2, pixel, imgcrd, &phi, &theta, world, &stat) || stat) return std::nullopt;
    const double ra = world[d->wcs->lng], dec = world[d->wcs->lat];
    if (!std::isfinite(ra) || !std::isfinite(dec)) return std::nullopt;
    double wrapped = std::fmod(ra, 360.0);
    if (wrapped < 0) wrapped += 360;
    return SkyCoord{wrapped * Deg, dec * Deg};
}

std::optional<QPointF> SkyWcs::skyToFits(SkyCoord sky) const {
    if (!isValid()) return std::nullopt;
    double world[2], imgcrd[2], phi, theta, pixel[2];
    world[d->wcs->lng] = sky.ra / Deg;
    world[d->wcs->lat] = sky.dec / Deg;
    int stat = 0;
    if (wcss2p(d->wcs, 1, 2, world, &phi, &theta, imgcrd, pixel, &stat) || stat) return std::nullopt;
    if (!std::isfinite(pixel[0]) || !std::isfinite(pixel[1])) return std::nullopt;
    return QPointF(pixel[0], pixel[1]);
}

QPointF SkyWcs::fitsFromPicture(QPointF p, int height) {
    return {p.x() + 0.5, height - p.y() + 0.5};
}

QPointF SkyWcs::pictureFromFits(QPointF p, int height) {
    return {p.x() - 0.5, height - p.y() + 0.5};
}

std::optional<SkyCoord> SkyWcs::pictureToSky(QPointF p) const {
    return fitsToSky(fitsFromPicture(p, d->height));
}

std::optional<QPointF> SkyWcs::skyToPicture(SkyCoord sky) const {
    const std::optional<QPointF> p = skyToFits(sky);
    if (!p) return std::nullopt;
    return pictureFromFits(*p, d->height);
}

std::optional<SkyCoord> SkyWcs::skyAtTwips(float x, float y, float displayScale) const {
    if (!(displayScale > 0)) return std::nullopt;
    const double perPixel = 15.0 * displayScale;
    return pictureToSky({x / perPixel, y / perPixel});
}

namespace {

/// Great-circle distance, radians.
double separation(SkyCoord a, SkyCoord b) {
    const double x =
        std::cos(a.dec) * std::sin(b.dec) - std::sin(a.dec) * std::cos(b.dec) * std::cos(b.ra - a.ra);
    const double y = std::cos(b.dec) * std::sin(b.ra - a.ra);
    const double z =
        std::sin(a.dec) * std::sin(b.dec) + std::cos(a.dec) * std::cos(b.dec) * std::cos(b.ra - a.ra);
    return std::atan2(std::hypot(x, y), z);
}

} // namespace

double SkyWcs::arcsecPerPixel() const {
    if (!isValid() || !d->width || !d->height) return 0;
    const QPointF c(d->width / 2.0, d->height / 2.0);
    const auto o = pictureToSky(c), right = pictureToSky(c + QPointF(1, 0)),
               down = pictureToSky(c + QPointF(0, 1));
    if (!o || !right || !down) return 0;
    // Local area of a pixel from the two sides, by the bearing between them.
    const double a = separation(*o, *right), b = separation(*o, *down);
    auto bearing = [&](SkyCoord t) {
        return std::atan2(std::cos(t.dec) * std::sin(t.ra - o->ra),
                          std::cos(o->dec) * std::sin(t.dec) -
                              std::sin(o->dec) * std::cos(t.dec) * std::cos(t.ra - o->ra));
    };
    const double area = a * b * std::fabs(std::sin(bearing(*right) - bearing(*down)));
    return std::sqrt(area) / Deg * 3600;
}

PlateFacts SkyWcs::plateFacts() const {
    if (!isValid()) throw VorlanError(InvalidArgument, d->reason);
    if (!d->width || !d->height)
        throw VorlanError(InvalidArgument, QStringLiteral("в заголовке WCS нет размера картинки"));
    const double w = d->width, h = d->height;
    auto sky = [&](double x, double y) {
        const std::optional<SkyCoord> s = pictureToSky({x, y});
        if (!s) throw VorlanError(InvalidArgument, QStringLiteral("картинка выходит за пределы проекции"));
        return *s;
    };
    const SkyCoord centre = sky(w / 2, h / 2);
    PlateFacts facts;
    facts.centreRa = centre.ra;
    facts.centreDec = centre.dec;
    facts.widthDeg = (separation(sky(0, h / 2), centre) + separation(centre, sky(w, h / 2))) / Deg;
    facts.heightDeg = (separation(sky(w / 2, 0), centre) + separation(centre, sky(w / 2, h))) / Deg;
    facts.widthPx = w;
    facts.heightPx = h;
    // North at the centre: the picture position of a point a little towards the pole (away from
    // it when the centre is at the pole itself), turned into the angle from the picture's up.
    const double step = 1e-5;
    const double sign = centre.dec + step < M_PI / 2 ? 1 : -1;
    const std::optional<QPointF> c = skyToPicture(centre),
                                 n = skyToPicture({centre.ra, centre.dec + sign * step});
    if (!c || !n) throw VorlanError(InvalidArgument, QStringLiteral("картинка выходит за пределы проекции"));
    const QPointF north = (*n - *c) * sign; // picture frame, y down
    facts.angle = std::atan2(-north.x(), -north.y());
    return facts;
}

} // namespace vorlan
