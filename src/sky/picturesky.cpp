#include "sky/picturesky.h"

#include "view/fitsimage.h"

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

SkyWcs HeaderWcs(const QString& picturePath) {
    return !picturePath.isEmpty() && isFitsFile(picturePath) ? SkyWcs::fromFitsFile(picturePath) : SkyWcs();
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
    if (!cards.isEmpty()) stored.solved = SkyWcs::fromHeaderText(cards.join(QLatin1Char('\n')));
    return stored;
}

ScaleHint SolveScaleHint(const PictureSky& sky, const QString& picturePath) {
    for (const SkyWcs* wcs : {&sky.solved, &sky.header}) {
        const ScaleHint hint = ScaleHintFromWcs(*wcs);
        if (hint.known()) return hint;
    }
    return !picturePath.isEmpty() && isFitsFile(picturePath) ? ScaleHintFromHeader(picturePath) : ScaleHint{};
}

} // namespace vorlan
