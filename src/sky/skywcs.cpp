#include "sky/skywcs.h"

#include "common/vorlanerror.h"
#include "sky/platesolution.h"
#include "view/twips.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
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

const QString SingularText = QStringLiteral("матрица CD (PC) вырождена");

/// What makes a description unusable before wcslib sets it up: values that are no numbers, a
/// declination beyond the pole, a linear matrix with a row or column of zeros. Empty when none.
QString brokenValues(const wcsprm& w) {
    auto finite = [](const double* v, int n) {
        return std::all_of(v, v + n, [](double x) { return std::isfinite(x); });
    };
    for (int i = 0; i < 2; ++i) {
        if (!finite(w.crval + i, 1)) return QStringLiteral("CRVAL%1 не число").arg(i + 1);
        if (!finite(w.crpix + i, 1)) return QStringLiteral("CRPIX%1 не число").arg(i + 1);
        if (std::strncmp(w.ctype[i], "DEC-", 4) == 0 && std::fabs(w.crval[i]) > 90)
            return QStringLiteral("склонение CRVAL%1 = %2 за полюсом").arg(i + 1).arg(w.crval[i]);
    }
    const bool cd = w.altlin & 2;
    const double* m = cd ? w.cd : w.pc;
    if (!finite(m, 4) || (!cd && !finite(w.cdelt, 2)))
        return cd ? QStringLiteral("матрица CD не из чисел") : QStringLiteral("PC или CDELT не числа");
    double scale[2] = {cd ? 1.0 : w.cdelt[0], cd ? 1.0 : w.cdelt[1]};
    for (int i = 0; i < 2; ++i)
        if ((m[2 * i] == 0 && m[2 * i + 1] == 0) || (m[i] == 0 && m[2 + i] == 0) || scale[i] == 0)
            return cd ? QStringLiteral("матрица CD нулевая: масштаб снимка не задан")
                      : QStringLiteral("CDELT или PC нулевые: масштаб снимка не задан");
    // wcsset takes a matrix whose rows are (nearly) parallel: every pixel of a line would map to
    // one point of the sky.
    const double det = m[0] * m[3] - m[1] * m[2];
    if (std::fabs(det) <= 1e-10 * (std::fabs(m[0] * m[3]) + std::fabs(m[1] * m[2]))) return SingularText;
    return {};
}

} // namespace

namespace {

/// astrometry.net's note in a solution of the index that solved it ("COMMENT index id: 4109").
/// Kept with the WCS, so that a project knows it too.
const QRegularExpression IndexCard(QStringLiteral("^COMMENT index id: *([0-9]+)"),
                                   QRegularExpression::CaseInsensitiveOption);

} // namespace

QString CatalogueOfIndex(int id) {
    // Each series of index files was built from one catalogue: the 4100 series (Debian's
    // index-tycho2-*) from Tycho-2, the 4200 series from 2MASS, the 5000 series from Gaia DR2 and
    // the 5200 series from Gaia DR2 with Tycho-2 for the brightest stars, in Gaia's frame.
    if (id >= 4100 && id < 4200) return QStringLiteral("Tyc2");
    if (id >= 4200 && id < 4300) return QStringLiteral("2MASS");
    if (id >= 5000 && id < 5300) return QStringLiteral("Gaia2");
    return {};
}

struct SkyWcs::Impl {
    QByteArray header;     ///< the cards it was made from, 80 characters each
    wcsprm* all = nullptr; ///< every description wcspih found
    int count = 0;
    wcsprm* wcs = nullptr; ///< the celestial one in use, inside all
    int width = 0, height = 0;
    QString reason;
    bool refused = false;   ///< the header describes a WCS, but one that cannot be used
    QString catalogue;      ///< see SkyWcs::catalogue()
    QStringList indexCards; ///< astrometry.net's note of the index that solved it

    ~Impl() {
        if (all) wcsvfree(&count, &all);
    }

