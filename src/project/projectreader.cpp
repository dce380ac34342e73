#include "project/projectreader.h"

#include "common/numberforms.h"
#include "common/textcodec.h"
#include "common/vorlanerror.h"
#include "project/projectlayout.h"
#include "project/registrationline.h"
#include "project/serieslines.h"
#include "sky/fieldhelpers.h"
#include "sky/picturesky.h"
#include "sky/skymath.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <optional>

namespace vorlan {

namespace {

/// What a numeric line holds, which decides the values a window can take from it.
enum class Kind { Position, Point, Size, Scale, MarkScale, Star };

using namespace project;

/// Place of a line in its picture block (lines 1-8, 9-16, 27-34): 0 for the name line.
int blockOffset(int l) {
    return l - (l < line::Name2 ? line::Name1 : l < line::Name3 ? line::Name2 : line::Name3);
}

Kind kindOf(int l) {
    if (l >= line::StarRA1 && l < line::Point2X1) return Kind::Star;
    if (l >= line::Point2X1 && l < line::MarkScale1) return Kind::Point;
    if (l == line::MarkScale1 || l == line::MarkScale2) return Kind::MarkScale;
    switch (blockOffset(l)) {
    case Top:
    case Left:
        return Kind::Position;
    case Point1X:
    case Point1Y:
        return Kind::Point;
    case Width:
    case Height:
        return Kind::Size;
    default:
        return Kind::Scale;
    }
}

QString shortened(const QString& text) {
    return text.size() <= 40 ? text : text.left(40) + QStringLiteral("…");
}

/// A scale the scale bars can stand for: 0 (no picture yet) or from the bars' smallest step up.
/// A tiny positive scale would turn the next zoom's new / old ratio into infinity.
bool isScale(double v) {
    return v == 0 || (v >= project::SmallestScale && v <= project::LargestScale);
}

/// Walks the file's lines in the order the reader consumes them.
class LineCursor {
  public:
    LineCursor(ProjectRecord& record, QStringList lines) : r(record), m_lines(std::move(lines)) {}

    /// The next file line for table line `line`; none once the file has ended. Running past
    /// the end is reported once; later reads are skipped silently, as on a closed file.
    std::optional<QString> take(int line) {
        if (m_closed) return std::nullopt;
        if (m_next >= m_lines.size()) {
            m_closed = true;
            fail(line, ErrorNumber::PastEndOfFile, QStringLiteral("Чтение за концом файла"));
            return std::nullopt;
        }
        return m_lines[m_next++];
    }

    void name(int line) {
        const std::optional<QString> text = take(line);
        if (!text) return;
        ProjectLine& l = r.line[size_t(line)];
        l.taken = true;
        if (text->size() > project::LongestNameLine) {
            fail(line, ErrorNumber::InvalidValue,
                 QStringLiteral("Строка %1 слишком длинная для имени файла").arg(line));
            return; // counts as empty
        }
        l.text = *text;
    }

    void number(int line) {
        if (const std::optional<QString> text = take(line)) number(line, *text);
    }

    void number(int line, const QString& text) {
        ProjectLine& l = r.line[size_t(line)];
        l.taken = true;
        const Kind kind = kindOf(line);
        int failure = 0;
        double raw = 0;
        if (text.size() > project::LongestNumberLine) {
            failure = ErrorNumber::InvalidValue;
        } else {
            try {
                raw = LeadingNumber(text);
                failure = refusal(kind, raw);
            } catch (const VorlanError&) {
                failure = ErrorNumber::Overflow;
            }
        }
        if (failure == 0) {
            keep(line, kind, raw, text);
            m_lastNumber = raw;
            m_lastText = text;
            return;
        }
        fail(line, failure, damagedLineText(failure, line, text));
        // A line that cannot be read leaves the number of the last line that could; where that
        // number does not fit this line either, 0 stands in.
        if (refusal(kind, m_lastNumber) == 0)
            keep(line, kind, m_lastNumber, m_lastText);
        else
            keep(line, kind, 0, InvariantShortForm(0));
    }

  private:
    ProjectRecord& r;
    QStringList m_lines;
    qsizetype m_next = 0;
    bool m_closed = false;
    double m_lastNumber = 0;
    QString m_lastText;
    // Size of the picture whose block is being read, for the frame size its scale asks for.
    double m_width = 0;
    double m_height = 0;

    void fail(int line, int number, const QString& description) {
        r.errors.append({{number, description}, line, stepOfLine(line)});
    }

    /// 0 when a window can take raw for a line of this kind, else the error number.
    int refusal(Kind kind, double raw) const {
        if (!std::isfinite(raw) || std::fabs(raw) > double(FLT_MAX)) return ErrorNumber::Overflow;
        const double extent = project::LargestExtent;
        const bool fits = [&] {
            switch (kind) {
            case Kind::Position:
            case Kind::Point:
                return std::fabs(raw) <= extent;
            case Kind::Size:
                return raw >= 0 && raw <= extent;
            case Kind::Scale:
                return isScale(raw) && std::floor(m_width * raw) <= extent &&
                       std::floor(m_height * raw) <= extent;
            case Kind::MarkScale:
                return isScale(raw);
            case Kind::Star:
                return true;
            }
            return false;
        }();
        return fits ? 0 : ErrorNumber::InvalidValue;
    }

