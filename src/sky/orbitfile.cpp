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
#include <cmath>
#include <cstring>
#include <zlib.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

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
/// False for an empty field or any other character. One pass: the blanks after the number are
/// only looked at when there are any.
bool fieldValue(const char* s, int length, double& value) {
    int i = 0;
    while (i < length && s[i] == ' ')
        ++i;
    if (i == length) return false;
    bool negative = false;
    if (s[i] == '-' || s[i] == '+') negative = s[i++] == '-';
    int64_t mantissa = 0;
    int decimals = -1, digits = 0;
    for (; i < length; ++i) {
        const char c = s[i];
        if (unsigned(c - '0') < 10) {
            mantissa = mantissa * 10 + (c - '0');
            ++digits;
            if (decimals >= 0) ++decimals;
        } else if (c == '.' && decimals < 0) {
            decimals = 0;
        } else if (c == ' ') {
            break;
        } else {
            return false;
        }
    }
    for (; i < length; ++i)
        if (s[i] != ' ') return false;
    if (digits == 0 || digits > 18) return false;
    static constexpr double Tens[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9,
                                      1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
    // A division, not a product with 1e-k: the quotient is the correctly rounded value.
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

/// Sine and cosine of an angle in degrees. The angle is brought exactly to within 45° of a
/// multiple of 90° (fmod and the subtraction are exact in binary), and only then turned into
/// radians, so the one rounding is of an argument under π/4; the polynomials are fdlibm's
/// minimax kernels for that interval (error under 1e-16). Three of these a line cost less than
/// one pair of library calls with their general range reduction.
inline void sinCosDegrees(double degrees, double& s, double& c) {
    double r = degrees;
    if (!(r >= -360 && r <= 360)) r = std::fmod(r, 360.0);
    const int quadrant = int(r * (1.0 / 90) + (r >= 0 ? 0.5 : -0.5));
    const double x = (r - quadrant * 90.0) * DegToRad;
    const double z = x * x;
    const double sine =
        x + x * z *
                (-1.66666666666666324348e-01 +
                 z * (8.33333333332248946124e-03 +
                      z * (-1.98412698298579493134e-04 +
                           z * (2.75573137070700676789e-06 +
                                z * (-2.50507602534068634195e-08 + z * 1.58969099521155010221e-10)))));
    const double cosine =
        1 - 0.5 * z +
        z * z *
            (4.16666666666666019037e-02 +
             z * (-1.38888888888741095749e-03 +
                  z * (2.48015872894767294178e-05 +
                       z * (-2.75573143513906633035e-07 +
                            z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
    switch (quadrant & 3) {
    case 0: s = sine, c = cosine; break;
    case 1: s = cosine, c = -sine; break;
    case 2: s = -sine, c = -cosine; break;
    default: s = -cosine, c = sine; break;
    }
}

const double CosObliquity = std::cos(Obliquity);
const double SinObliquity = std::sin(Obliquity);

/// Fills the orientation vectors from the J2000 ecliptic angles (degrees).
void orient(OrbitRecord& r, double perihelion, double node, double inclination) {
    double sw, cw, sn, cn, si, ci;
    sinCosDegrees(perihelion, sw, cw);
    sinCosDegrees(node, sn, cn);
    sinCosDegrees(inclination, si, ci);
    const double ce = CosObliquity, se = SinObliquity;
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

/// Appends the orbits of the lines in [line, end) to out, counting the lines that cannot be read.
void parseLines(const char* line, const char* end, std::vector<OrbitRecord>& out, int& skipped) {
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
                out.push_back(r);
            else
                ++skipped;
        }
        line = lineEnd + 1;
    }
}

/// Asks for the table's memory in 2 MB pages where the system gives them only when asked
/// (Linux's transparent huge pages in "madvise" mode): the full-size table then costs a few
/// hundred page faults instead of tens of thousands.
void preferLargePages(void* begin, std::size_t bytes) {
#ifdef __linux__
    constexpr std::uintptr_t Large = std::uintptr_t(2) << 20;
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(begin) + Large - 1) & ~(Large - 1);
    const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(begin) + bytes) & ~(Large - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)begin, (void)bytes;
#endif
}

/// How much text is parsed at a time: small enough to stay in the caches and in one reused
/// buffer, large enough that handing it to the pool costs nothing against its parsing.
constexpr std::size_t BlockBytes = std::size_t(1) << 20;

/// Turns blocks of whole lines into one table of orbits, in the file's order. Each block is split
/// between the pool's threads into per-thread tables that are reused from block to block (they
/// stay in the caches), then appended to the one table, which after the first block is sized for
/// the whole text once. No second copy of the table, no buffer of the whole text.
class LineParser {
  public:
    /// textBytes: the size of the whole text when it is known (0 when it is not: a gzip stream).
    LineParser(OrbitCatalogue& catalogue, JobControl* control, std::size_t textBytes)
        : m_catalogue(catalogue), m_control(control), m_textBytes(textBytes),
          m_parts(std::max(1, QThreadPool::globalInstance()->maxThreadCount())), m_out(std::size_t(m_parts)),
          m_skipped(std::size_t(m_parts)) {}

    /// Parses the whole lines [begin, end), the last one with or without its line end, then
    /// reports doneBytes of totalBytes. False when a stop was asked for (nothing is then parsed).
    bool parse(const char* begin, const char* end, std::size_t doneBytes, std::size_t totalBytes) {
        if (m_control && m_control->stopRequested()) {
            m_catalogue.stopped = true;
            return false;
        }
        if (!m_started && begin < end) {
            m_started = true;
            begin += firstDataByte(begin, std::size_t(end - begin));
        }
        const std::size_t bytes = std::size_t(end - begin);
        // A small text is parsed at once on this thread: handing it out costs more than it saves.
        const int parts = bytes < (256u << 10) ? 1 : m_parts;
        std::vector<const char*> bounds{begin};
        for (int i = 1; i < parts; ++i) {
            const char* at = std::max(bounds.back(), begin + bytes * std::size_t(i) / std::size_t(parts));
            const void* nl = std::memchr(at, '\n', std::size_t(end - at));
            bounds.push_back(nl ? static_cast<const char*>(nl) + 1 : end);
        }
        bounds.push_back(end);
        std::vector<OrbitRecord>& orbits = m_catalogue.orbits;
        const std::size_t before = orbits.size();
        const auto part = [&](int i) {
            // The first part goes straight onto the table, which nothing else touches meanwhile;
            // the others into their own tables, appended after it.
            std::vector<OrbitRecord>& out = i == 0 ? orbits : m_out[std::size_t(i)];
            if (i > 0) out.clear();
            m_skipped[std::size_t(i)] = 0;
            parseLines(bounds[std::size_t(i)], bounds[std::size_t(i) + 1], out, m_skipped[std::size_t(i)]);
        };
        if (parts == 1)
            part(0);
        else
            runPoolParts(parts, part);
        if (!m_sized && m_textBytes > 0 && bytes > 0) {
            // The first block tells the orbits a byte; the table takes them all in one allocation.
            std::size_t read = orbits.size() - before;
            for (int i = 0; i < parts; ++i)
                read += (i > 0 ? m_out[std::size_t(i)].size() : 0) + std::size_t(m_skipped[std::size_t(i)]);
            orbits.reserve(std::size_t(double(read) / double(bytes) * double(m_textBytes) * 1.02) + 1024);
            preferLargePages(orbits.data(), orbits.capacity() * sizeof(OrbitRecord));
            m_sized = true;
        }
        for (int i = 0; i < parts; ++i) {
            if (i > 0) orbits.insert(orbits.end(), m_out[std::size_t(i)].begin(), m_out[std::size_t(i)].end());
            m_catalogue.skipped += m_skipped[std::size_t(i)];
        }
        if (m_control)
            m_control->progress(int(doneBytes >> 10), int(totalBytes >> 10), QStringLiteral("чтение орбит"));
        return true;
    }

  private:
    OrbitCatalogue& m_catalogue;
    JobControl* m_control;
    std::size_t m_textBytes;
    int m_parts;
    std::vector<std::vector<OrbitRecord>> m_out;
    std::vector<int> m_skipped;
    bool m_started = false;
    bool m_sized = false;
};

Failure fileFailure(const QString& path, const QString& why) {
    return Failure{BadFile, QStringLiteral("Файл орбит \"%1\" не прочитан: %2").arg(QDir::toNativeSeparators(path), why)};
}

/// The text of an orbit file read a block at a time, gunzipped on the way when the file is
/// gzip-compressed (several gzip members one after the other are one text).
class OrbitText {
  public:
    explicit OrbitText(const QString& path) : m_file(path) {}
    ~OrbitText() {
        if (m_gzip) inflateEnd(&m_z);
    }
    OrbitText(const OrbitText&) = delete;
    OrbitText& operator=(const OrbitText&) = delete;

    bool open() {
        if (!m_file.open(QIODevice::ReadOnly)) return false;
        char magic[2] = {};
        m_gzip = m_file.peek(magic, 2) == 2 && uchar(magic[0]) == 0x1f && uchar(magic[1]) == 0x8b;
        if (m_gzip && inflateInit2(&m_z, 15 + 32) != Z_OK) m_gzip = m_broken = true;
        if (m_gzip) m_in.resize(1 << 20);
        return true;
    }
    bool compressed() const { return m_gzip; }
    std::size_t fileSize() const { return std::size_t(m_file.size()); }
    std::size_t filePosition() const { return std::size_t(m_file.pos()); }

    /// Reads up to n bytes of text into to: how many, 0 at the end, -1 when the file is damaged.
    qint64 read(char* to, std::size_t n) {
        if (!m_gzip) return m_file.read(to, qint64(n));
        if (m_broken) return -1;
        m_z.next_out = reinterpret_cast<Bytef*>(to);
        m_z.avail_out = uInt(n);
        while (m_z.avail_out > 0) {
            if (m_z.avail_in == 0) {
                const qint64 got = m_file.read(m_in.data(), qint64(m_in.size()));
                if (got < 0) return fail();
                if (got == 0) break;
                m_z.next_in = reinterpret_cast<Bytef*>(m_in.data());
                m_z.avail_in = uInt(got);
            }
            m_ended = false;
            const int status = inflate(&m_z, Z_NO_FLUSH);
            if (status == Z_STREAM_END) {
                m_ended = true;
                if (inflateReset(&m_z) != Z_OK) return fail();
            } else if (status != Z_OK && status != Z_BUF_ERROR) {
                return fail();
            }
        }
        const qint64 produced = qint64(n - m_z.avail_out);
        // The file ended inside a member: the download was cut.
        if (produced == 0 && !m_ended) return fail();
        return produced;
    }

  private:
    qint64 fail() {
        m_broken = true;
        return -1;
    }

    QFile m_file;
    bool m_gzip = false;
    bool m_broken = false;
    bool m_ended = false; ///< the last member read so far is complete
    z_stream m_z{};
    std::vector<char> m_in;
};

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
    OrbitCatalogue c;
    LineParser parser(c, control, size);
    for (std::size_t at = 0; at < size;) {
        std::size_t cut = std::min(size, at + BlockBytes);
        if (cut < size) {
            const void* nl = std::memchr(data + cut, '\n', size - cut);
            cut = nl ? std::size_t(static_cast<const char*>(nl) - data) + 1 : size;
        }
        if (!parser.parse(data + at, data + cut, cut, size)) break;
        at = cut;
    }
    return c;
}

Outcome<OrbitCatalogue> readOrbitFile(const QString& path, JobControl* control) {
    OrbitText text(path);
    if (!text.open())
        return Failure{FileNotFound, QStringLiteral("Файл орбит \"%1\" не открывается").arg(QDir::toNativeSeparators(path))};
    OrbitCatalogue c;
    LineParser parser(c, control, text.compressed() ? 0 : text.fileSize());
    // One buffer for the whole file: a block, and the cut line it ended with carried to the
    // front of the next. A line longer than the buffer doubles it.
    std::vector<char> buffer(BlockBytes);
    std::size_t carried = 0;
    for (;;) {
        if (carried == buffer.size()) buffer.resize(buffer.size() * 2);
        const qint64 got = text.read(buffer.data() + carried, buffer.size() - carried);
        if (got < 0) return fileFailure(path, damagedReason());
        const char* begin = buffer.data();
        const char* end = begin + carried + std::size_t(got);
        const char* cut = end;
        if (got > 0) {
            while (cut > begin && cut[-1] != '\n')
                --cut;
        }
        if (!parser.parse(begin, cut, text.filePosition(), text.fileSize())) break;
        carried = std::size_t(end - cut);
        std::memmove(buffer.data(), cut, carried);
        if (got == 0) break;
    }
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
