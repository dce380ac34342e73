#include "sky/orbitfile.h"

#include "common/jobrunner.h"
#include "sky/poolparts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <zlib.h>

namespace vorlan {

namespace {

constexpr double DegToRad = M_PI / 180;
/// Obliquity of the J2000 ecliptic the orbit files refer their angles to (84381.448″).
constexpr double Obliquity = 84381.448 / 3600 * DegToRad;
/// Gaussian gravitational constant: the mean motion of a body at 1 AU, radians a day.
constexpr double GaussK = 0.01720209895;
/// The runoff bound of each uncertainty parameter U = 0..9, arc seconds a day: U steps the runoff
/// along the orbit per decade by a factor (648000)^(1/9).
const std::array<float, 10> RunoffPerDay = [] {
    std::array<float, 10> r{};
    for (int u = 0; u < 10; ++u)
        r[std::size_t(u)] = float(std::exp(std::log(648000.0) / 9 * u) / 3652.5);
    return r;
}();

/// A fixed-column decimal field: blanks around, an optional sign, digits with an optional point.
/// False for an empty field or any other character.
bool fieldValue(const char* s, int length, double& value) {
    int i = 0;
    while (i < length && s[i] == ' ')
        ++i;
    int end = length;
    while (end > i && s[end - 1] == ' ')
        --end;
    if (i == end) return false;
    bool negative = false;
    if (s[i] == '-' || s[i] == '+') negative = s[i++] == '-';
    int64_t mantissa = 0;
    int decimals = -1, digits = 0;
    for (; i < end; ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + (c - '0');
            ++digits;
            if (decimals >= 0) ++decimals;
        } else if (c == '.' && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || digits > 18) return false;
    static constexpr double Tens[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9,
                                      1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
    value = double(mantissa) / Tens[decimals < 0 ? 0 : decimals];
    if (negative) value = -value;
    return true;
}

int packedDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return -1;
}

/// The packed epoch of MPCORB ("K2555": 2025 May 5.0 TT) as a Julian date; 0 when garbled.
double packedEpoch(const char* s) {
    const int century = s[0] - 'I' + 18;
    const int month = packedDigit(s[3]), day = packedDigit(s[4]);
    if (century < 18 || century > 21 || s[1] < '0' || s[1] > '9' || s[2] < '0' || s[2] > '9' || month < 1 ||
        month > 12 || day < 1 || day > 31)
        return 0;
    return julianDate(century * 100 + (s[1] - '0') * 10 + (s[2] - '0'), month, day);
}

/// Fills the orientation vectors from the J2000 ecliptic angles (degrees).
void orient(OrbitRecord& r, double perihelion, double node, double inclination) {
    const double cw = std::cos(perihelion * DegToRad), sw = std::sin(perihelion * DegToRad);
    const double cn = std::cos(node * DegToRad), sn = std::sin(node * DegToRad);
    const double ci = std::cos(inclination * DegToRad), si = std::sin(inclination * DegToRad);
    const double ce = std::cos(Obliquity), se = std::sin(Obliquity);
    const double p[3] = {cw * cn - sw * sn * ci, cw * sn + sw * cn * ci, sw * si};
    const double w[3] = {-sw * cn - cw * sn * ci, -sw * sn + cw * cn * ci, cw * si};
    r.p[0] = p[0], r.p[1] = p[1] * ce - p[2] * se, r.p[2] = p[1] * se + p[2] * ce;
    r.w[0] = w[0], r.w[1] = w[1] * ce - w[2] * se, r.w[2] = w[1] * se + w[2] * ce;
}

void setPacked(OrbitRecord& r, const char* s, int length) {
    std::memset(r.packed, ' ', sizeof r.packed);
    std::memcpy(r.packed, s, std::min<int>(length, sizeof r.packed));
}

bool designationChars(const char* s, int length) {
    for (int i = 0; i < length; ++i) {
        const char c = s[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '~')) return false;
    }
    return true;
}

/// One MPCORB line (at least 103 characters).
bool minorPlanetLine(const char* s, int length, OrbitRecord& r) {
    if (length < 103 || s[7] != ' ') return false;
    const int designationLength = s[5] == ' ' ? 5 : 7;
    if (!designationChars(s, designationLength)) return false;
    double h, g, m, peri, node, incl, e, a;
    if (!fieldValue(s + 26, 9, m) || !fieldValue(s + 37, 9, peri) || !fieldValue(s + 48, 9, node) ||
        !fieldValue(s + 59, 9, incl) || !fieldValue(s + 70, 9, e) || !fieldValue(s + 92, 11, a))
        return false;
    if (!(e >= 0 && e < 1 && a > 0)) return false;
    r.epoch = packedEpoch(s + 20);
    if (r.epoch == 0) return false;
    r.h = fieldValue(s + 8, 5, h) ? float(h) : NAN;
    r.g = fieldValue(s + 14, 5, g) ? float(g) : 0.15f;
    r.e = e;
    r.q = a * (1 - e);
    if (m > 180) m -= 360;
    r.perihelionTime = r.epoch - m * DegToRad / (GaussK / (a * std::sqrt(a)));
    const char u = length > 105 ? s[105] : ' ';
    r.runoffPerDay = u >= '0' && u <= '9' ? RunoffPerDay[std::size_t(u - '0')] : 0.f;
    r.comet = 0;
    setPacked(r, s, designationLength);
    orient(r, peri, node, incl);
    return true;
}

/// One CometEls line.
bool cometLine(const char* s, int length, OrbitRecord& r) {
    if (length < 89) return false;
    double year, month, day, q, e, peri, node, incl, h, k;
    if (!fieldValue(s + 14, 4, year) || !fieldValue(s + 19, 2, month) || !fieldValue(s + 22, 7, day) ||
        !fieldValue(s + 30, 9, q) || !fieldValue(s + 41, 8, e) || !fieldValue(s + 51, 8, peri) ||
        !fieldValue(s + 61, 8, node) || !fieldValue(s + 71, 8, incl))
        return false;
    if (!(q > 0 && e >= 0 && month >= 1 && month <= 12)) return false;
    const bool numbered = s[0] != ' ' || s[3] != ' ';
    if (!std::strchr("CPDXIA", s[4])) return false;
    if (numbered ? !designationChars(s, 4) : !designationChars(s + 5, 7)) return false;
    r.perihelionTime = julianDate(int(year), int(month), day);
    r.epoch = r.perihelionTime;
    r.q = q;
    r.e = e;
    r.h = fieldValue(s + 91, 4, h) ? float(h) : NAN;
    r.g = fieldValue(s + 96, 4, k) ? float(k) : 4.f;
    r.runoffPerDay = 0;
    r.comet = 1;
    if (numbered)
        setPacked(r, s, 5);
    else
        setPacked(r, s + 4, 8);
    orient(r, peri, node, incl);
    return true;
}

bool cometLayout(const char* s, int length) {
    return length >= 89 && s[18] == ' ' && s[21] == ' ' && s[13] == ' ' && s[4] != ' ' && s[5 + 7] == ' ';
}

/// Where the data lines begin: after MPCORB's header (closed by a line of dashes), else at once.
std::size_t firstDataByte(const char* data, std::size_t size) {
    const std::size_t look = std::min<std::size_t>(size, 16384);
    for (std::size_t i = 0; i + 10 < look; ++i)
        if ((i == 0 || data[i - 1] == '\n') && std::memcmp(data + i, "----------", 10) == 0) {
            const void* end = std::memchr(data + i, '\n', size - i);
            return end ? std::size_t(static_cast<const char*>(end) - data) + 1 : size;
        }
    return 0;
}

struct Chunk {
    std::vector<OrbitRecord> orbits;
    int skipped = 0;
};

void parseChunk(const char* begin, const char* end, Chunk& out, std::atomic<std::size_t>& done,
                std::atomic<bool>& stop, const JobControl* control) {
    out.orbits.reserve(std::size_t(end - begin) / 200 + 16);
    const char* line = begin;
    int sinceReport = 0;
    OrbitRecord r;
    while (line < end) {
        const char* nl = static_cast<const char*>(std::memchr(line, '\n', std::size_t(end - line)));
        const char* lineEnd = nl ? nl : end;
        int length = int(lineEnd - line);
        if (length > 0 && line[length - 1] == '\r') --length;
        bool blank = true;
        for (int i = 0; i < length && blank; ++i)
            blank = line[i] == ' ' || line[i] == '\t';
        if (!blank) {
            const bool ok = cometLayout(line, length) ? cometLine(line, length, r) : minorPlanetLine(line, length, r);
            if (ok)
                out.orbits.push_back(r);
            else
                ++out.skipped;
        }
        line = lineEnd + 1;
        if (++sinceReport == 8192) {
            done.fetch_add(std::size_t(line - begin), std::memory_order_relaxed);
            begin = line;
            sinceReport = 0;
            // Each worker asks the job itself: a stop must not wait for the next progress tick,
            // by which the other chunks may be parsed to their end.
            if (control && control->stopRequested()) stop = true;
            if (stop.load(std::memory_order_relaxed)) return;
        }
    }
}

Failure fileFailure(const QString& path, const QString& why) {
    return Failure{BadFile, QStringLiteral("Файл орбит \"%1\" не прочитан: %2").arg(QDir::toNativeSeparators(path), why)};
}

/// The whole file, gunzipped when it is gzip-compressed.
Outcome<QByteArray> fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{FileNotFound, QStringLiteral("Файл орбит \"%1\" не открывается").arg(QDir::toNativeSeparators(path))};
    QByteArray bytes = file.readAll();
    if (bytes.size() < 2 || uchar(bytes[0]) != 0x1f || uchar(bytes[1]) != 0x8b) return bytes;
    z_stream z{};
    if (inflateInit2(&z, 15 + 32) != Z_OK) return fileFailure(path, damagedReason());
    QByteArray plain;
    plain.resize(qMax<qsizetype>(bytes.size() * 4, 1 << 20));
    z.next_in = reinterpret_cast<Bytef*>(bytes.data());
    z.avail_in = uInt(bytes.size());
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (qsizetype(z.total_out) == plain.size()) plain.resize(plain.size() * 2);
        z.next_out = reinterpret_cast<Bytef*>(plain.data() + z.total_out);
        z.avail_out = uInt(plain.size() - qsizetype(z.total_out));
        status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_STREAM_END && z.avail_in > 0) status = inflateReset(&z) == Z_OK ? Z_OK : Z_DATA_ERROR;
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;
        if (status == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    const bool complete = status == Z_STREAM_END;
    plain.resize(qsizetype(z.total_out));
    inflateEnd(&z);
    if (!complete) return fileFailure(path, damagedReason());
    return plain;
}

