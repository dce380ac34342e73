#include "project/serieslines.h"

#include "common/errornumber.h"

#include <QLocale>
#include <cmath>

namespace vorlan {

namespace {

const QString SeriesKey = QStringLiteral("Серия:");
const QString FrameKey = QStringLiteral("Кадр ");
const QString ReasonKey = QStringLiteral("Причина ");
const QString MotionKey = QStringLiteral("Движение серии:");
const QString Taken = QStringLiteral("взят"), Dropped = QStringLiteral("снят"),
              Failed = QStringLiteral("брак");
const QString Upright = QStringLiteral("прямо"), Mirrored = QStringLiteral("зеркально");
const QString ByStars = QStringLiteral("звёзды"), BySky = QStringLiteral("небо");
const QString Mean = QStringLiteral("среднее"), Median = QStringLiteral("медиана");
const QString ForAll = QStringLiteral("все");
const QString None = QStringLiteral("-");
constexpr int FrameFields = 14; ///< the words of a frame line between its number and its path

/// The fewest digits that give the same double back: the stacks made again are the same.
QString number(double v) {
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString timeText(const std::optional<QDateTime>& t) {
    return t ? t->toUTC().toString(Qt::ISODateWithMs) : None;
}

/// Why a line cannot be read; the reader stops at the first such word.
struct Refusal {
    Failure failure;
};

Refusal refused(const QString& why, int number = ErrorNumber::InvalidValue) {
    return {{number, why}};
}

double numberOf(const QString& word, double lo, double hi) {
    bool ok = false;
    const double v = word.toDouble(&ok);
    if (!ok) throw refused(QStringLiteral("«%1» не число").arg(word.left(20)));
    if (!std::isfinite(v) || v < lo || v > hi)
        throw refused(QStringLiteral("число %1 недопустимо").arg(word.left(20)), ErrorNumber::Overflow);
    return v;
}

int wholeOf(const QString& word, int lo, int hi) {
    const double v = numberOf(word, lo, hi);
    if (v != std::floor(v)) throw refused(QStringLiteral("«%1» не целое").arg(word.left(20)));
    return int(v);
}

QString oneOf(const QString& word, const QStringList& allowed) {
    if (!allowed.contains(word))
        throw refused(
            QStringLiteral("«%1» вместо «%2»").arg(word.left(20), allowed.join(QStringLiteral("», «"))));
    return word;
}

/// The words of a line after its keyword; the last `rest` words when asked for as one.
QStringList wordsAfter(const QString& line, const QString& key, int count, bool rest = false) {
    QString tail = line.mid(key.size()).trimmed();
    QStringList words;
    while (words.size() < count - (rest ? 1 : 0)) {
        const qsizetype blank = tail.indexOf(QLatin1Char(' '));
        if (tail.isEmpty()) throw refused(QStringLiteral("строка обрезана"));
        words << tail.left(blank < 0 ? tail.size() : blank);
        tail = blank < 0 ? QString() : tail.mid(blank + 1).trimmed();
    }
    if (rest) {
        if (tail.isEmpty()) throw refused(QStringLiteral("строка обрезана"));
        words << tail;
    } else if (!tail.isEmpty()) {
        throw refused(QStringLiteral("лишние слова"));
    }
    return words;
}

/// "N:" of a frame or reason line: a frame number from 1 to count.
int frameNumber(const QString& word, int count) {
    if (!word.endsWith(QLatin1Char(':'))) throw refused(QStringLiteral("нет двоеточия после номера"));
    return wholeOf(word.chopped(1), 1, count);
}

SeriesFrame readFrame(const QStringList& w) {
    SeriesFrame f;
    const QString state = oneOf(w[1], {Taken, Dropped, Failed});
    if (w[2] != None) {
        const QDateTime t = QDateTime::fromString(w[2], Qt::ISODateWithMs);
        if (!t.isValid()) throw refused(QStringLiteral("«%1» не время").arg(w[2].left(30)));
        f.midTime = t.toUTC();
    }
    f.exposureSeconds = numberOf(w[3], 0, 1e6);
    f.size = QSize(wholeOf(w[4], 0, 1 << 20), wholeOf(w[5], 0, 1 << 20));
    f.stars = wholeOf(w[6], 0, 1 << 30);
    f.matched = wholeOf(w[7], 0, 1 << 30);
    f.residualPixels = numberOf(w[8], 0, 1e9);
    f.leftOut = state != Taken;
    if (state == Failed) {
        for (int i = 9; i < FrameFields + 1; ++i)
            if (w[i] != None) throw refused(QStringLiteral("у брака нет совмещения"));
    } else {
        SimilarityTransform t{numberOf(w[9], -1e9, 1e9), numberOf(w[10], -1e9, 1e9),
                              numberOf(w[11], -1e9, 1e9), numberOf(w[12], -1e9, 1e9),
                              oneOf(w[13], {Upright, Mirrored}) == Mirrored};
        if (!(t.scale() >= 0.01 && t.scale() <= 100))
            throw refused(QStringLiteral("масштаб %1 вне 0.01 … 100").arg(t.scale(), 0, 'g', 3));
        if (f.size.isEmpty()) throw refused(QStringLiteral("у совмещённого кадра нет размера"));
        f.toReference = t;
        f.bySky = oneOf(w[14], {ByStars, BySky}) == BySky;
    }
    f.path = w[15];
    return f;
}

/// Reads every series line once: what they hold and which of them cannot be read.
struct SeriesReading {
    std::optional<StoredSeries> series;
    QList<std::pair<int, Failure>> damaged;
    bool headed = false;

    explicit SeriesReading(const QStringList& lines) {
        StoredSeries s;
        int reference = 0, headerLine = -1;
        for (int i = 0; i < lines.size(); ++i) {
            const QString& line = lines[i];
            try {
                if (line.startsWith(SeriesKey)) {
                    const QStringList w = wordsAfter(line, SeriesKey, 3);
                    reference = wholeOf(w[0], 1, 1 << 20);
                    s.groups = wholeOf(w[1], 1, 3);
                    s.combine = oneOf(w[2], {Mean, Median}) == Median ? StackCombine::Median
                                                                      : StackCombine::ClippedMean;
                    headed = true;
                    headerLine = i;
                } else if (line.startsWith(FrameKey)) {
                    QStringList w = wordsAfter(line, FrameKey, FrameFields + 2, true);
                    if (frameNumber(w[0], 1 << 20) != s.registration.frames.size() + 1)
                        throw refused(QStringLiteral("кадры идут не по порядку"));
                    s.registration.frames.append(readFrame(w));
                } else if (line.startsWith(ReasonKey)) {
                    const QStringList w = wordsAfter(line, ReasonKey, 2, true);
                    const int n = frameNumber(w[0], int(s.registration.frames.size()));
                    s.registration.frames[n - 1].reason = w[1];
                } else if (line.startsWith(MotionKey)) {
                    const QStringList w = wordsAfter(line, MotionKey, 3);
                    s.motion = SeriesMotion{numberOf(w[0], 0, 1e6), numberOf(w[1], -360, 360)};
                    s.motionForAll = oneOf(w[2], {QStringLiteral("3"), ForAll}) == ForAll;
                }
            } catch (const Refusal& r) {
                damaged.append({i, r.failure});
            }
        }
        if (!headed || !damaged.isEmpty()) return;
        if (reference > s.registration.frames.size() || !s.registration.frames[reference - 1].toReference) {
            damaged.append(
                {headerLine,
                 {ErrorNumber::InvalidValue, QStringLiteral("опорный кадр %1 не совмещён").arg(reference)}});
            return;
        }
        s.registration.reference = reference - 1;
        series = s;
    }
};

} // namespace

QStringList seriesLines(const StoredSeries& series) {
    const SeriesRegistration& r = series.registration;
    QStringList lines{QStringLiteral("%1 %2 %3 %4")
                          .arg(SeriesKey)
                          .arg(r.reference + 1)
                          .arg(series.groups)
                          .arg(series.combine == StackCombine::Median ? Median : Mean)};
    for (int i = 0; i < r.frames.size(); ++i) {
        const SeriesFrame& f = r.frames[i];
        QStringList w{QStringLiteral("%1%2:").arg(FrameKey).arg(i + 1),
                      !f.toReference ? Failed
                      : f.leftOut    ? Dropped
                                     : Taken,
                      timeText(f.midTime),
                      number(f.exposureSeconds),
                      QString::number(std::max(0, f.size.width())),
                      QString::number(std::max(0, f.size.height())),
                      QString::number(f.stars),
                      QString::number(f.matched),
                      number(f.residualPixels)};
        if (const std::optional<SimilarityTransform>& t = f.toReference)
            w << number(t->a) << number(t->b) << number(t->tx) << number(t->ty)
              << (t->mirrored ? Mirrored : Upright) << (f.bySky ? BySky : ByStars);
        else
            w << None << None << None << None << None << None;
        lines << w.join(QLatin1Char(' ')) + QLatin1Char(' ') + f.path;
        if (!f.toReference) lines << QStringLiteral("%1%2: %3").arg(ReasonKey).arg(i + 1).arg(f.reason);
    }
    if (series.motion)
        lines << QStringLiteral("%1 %2 %3 %4")
                     .arg(MotionKey, number(series.motion->pixelsPerHour),
                          number(series.motion->directionDegrees),
                          series.motionForAll ? ForAll : QStringLiteral("3"));
    return lines;
}

std::optional<StoredSeries> readSeriesLines(const QStringList& extensionLines) {
    return SeriesReading(extensionLines).series;
}

QList<std::pair<int, Failure>> damagedSeriesLines(const QStringList& extensionLines) {
    return SeriesReading(extensionLines).damaged;
}

} // namespace vorlan
