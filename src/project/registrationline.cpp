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

bool isRegistrationLine(const QString& line) {
    return line.startsWith(Keyword + QLatin1Char(' '));
}

Outcome<RegistrationLine> readRegistrationLine(const QString& line) {
    auto refused = [](const QString& why, int number = ErrorNumber::InvalidValue) {
        return Failure{number, why};
    };
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 6 || words[0] != Keyword) return refused(QStringLiteral("строка обрезана"));
    if (words.size() > 7) return refused(QStringLiteral("лишние слова"));
    RegistrationLine r;
    if (words[1] == QLatin1String("2:"))
        r.picture = 2;
    else if (words[1] == QLatin1String("3:"))
        r.picture = 3;
    else
        return refused(QStringLiteral("снимка «%1» нет, есть 2: и 3:").arg(words[1].left(20)));
    double v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = words[2 + i].toDouble(&ok);
        if (!ok) return refused(QStringLiteral("«%1» не число").arg(words[2 + i].left(20)));
        if (!std::isfinite(v[i]) || std::abs(v[i]) > 1e9)
            return refused(QStringLiteral("число %1 недопустимо").arg(words[2 + i].left(20)),
                           ErrorNumber::Overflow);
    }
    if (words.size() == 7 && words[6] != Mirrored)
        return refused(QStringLiteral("«%1» вместо «%2»").arg(words[6].left(20), Mirrored));
    r.toPicture1 = {v[0], v[1], v[2], v[3], words.size() == 7};
    const double scale = r.toPicture1.scale();
    if (!(scale >= 0.01 && scale <= 100))
        return refused(QStringLiteral("масштаб %1 вне 0.01 … 100").arg(scale, 0, 'g', 3));
    return r;
}

QList<RegistrationLine> readRegistrationLines(const QStringList& extensionLines) {
    QList<RegistrationLine> found;
    for (const QString& line : extensionLines) {
        if (!isRegistrationLine(line)) continue;
        const Outcome<RegistrationLine> r = readRegistrationLine(line);
        if (!r.ok()) continue;
        found.removeIf([&r](const RegistrationLine& old) { return old.picture == r.value().picture; });
        found.append(r.value());
    }
    return found;
}

} // namespace vorlan