/// What marks a source file's version: its size, modification time and the hash of its first bytes.
struct SourceStamp {
    int64_t size = 0;
    int64_t modified = 0;
    uint64_t headHash = 0;
    bool operator==(const SourceStamp&) const = default;
};

SourceStamp stampOf(const QString& path) {
    const QFileInfo info(path);
    SourceStamp s{info.size(), info.lastModified().toMSecsSinceEpoch(), 0};
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray hash = QCryptographicHash::hash(f.read(65536), QCryptographicHash::Sha1);
        std::memcpy(&s.headHash, hash.constData(), sizeof s.headHash);
    }
    return s;
}

struct CacheHeader {
    char magic[8] = {'V', 'R', 'L', 'O', 'R', 'B', '0', '1'};
    uint32_t recordSize = sizeof(OrbitRecord);
    uint32_t count = 0;
    SourceStamp source;
    int32_t skipped = 0;
    int32_t reserved = 0;
};

std::optional<OrbitCatalogue> readCache(const QString& cachePath, const SourceStamp& stamp) {
    QFile f(cachePath);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    CacheHeader h, expected;
    if (f.read(reinterpret_cast<char*>(&h), sizeof h) != sizeof h) return std::nullopt;
    if (std::memcmp(h.magic, expected.magic, sizeof h.magic) != 0 || h.recordSize != expected.recordSize ||
        !(h.source == stamp) || f.size() != qint64(sizeof h + std::size_t(h.count) * sizeof(OrbitRecord)))
        return std::nullopt;
    OrbitCatalogue c;
    c.orbits.resize(h.count);
    const qint64 bytes = qint64(h.count) * qint64(sizeof(OrbitRecord));
    if (f.read(reinterpret_cast<char*>(c.orbits.data()), bytes) != bytes) return std::nullopt;
    c.skipped = h.skipped;
    c.fromCache = true;
    return c;
}

