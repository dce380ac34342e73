#include "common/numberforms.h"

#include "common/vorlanerror.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace vorlan {

double Int(double v) { return std::floor(v); }

double Fix(double v) { return std::trunc(v); }

int64_t RoundHalfEven(double v) {
    // rint follows the current rounding mode, which is round-to-nearest-even unless someone
    // changed it; nothing in the program does.
    const double r = std::rint(v);
    if (!std::isfinite(r) || r < -9.2e18 || r > 9.2e18)
        throw overflowError();
    return static_cast<int64_t>(r);
}

int16_t RoundToInt16(double v) {
    const int64_t r = RoundHalfEven(v);
    if (r < std::numeric_limits<int16_t>::min() || r > std::numeric_limits<int16_t>::max())
        throw overflowError();
    return static_cast<int16_t>(r);
}

int32_t RoundToInt32(double v) {
    const int64_t r = RoundHalfEven(v);
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
        throw overflowError();
    return static_cast<int32_t>(r);
}

QString localeDecimalSeparator() { return QLocale().decimalPoint(); }

QString PatternForm(double v, const QString& pattern) {
    const int point = pattern.indexOf(QLatin1Char('.'));
    const int intDigits = int((point < 0 ? pattern : pattern.left(point)).count(QLatin1Char('0')));
    const int decimals = point < 0 ? 0 : int(pattern.mid(point + 1).count(QLatin1Char('0')));

    // Half away from zero on the decimal value: 59.95 with one decimal shows as 60.0.
    const double scaled = std::floor(std::fabs(v) * std::pow(10.0, decimals) + 0.5);
    QString digits = QString::number(scaled, 'f', 0);
    if (digits.size() < decimals + 1)
        digits = QString(decimals + 1 - digits.size(), QLatin1Char('0')) + digits;
    QString whole = digits.left(digits.size() - decimals);
    const QString fraction = digits.right(decimals);
    if (whole.size() < intDigits)
        whole = QString(intDigits - whole.size(), QLatin1Char('0')) + whole;
    if (intDigits == 0 && whole == QLatin1String("0"))
        whole.clear();

    QString text = whole;
    if (decimals > 0)
        text += localeDecimalSeparator() + fraction;
    if (v < 0 && scaled != 0)
        text.prepend(QLatin1Char('-'));
    return text;
}

namespace {

// Shortest general form with the given significant digits, "." as point, "E+08" exponents.
QString generalDigits(double v, int significant) {
    QString s = QString::number(v, 'g', significant);
    const int e = s.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        QString mantissa = s.left(e);
        QString exponent = s.mid(e + 1);
        QChar sign = QLatin1Char('+');
        if (exponent.startsWith(QLatin1Char('-')) || exponent.startsWith(QLatin1Char('+'))) {
            sign = exponent.at(0);
            exponent = exponent.mid(1);
        }
        while (exponent.size() < 2)
            exponent.prepend(QLatin1Char('0'));
        s = mantissa + QLatin1Char('E') + sign + exponent;
    }
    return s;
}

} // namespace

QString InvariantShortForm(float v) {
    if (v == 0.0f)
        return QStringLiteral(" 0");
    QString s = generalDigits(double(v), 7);
    if (s.startsWith(QLatin1String("0.")))
        s.remove(0, 1);
    else if (s.startsWith(QLatin1String("-0.")))
        s.remove(1, 1);
    if (v >= 0)
        s.prepend(QLatin1Char(' '));
    return s;
}

QString LocaleForm(double v) {
    QString s = generalDigits(v == 0.0 ? 0.0 : v, 15);
    return s.replace(QLatin1Char('.'), localeDecimalSeparator());
}

QString GeneralForm(float v) {
    QString s = generalDigits(v == 0.0f ? 0.0 : double(v), 7);
    return s.replace(QLatin1Char('.'), localeDecimalSeparator());
}

double LeadingNumber(const QString& text) {
    int i = 0;
    const int n = int(text.size());
    // Each takes what it reads from `at` on into `into` and moves `at` past it.
    auto takeSign = [&](QByteArray& into, int& at) {
        if (at < n && (text[at] == QLatin1Char('+') || text[at] == QLatin1Char('-')))
            into += char(text[at++].unicode());
    };
    auto takeDigits = [&](QByteArray& into, int& at) { // true when there was a digit
        const int from = at;
        while (at < n && text[at].isDigit() && text[at].unicode() < 128)
            into += char(text[at++].unicode());
        return at > from;
    };
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    QByteArray number;
    takeSign(number, i);
    bool anyDigit = takeDigits(number, i);
    if (i < n && text[i] == QLatin1Char('.')) {
        number += '.';
        ++i;
        anyDigit = takeDigits(number, i) || anyDigit;
    }
    if (!anyDigit)
        return 0.0;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        int j = i + 1;
        QByteArray exponent = "e";
        takeSign(exponent, j);
        if (takeDigits(exponent, j)) number += exponent;
    }
    return checkedFinite(std::strtod(number.constData(), nullptr));
}

} // namespace vorlan
