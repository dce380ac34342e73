#include "project/registrationline.h"

#include <cmath>

namespace vorlan {

namespace {

const QString Keyword = QStringLiteral("Совмещение");
const QString Mirrored = QStringLiteral("зеркально");

QString number(double v) {
    return QString::number(v, 'g', 12);
}

} // namespace

QString registrationLine(int picture, const SimilarityTransform& toPicture1) {
    const SimilarityTransform& t = toPicture1;
    QString line = QStringLiteral("%1 %2: %3 %4 %5 %6")
                       .arg(Keyword)
                       .arg(picture)
                       .arg(number(t.a), number(t.b), number(t.tx), number(t.ty));
    if (t.mirrored) line += QLatin1Char(' ') + Mirrored;
    return line;
}

std::optional<RegistrationLine> readRegistrationLine(const QString& line) {
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 6 || words.size() > 7 || words[0] != Keyword) return std::nullopt;
    RegistrationLine r;
    if (words[1] == QLatin1String("2:"))
        r.picture = 2;
    else if (words[1] == QLatin1String("3:"))
        r.picture = 3;
    else
        return std::nullopt;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = words[2 + i].toDouble(&ok);
        if (!ok || !std::isfinite(v[i]) || std::abs(v[i]) > 1e9) return std::nullopt;
    }
    if (words.size() == 7 && words[6] != Mirrored) return std::nullopt;
    r.toPicture1 = {v[0], v[1], v[2], v[3], words.size() == 7};
    const double scale = r.toPicture1.scale();
    if (!(scale >= 0.01 && scale <= 100)) return std::nullopt;
    return r;
}

QList<RegistrationLine> readRegistrationLines(const QStringList& extensionLines) {
    QList<RegistrationLine> found;
    for (const QString& line : extensionLines) {
        const std::optional<RegistrationLine> r = readRegistrationLine(line);
        if (!r) continue;
        found.removeIf([&r](const RegistrationLine& old) { return old.picture == r->picture; });
        found.append(*r);
    }
    return found;
}

} // namespace vorlan