    /// Parses header; on failure leaves wcs null and says why (refused when the header has a
    /// celestial description that cannot be used, not merely none).
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
        for (qsizetype at = 0; at + CardLength <= header.size(); at += CardLength) {
            const QString card = QString::fromLatin1(header.mid(at, CardLength)).trimmed();
            if (const QRegularExpressionMatch m = IndexCard.match(card); m.hasMatch()) {
                indexCards = QStringList{card};
                catalogue = CatalogueOfIndex(m.captured(1).toInt());
            }
        }
        width = intCard(header, "NAXIS1");
        height = intCard(header, "NAXIS2");
        if (!width || !height) {
            width = intCard(header, "IMAGEW");
            height = intCard(header, "IMAGEH");
        }
        // A card wcslib could not read is left at its default (CRVAL1 = NAN reads as 0h): a
        // header with such cards is refused as a whole rather than shown at a wrong place.
        if (rejected) {
            const QString cards = rejectedCards();
            if (!cards.isEmpty()) return refuse(QStringLiteral("карточки не читаются: %1").arg(cards));
        }
        for (int i = 0; i < count && !wcs; ++i) {
            wcsprm* w = all + i;
            if (w->naxis != 2) continue;
            bool ra = false, dec = false;
            for (int axis = 0; axis < 2; ++axis) {
                ra = ra || std::strncmp(w->ctype[axis], "RA--", 4) == 0;
                dec = dec || std::strncmp(w->ctype[axis], "DEC-", 4) == 0;
            }
            if (!ra || !dec) continue;
            // Checked before wcsfix, whose cdfix turns an all-zero CD matrix into 1° a pixel.
            if (const QString broken = brokenValues(*w); !broken.isEmpty()) return refuse(broken);
            int naxis[2] = {width, height};
            int fixes[NWCSFIX];
            wcsfix(7, width && height ? naxis : nullptr, w, fixes); // CROTA, units, old forms
            const int set = wcsset(w);
            if (set == WCSERR_SINGULAR_MTX) return refuse(SingularText);
            if (set) return refuse(QStringLiteral("wcslib не принимает описание (ошибка %1)").arg(set));
            wcs = w;
        }
        if (!wcs) reason = cardReason("RA/DEC");
    }

    void refuse(const QString& why) {
        wcs = nullptr;
        refused = true;
        reason = QStringLiteral("WCS в заголовке испорчен: ") + why;
    }

    /// The WCS cards of the header wcspih rejected: those it leaves behind when asked to take
    /// out every card it read.
    QString rejectedCards() const {
        QByteArray copy = header;
        int rejected = 0, n = 0;
        wcsprm* w = nullptr;
        wcspih(copy.data(), int(copy.size() / CardLength), WCSHDR_all, -1, &rejected, &n, &w);
        if (w) wcsvfree(&n, &w);
        // Only cards of the mapping itself: a malformed EQUINOX or CUNIT changes no position.
        static const QRegularExpression wcsKey(QStringLiteral(
            "^(CTYPE|CRVAL|CRPIX|CDELT|CROTA|CD[0-9]_|PC[0-9]_|PV[0-9]_|[AB]P?_|LONPOLE|LATPOLE)"));
        QStringList names;
        const qsizetype end = copy.indexOf('\0') < 0 ? copy.size() : copy.indexOf('\0');
        for (qsizetype at = 0; at + CardLength <= end; at += CardLength) {
            const QString card = QString::fromLatin1(copy.mid(at, CardLength));
            if (wcsKey.match(card).hasMatch()) names << card.trimmed();
        }
        return names.join(QStringLiteral("; "));
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

Outcome<SkyWcs> SkyWcs::checked() && {
    if (isValid()) return std::move(*this);
    return Failure{d->refused ? RefusedWcsNumber : NoWcsNumber, d->reason};
}

Outcome<SkyWcs> SkyWcs::fromHeaderText(const QString& cards) {
    return parsed(cards).checked();
}

SkyWcs SkyWcs::parsed(const QString& cards) {
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

Outcome<SkyWcs> SkyWcs::fromFitsFile(const QString& path) {
    SkyWcs out;
    int status = 0;
    fitsfile* f = nullptr;
    if (fits_open_diskfile(&f, QFile::encodeName(path).constData(), READONLY, &status))
        return Failure{NoWcsNumber, QStringLiteral("файл FITS не открывается")};
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
        SkyWcs candidate = parsed(QString::fromLatin1(text, qsizetype(cards) * CardLength));
        fits_free_memory(text, &status);
        if (candidate.isValid()) {
            out = std::move(candidate);
            break;
        }
        // A refused description says more than a later HDU without any.
        if (!out.d->refused) out = std::move(candidate);
    }
    int closing = 0;
    fits_close_file(f, &closing);
    return std::move(out).checked();
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
    lines << d->indexCards;
    if (d->width && d->height)
        lines << QStringLiteral("IMAGEW  = %1").arg(d->width, 20)
              << QStringLiteral("IMAGEH  = %1").arg(d->height, 20);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool SkyWcs::isValid() const {
    return d->wcs != nullptr;
}
QString SkyWcs::catalogue() const {
    return isValid() ? d->catalogue : QString();
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
    const double perPixel = toTwips(double(displayScale));
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