    void keep(int line, Kind kind, double raw, const QString& text) {
        ProjectLine& l = r.line[size_t(line)];
        l.text = text;
        l.value = kind == Kind::Star ? float(raw / sky::DegPerRad / 10000) : float(raw);
        if (kind == Kind::Size) (blockOffset(line) == Width ? m_width : m_height) = raw;
    }
};

} // namespace

QList<ProjectReadError> ProjectRecord::errorsOfStep(int step) const {
    QList<ProjectReadError> found;
    for (const ProjectReadError& e : errors)
        if (e.step == step) found.append(e);
    return found;
}

bool ProjectRecord::hasStarCoordinates() const {
    for (int l = line::StarRA1; l <= line::StarDec2; ++l)
        if (line[size_t(l)].value != 0) return true;
    return false;
}

QString damagedLineText(int number, int line, const QString& text, const QString& why) {
    const QString said = number == ErrorNumber::Overflow
                             ? QStringLiteral("Переполнение в строке %1: %2")
                             : QStringLiteral("Недопустимое значение в строке %1: %2");
    return said.arg(line).arg(shortened(text)) +
           (why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why));
}

namespace {

/// The extension lines of the keywords this program writes that cannot be read.
QList<ProjectReadError> damagedExtensionLines(const QStringList& lines) {
    QList<std::pair<int, Failure>> found;
    for (int i = 0; i < lines.size(); ++i)
        if (isRegistrationLine(lines[i]))
            if (const Outcome<RegistrationLine> r = readRegistrationLine(lines[i]); !r.ok())
                found.append({i, r.failure()});
    for (const DamagedSkyLine& d : DamagedProjectSkyLines(lines))
        found.append({d.index, d.failure});
    found += damagedSeriesLines(lines);
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<ProjectReadError> errors;
    for (const auto& [i, failure] : found) {
        const int fileLine = line::Last + 1 + i;
        errors.append({{failure.number, damagedLineText(failure.number, fileLine, lines[i], failure.reason)},
                       fileLine,
                       step::Extension});
    }
    return errors;
}

} // namespace

QStringList splitProjectLines(const QString& text, int maxLines) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n && lines.size() < maxLines; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) ++i;
        start = i + 1;
    }
    if (start < n && lines.size() < maxLines) lines.append(text.mid(start));
    return lines;
}

ProjectRecord readProjectRecord(const QByteArray& bytes) {
    ProjectRecord record;
    QString text = decodeText(bytes);
    // Editors on Windows put a byte-order mark before UTF-8 text.
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    QStringList lines = splitProjectLines(text, line::Last + LargestExtension);
    if (lines.size() > line::Last) {
        record.extensionLines = lines.mid(line::Last);
        lines.resize(line::Last);
    }
    LineCursor cursor(record, lines);

    auto pictureBlock = [&cursor](int k) {
        for (int l = nameLine(k) + 1; l <= nameLine(k) + BlockSize; ++l)
            cursor.number(l);
    };
    for (int k = 1; k <= 2; ++k) {
        cursor.name(nameLine(k));
        pictureBlock(k);
    }
    for (int l = line::StarRA1; l <= line::StarDec2; ++l)
        cursor.number(l);
    for (int k = 1; k <= 2; ++k) {
        const int xLine = point2XLine(k);
        const std::optional<QString> x = cursor.take(xLine);
        if (!x) continue;
        if (NumericTextFilter(*x).isEmpty()) {
            record.line[size_t(xLine)].taken = true;
            record.point2Cleared[size_t(k - 1)] = true;
            continue; // the y line stays for the next read
        }
        cursor.number(xLine, *x);
        cursor.number(xLine + 1);
    }
    cursor.number(line::MarkScale1);
    cursor.number(line::MarkScale2);
    cursor.name(line::Name3);
    if (!record.line[line::Name3].text.isEmpty()) pictureBlock(3);
    record.errors += damagedExtensionLines(record.extensionLines);
    return record;
}

QString projectErrorContext(int step) {
    if (step < project::step::SecondPictureContext || step >= project::step::Extension) return QString();
    if (step < project::step::ThirdPictureContext) return QStringLiteral("второго снимка нет! ");
    return QStringLiteral("третьего снимка нет! ");
}

QString projectFolderOf(const QString& path) {
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    return cut < 0 ? QString() : path.left(cut + 1);
}

QString findProjectPicture(const QString& folder, const QString& storedName) {
    const QString name = FileNamePart(storedName);
    const QString exact = folder + name;
    if (name.isEmpty() || QFileInfo(exact).isFile()) return exact;
    // A project written on Windows may name "M31.JPG" for the "m31.jpg" that lies here.
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    QString match;
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0) continue;
        if (!match.isEmpty()) return exact; // two candidates: neither is surely the one
        match = entry;
    }
    if (!match.isEmpty()) return folder + match;
    // The folder comes first, so that a folder of pictures moved together with its project keeps
    // opening; the stored path serves a project saved elsewhere than its pictures.
    if (QDir::isAbsolutePath(storedName) && QFileInfo(storedName).isFile()) return storedName;
    return exact;
}

} // namespace vorlan
