#include "report/designations.h"

#include <QRegularExpression>

namespace vorlan {

namespace {

constexpr char Base62[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr qint64 TildeStart = 620000;
constexpr qint64 LargestNumber = TildeStart + 62LL * 62 * 62 * 62 - 1;

int base62Value(QChar c) {
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'Z') return u - 'A' + 10;
    if (u >= 'a' && u <= 'z') return u - 'a' + 36;
    return -1;
}

/// A cycle count or comet order number 0..619 in two characters.
QString packCount(int count) {
    if (count < 0 || count > 619) return {};
    return QString(QChar(Base62[count / 10])) + QChar('0' + count % 10);
}

int unpackCount(QStringView two) {
    const int tens = base62Value(two[0]);
    if (tens < 0 || !two[1].isDigit()) return -1;
    return tens * 10 + two[1].digitValue();
}

QString packYear(int year) {
    if (year < 1800 || year > 2199) return {};
    return QString(QChar('I' + (year / 100 - 18))) + QString::number(year % 100).rightJustified(2, '0');
}

int unpackYear(QStringView three) {
    const QChar c = three[0];
    if (c < 'I' || c > 'L' || !three[1].isDigit() || !three[2].isDigit()) return -1;
    return (c.unicode() - 'I' + 18) * 100 + three.mid(1, 2).toInt();
}

bool halfMonthLetter(QChar c) {
    return c >= 'A' && c <= 'Y' && c != 'I';
}

const QRegularExpression& provisionalPattern() {
    static const QRegularExpression re(QStringLiteral("^(\\d{4}) ([A-HJ-Y])([A-HJ-Z])(\\d{0,3})$"));
    return re;
}

const QRegularExpression& surveyPattern() {
    static const QRegularExpression re(QStringLiteral("^(\\d{4}) (P-L|T-1|T-2|T-3)$"));
    return re;
}

/// "1995 O1", "1994 P1-B" (a comet's, without its type) to seven characters.
QString packCometProvisional(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^(\\d{4}) ([A-HJ-Y])(\\d{1,3})(?:-([A-Z]))?$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) return {};
    const QString year = packYear(m.captured(1).toInt());
    const QString order = packCount(m.captured(3).toInt());
    if (year.isEmpty() || order.isEmpty() || m.captured(3).toInt() == 0) return {};
    const QString fragment = m.captured(4).isEmpty() ? QStringLiteral("0") : m.captured(4).toLower();
    return year + m.captured(2) + order + fragment;
}

QString unpackCometProvisional(QStringView p) {
    if (p.size() != 7) return {};
    const int year = unpackYear(p.left(3));
    const int order = unpackCount(p.mid(4, 2));
    if (year < 0 || !halfMonthLetter(p[3]) || order <= 0) return {};
    QString text = QString::number(year) + ' ' + p[3] + QString::number(order);
    if (p[6] != '0') {
        if (!p[6].isLower()) return {};
        text += '-' + p[6].toUpper();
    }
    return text;
}

bool cometType(QChar c) {
    return QStringLiteral("CPDXIA").contains(c);
}

QString packMinorProvisional(const QString& text) {
    if (const QRegularExpressionMatch s = surveyPattern().match(text); s.hasMatch())
        return s.captured(2).remove('-') + 'S' +
               s.captured(1);
    const QRegularExpressionMatch m = provisionalPattern().match(text);
    if (!m.hasMatch()) return {};
    const QString year = packYear(m.captured(1).toInt());
    const QString cycle = packCount(m.captured(4).isEmpty() ? 0 : m.captured(4).toInt());
    if (year.isEmpty() || cycle.isEmpty()) return {};
    return year + m.captured(2) + cycle + m.captured(3);
}

QString unpackMinorProvisional(QStringView p) {
    if (p.size() != 7) return {};
    static const QRegularExpression survey(QStringLiteral("^(PL|T1|T2|T3)S(\\d{4})$"));
    if (const QRegularExpressionMatch s = survey.match(p.toString()); s.hasMatch()) {
        const QString kind = s.captured(1);
        return s.captured(2) + ' ' + (kind == "PL" ? QStringLiteral("P-L") : kind.left(1) + '-' + kind.mid(1));
    }
    const int year = unpackYear(p.left(3));
    const int cycle = unpackCount(p.mid(4, 2));
    if (year < 0 || !halfMonthLetter(p[3]) || cycle < 0 || !(p[6] >= 'A' && p[6] <= 'Z' && p[6] != 'I'))
        return {};
    return QString::number(year) + ' ' + p[3] + p[6] + (cycle > 0 ? QString::number(cycle) : QString());
}

} // namespace