void writeCache(const QString& cachePath, const SourceStamp& stamp, const OrbitCatalogue& c) {
    QDir().mkpath(QFileInfo(cachePath).absolutePath());
    QSaveFile f(cachePath);
    if (!f.open(QIODevice::WriteOnly)) return;
    CacheHeader h;
    h.count = uint32_t(c.orbits.size());
    h.source = stamp;
    h.skipped = c.skipped;
    f.write(reinterpret_cast<const char*>(&h), sizeof h);
    f.write(reinterpret_cast<const char*>(c.orbits.data()), qint64(c.orbits.size() * sizeof(OrbitRecord)));
    f.commit();
}

} // namespace

QString OrbitRecord::packedDesignation() const {
    return QString::fromLatin1(packed, sizeof packed).trimmed();
}

double julianDate(int year, int month, double day) {
    // Fliegel and Van Flandern's integer form for the date at 0h, then the day's fraction.
    const int a = (14 - month) / 12;
    const int y = year + 4800 - a, m = month + 12 * a - 3;
    const long jdn = 1 + (153 * m + 2) / 5 + 365L * y + y / 4 - y / 100 + y / 400 - 32045;
    return double(jdn) - 1.5 + day;
}

OrbitCatalogue parseOrbitText(const char* data, std::size_t size, JobControl* control) {
    const std::size_t start = firstDataByte(data, size);
    const int parts = std::max(1, QThreadPool::globalInstance()->maxThreadCount()) * 4;
    std::vector<const char*> bounds{data + start};
    for (int i = 1; i < parts; ++i) {
        const char* at = data + start + (size - start) * std::size_t(i) / std::size_t(parts);
        if (at < bounds.back()) at = bounds.back();
        const void* nl = std::memchr(at, '\n', std::size_t(data + size - at));
        bounds.push_back(nl ? static_cast<const char*>(nl) + 1 : data + size);
    }
    bounds.push_back(data + size);
    std::vector<Chunk> chunks(static_cast<std::size_t>(parts));
    std::atomic<std::size_t> done{0};
    std::atomic<bool> stop{false};
    runPoolParts(
        parts, [&](int i) { parseChunk(bounds[std::size_t(i)], bounds[std::size_t(i) + 1], chunks[std::size_t(i)], done, stop, control); },
        [&] {
            if (!control) return;
            if (control->stopRequested()) stop = true;
            control->progress(int(done.load() >> 10), int(size >> 10), QStringLiteral("чтение орбит"));
        });
    OrbitCatalogue c;
    std::size_t total = 0;
    for (const Chunk& k : chunks)
        total += k.orbits.size();
    c.orbits.reserve(total);
    for (Chunk& k : chunks) {
        c.orbits.insert(c.orbits.end(), k.orbits.begin(), k.orbits.end());
        c.skipped += k.skipped;
    }
    c.stopped = stop;
    return c;
}

