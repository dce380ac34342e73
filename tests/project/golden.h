#pragma once

// The hand-made project files of tests/project/data and the state their lines describe.

#include "shell/sharedstate.h"
#include "support/files.h"

#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

namespace vorlan::test {

inline QString goldenPath(const QString& name) {
    return QStringLiteral(VORLAN_PROJECT_DATA "/") + name;
}

inline QByteArray goldenBytes(const QString& name) {
    return readFile(goldenPath(name));
}

/// The lines of a golden file, decoded by hand (the UTF-8 one is named so), split at any line end.
inline QStringList goldenLines(const QString& name) {
    const QByteArray bytes = goldenBytes(name);
    QString text = name.startsWith(QLatin1String("three")) ? QString::fromUtf8(bytes)
                                                           : QStringDecoder("windows-1251").decode(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty()) lines.removeLast();
    return lines;
}

/// Puts the values of a golden file's lines into the state as the table places them, star
/// lines turned from degrees x 10000 into radians ("no" reads 0).
inline void stateFromGolden(SharedState& s, const QStringList& l) {
    auto num = [&l](int line) { return line <= l.size() ? l[line - 1].trimmed().toFloat() : 0.0f; };
    for (int k = 1; k <= 3; ++k) {
        const int n = k == 1 ? 1 : k == 2 ? 9 : 27;
        if (n > l.size()) break;
        s.FileName(k) = l[n - 1];
        s.ImageTop(k) = num(n + 1);
        s.ImageLeft(k) = num(n + 2);
        s.Point1X(k) = num(n + 3);
        s.Point1Y(k) = num(n + 4);
        s.PictureWidth(k) = num(n + 5);
        s.PictureHeight(k) = num(n + 6);
        s.DisplayScale(k) = num(n + 7);
    }
    float* stars[] = {&s.StarRA1, &s.StarDec1, &s.StarRA2, &s.StarDec2};
    for (int i = 0; i < 4; ++i)
        *stars[i] = float(l[17 + i - 1].toDouble() / 57.2957795130823 / 10000);
    s.Point2X1 = num(21);
    s.Point2Y1 = num(22);
    s.Point2X2 = num(23);
    s.Point2Y2 = num(24);
    s.MarkScale1 = num(25);
    s.MarkScale2 = num(26);
}

} // namespace vorlan::test
