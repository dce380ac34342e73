#include "sky/fieldhelpers.h"

#include <cmath>

namespace vorlan {

QString NumericTextFilter(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text.at(i);
        if (c == QLatin1Char(',')) c = QLatin1Char('.');
        // Anything outside ASCII has no code in 46..57 of the single-byte code page either.
        const bool pointSlashOrDigit = c.unicode() >= 46 && c.unicode() <= 57;
        if (i == 0 || pointSlashOrDigit) result += c;
    }
    return result;
}

double SafeLog10(double& x) {
    if (x <= 0) x = 1E-30;
    // The program's own, truncated log10(e): results must match what earlier versions measured.
    return std::log(x) * 0.434294482;
}

QString FileNamePart(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (path.at(i) == QLatin1Char('\\') || path.at(i) == QLatin1Char('/')) return path.mid(i + 1);
    }
    return path;
}

} // namespace vorlan