Outcome<OrbitCatalogue> readOrbitFile(const QString& path, JobControl* control) {
    Outcome<QByteArray> bytes = fileBytes(path);
    if (!bytes.ok()) return bytes.failure();
    const QByteArray& b = bytes.value();
    OrbitCatalogue c = parseOrbitText(b.constData(), std::size_t(b.size()), control);
    if (c.orbits.empty() && !c.stopped) return fileFailure(path, QStringLiteral("в нём нет ни одной орбиты"));
    return c;
}

Outcome<OrbitCatalogue> loadOrbitFile(const QString& path, JobControl* control) {
    if (!QFileInfo::exists(path))
        return Failure{FileNotFound, QStringLiteral("Файл орбит \"%1\" не найден").arg(QDir::toNativeSeparators(path))};
    const SourceStamp stamp = stampOf(path);
    const QString cache = orbitCachePath(path);
    if (std::optional<OrbitCatalogue> cached = readCache(cache, stamp)) return std::move(*cached);
    Outcome<OrbitCatalogue> parsed = readOrbitFile(path, control);
    if (parsed.ok() && !parsed.value().stopped) writeCache(cache, stamp, parsed.value());
    return parsed;
}

QString orbitCachePath(const QString& sourcePath) {
    const QByteArray key = QCryptographicHash::hash(QFileInfo(sourcePath).absoluteFilePath().toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                               .left(16);
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/orbits-") +
           QString::fromLatin1(key) + QStringLiteral(".bin");
}

} // namespace vorlan
