#include "sky/picturesky.h"

#include "view/fitsimage.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace vorlan {

namespace {

const QString LinePrefix = QStringLiteral("WCS1 ");
const QString SourceKey = QStringLiteral("SOURCE ");
const QString CardKey = QStringLiteral("CARD ");

/// The words a project names the sources by; the order of SkySource.
const char* const SourceWords[] = {"none", "header", "solved", "stars"};

} // namespace

QString SkySourceLine(SkySource source) {
    switch (source) {
    case SkySource::HeaderWcs:
        return QStringLiteral("координаты: WCS из файла\r\n");
    case SkySource::SolvedWcs:
        return QStringLiteral("координаты: решение по звёздам\r\n");
    case SkySource::TwoStars:
        return QStringLiteral("координаты: по двум звёздам\r\n");
    case SkySource::None:
        break;
    }
    return QString();
}

const SkyWcs* PictureSky::wcsInForce() const {
    const SkyWcs* wcs = source == SkySource::HeaderWcs   ? &header
                        : source == SkySource::SolvedWcs ? &solved
                                                         : nullptr;
    return wcs && wcs->isValid() ? wcs : nullptr;
}

QString PictureSky::catalogue() const {
    const SkyWcs* wcs = wcsInForce();
    return wcs ? wcs->catalogue() : QString();
}

Outcome<SkyWcs> ReadHeaderWcs(const QString& picturePath) {
    if (picturePath.isEmpty() || !isFitsFile(picturePath))
        return Failure{SkyWcs::NoWcsNumber, QStringLiteral("не файл FITS")};
    return SkyWcs::fromFitsFile(picturePath);
}

SkyWcs HeaderWcs(const QString& picturePath) {
    return ReadHeaderWcs(picturePath).valueOr(SkyWcs());
}

QStringList ProjectSkyLines(const PictureSky& sky) {
    if (!sky.header.isValid() && !sky.solved.isValid()) return {};
    QStringList lines{LinePrefix + SourceKey + QLatin1String(SourceWords[int(sky.source)])};
    if (sky.solved.isValid())
        for (const QString& card : sky.solved.toHeaderText().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            lines << LinePrefix + CardKey + card;
    return lines;
}

StoredSky ReadProjectSkyLines(const QStringList& extensionLines) {
    StoredSky stored;
    QStringList cards;
    for (const QString& line : extensionLines) {
        if (!line.startsWith(LinePrefix)) continue;
        const QString rest = line.mid(LinePrefix.size());
        if (rest.startsWith(CardKey)) {
            cards << rest.mid(CardKey.size());
        } else if (rest.startsWith(SourceKey)) {
            const QString word = rest.mid(SourceKey.size()).trimmed();
            for (int i = 0; i < int(std::size(SourceWords)); ++i)
                if (word == QLatin1String(SourceWords[i])) {
                    stored.present = true;
                    stored.source = SkySource(i);
                }
        }
    }
    if (!cards.isEmpty())
        stored.solved = SkyWcs::fromHeaderText(cards.join(QLatin1Char('\n'))).valueOr(SkyWcs());
    return stored;
}

namespace {

/// Why one header card cannot be part of a WCS; empty when it can. Values are what wcslib reads:
/// a quoted text, T or F, or a finite number of sane size.
QString cardDamage(const QString& card, int& number) {
    static const QRegularExpression keyword(QStringLiteral("^[A-Z0-9_-]{1,8} *$"));
    number = ErrorNumber::InvalidValue;
    // Commentary cards carry no value; a solver's note of its catalogue index is one of them.
    if (card.startsWith(QLatin1String("COMMENT ")) || card.startsWith(QLatin1String("HISTORY "))) return QString();
    if (card.size() < 10 || card.mid(8, 2) != QLatin1String("= ") || !keyword.match(card.left(8)).hasMatch())
        return QStringLiteral("карточка обрезана или без значения");
    const QString rest = card.mid(10).trimmed();
    if (rest.startsWith(QLatin1Char('\''))) {
        return rest.indexOf(QLatin1Char('\''), 1) > 0 ? QString() : QStringLiteral("текст без конца");
    }
    const QString value = rest.section(QLatin1Char('/'), 0, 0).trimmed();
    if (value.isEmpty()) return QStringLiteral("карточка обрезана или без значения");
    if (value == QLatin1String("T") || value == QLatin1String("F")) return QString();
    bool ok = false;
    const double v = QString(value).replace(QLatin1Char('D'), QLatin1Char('E')).toDouble(&ok);
    if (!ok) return QStringLiteral("«%1» не число").arg(value.left(20));
    // No WCS number comes near this: degrees, pixels, and distortion terms far below 1.
    if (!std::isfinite(v) || std::fabs(v) > 1e15) {
        number = ErrorNumber::Overflow;
        return QStringLiteral("число %1 недопустимо").arg(value.left(20));
    }
    return QString();
}

} // namespace

QList<DamagedSkyLine> DamagedProjectSkyLines(const QStringList& extensionLines) {
    QList<DamagedSkyLine> damaged;
    QStringList cards;
    int firstCard = -1;
    for (int i = 0; i < extensionLines.size(); ++i) {
        const QString& line = extensionLines[i];
        if (!line.startsWith(LinePrefix)) continue;
        const QString rest = line.mid(LinePrefix.size());
        int number = ErrorNumber::InvalidValue;
        QString why;
        if (rest.startsWith(CardKey)) {
            why = cardDamage(rest.mid(CardKey.size()), number);
            cards << rest.mid(CardKey.size());
            if (firstCard < 0) firstCard = i;
        } else if (rest.startsWith(SourceKey)) {
            const QString word = rest.mid(SourceKey.size()).trimmed();
            if (std::none_of(std::begin(SourceWords), std::end(SourceWords),
                             [&word](const char* w) { return word == QLatin1String(w); }))
                why = QStringLiteral("источник координат «%1» неизвестен").arg(word.left(20));
        } else {
            why = QStringLiteral("после «%1» нет ни SOURCE, ни CARD").arg(LinePrefix.trimmed());
        }
        if (!why.isEmpty()) damaged.append({i, {number, why}});
    }
    if (!damaged.isEmpty() || cards.isEmpty()) return damaged;
    const Outcome<SkyWcs> read = SkyWcs::fromHeaderText(cards.join(QLatin1Char('\n')));
    const SkyWcs wcs = read.valueOr(SkyWcs());
    const double scale = wcs.arcsecPerPixel();
    if (!read.ok())
        damaged.append(
            {firstCard, {ErrorNumber::InvalidValue, QStringLiteral("WCS не читается: ") + read.reason()}});
    else if (wcs.width() > 0 && wcs.height() > 0 && !(scale >= 1e-3 && scale <= 36000))
        damaged.append({firstCard,
                        {ErrorNumber::InvalidValue,
                         QStringLiteral("масштаб WCS %1″ на пиксель невозможен").arg(scale, 0, 'g', 3)}});
    return damaged;
}

ScaleHint SolveScaleHint(const PictureSky& sky, const QString& picturePath) {
    for (const SkyWcs* wcs : {&sky.solved, &sky.header}) {
        const ScaleHint hint = ScaleHintFromWcs(*wcs);
        if (hint.known()) return hint;
    }
    return !picturePath.isEmpty() && isFitsFile(picturePath) ? ScaleHintFromHeader(picturePath) : ScaleHint{};
}

} // namespace vorlan