QString packNumber(qint64 number) {
    if (number < 1 || number > LargestNumber) return {};
    if (number < 100000) return QString::number(number).rightJustified(5, '0');
    if (number < TildeStart)
        return QChar(Base62[number / 10000]) + QString::number(number % 10000).rightJustified(4, '0');
    qint64 rest = number - TildeStart;
    QString digits(4, '0');
    for (int i = 3; i >= 0; --i, rest /= 62)
        digits[i] = QChar(Base62[rest % 62]);
    return '~' + digits;
}

std::optional<qint64> unpackNumber(const QString& packed) {
    if (packed.size() != 5) return std::nullopt;
    qint64 value = 0;
    if (packed[0] == '~') {
        for (int i = 1; i < 5; ++i) {
            const int d = base62Value(packed[i]);
            if (d < 0) return std::nullopt;
            value = value * 62 + d;
        }
        return value + TildeStart;
    }
    const int lead = base62Value(packed[0]);
    if (lead < 0) return std::nullopt;
    for (int i = 1; i < 5; ++i) {
        if (!packed[i].isDigit()) return std::nullopt;
        value = value * 10 + packed[i].digitValue();
    }
    value += lead * 10000LL;
    return value > 0 ? std::optional<qint64>(value) : std::nullopt;
}

QString packDesignation(const QString& readable) {
    const QString text = readable.simplified();
    static const QRegularExpression number(QStringLiteral("^\\(?(\\d+)\\)?$"));
    if (const QRegularExpressionMatch m = number.match(text); m.hasMatch())
        return packNumber(m.captured(1).toLongLong());
    static const QRegularExpression numberedComet(QStringLiteral("^(\\d{1,4})([PDI])(?:/.*)?$"));
    if (const QRegularExpressionMatch m = numberedComet.match(text); m.hasMatch())
        return m.captured(1).rightJustified(4, '0') + m.captured(2);
    if (text.size() > 2 && text[1] == '/' && cometType(text[0])) {
        const QString p = packCometProvisional(text.mid(2));
        return p.isEmpty() ? QString() : text[0] + p;
    }
    return packMinorProvisional(text);
}

QString unpackDesignation(const QString& packed) {
    if (packed.size() == 5) {
        static const QRegularExpression numberedComet(QStringLiteral("^(\\d{4})([PDI])$"));
        if (const QRegularExpressionMatch m = numberedComet.match(packed); m.hasMatch())
            return QString::number(m.captured(1).toInt()) + m.captured(2);
        const std::optional<qint64> n = unpackNumber(packed);
        return n ? QStringLiteral("(%1)").arg(*n) : QString();
    }
    if (packed.size() == 8 && cometType(packed[0])) {
        const QString p = unpackCometProvisional(QStringView(packed).mid(1));
        return p.isEmpty() ? QString() : packed[0] + '/' + p;
    }
    return unpackMinorProvisional(packed);
}

QString reportDesignationColumns(const QString& packed) {
    if (unpackDesignation(packed).isEmpty()) return {};
    if (packed.size() == 5) return packed + QString(7, ' ');
    if (packed.size() == 8) return QString(4, ' ') + packed;
    return QString(5, ' ') + packed;
}

} // namespace vorlan
