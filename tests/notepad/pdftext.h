#pragma once

// Reads back the text lines of a PDF written by Qt's PDF engine, so that a print test can check
// what reached the page without a PDF library. Qt writes one BT..ET block per drawn line, each
// glyph as "<gid> Tj" in a deflated content stream, and a ToUnicode map from glyph ids to
// characters ("beginbfrange" entries, some with an array of targets).

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <QtEndian>

namespace vorlan::test {

inline QList<QByteArray> pdfStreams(const QByteArray& pdf) {
    QList<QByteArray> out;
    static const QRegularExpression stream(QStringLiteral("stream\\r?\\n(.*?)endstream"),
                                           QRegularExpression::DotMatchesEverythingOption);
    // Latin-1 keeps one character a byte, so offsets carry over to the raw bytes.
    const QString text = QString::fromLatin1(pdf);
    for (auto m = stream.globalMatch(text); m.hasNext();) {
        const QByteArray raw = m.next().captured(1).toLatin1();
        if (!raw.startsWith('\x78')) { // not a zlib stream
            out << raw;
            continue;
        }
        QByteArray sized(4, '\0');
        qToBigEndian<quint32>(quint32(raw.size() * 20 + 1024), sized.data());
        out << qUncompress(sized + raw);
    }
    return out;
}

inline QStringList pdfTextLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> streams = pdfStreams(f.readAll());
    QHash<uint, QString> toUnicode;
    static const QRegularExpression range(
        QStringLiteral("<([0-9A-Fa-f]+)>\\s*<([0-9A-Fa-f]+)>\\s*(?:\\[([^\\]]*)\\]|<([0-9A-Fa-f]+)>)"));
    static const QRegularExpression hex(QStringLiteral("<([0-9A-Fa-f]+)>"));
    for (const QByteArray& s : streams) {
        const QString text = QString::fromLatin1(s);
        const qsizetype begin = text.indexOf(QStringLiteral("beginbfrange"));
        if (begin < 0)
            continue;
        const QString body = text.mid(begin, text.indexOf(QStringLiteral("endbfrange")) - begin);
        for (auto m = range.globalMatch(body); m.hasNext();) {
            const auto r = m.next();
            const uint from = r.captured(1).toUInt(nullptr, 16), to = r.captured(2).toUInt(nullptr, 16);
            if (!r.captured(3).isEmpty()) {
                uint gid = from;
                for (auto t = hex.globalMatch(r.captured(3)); t.hasNext() && gid <= to; ++gid)
                    toUnicode[gid] = QChar(char16_t(t.next().captured(1).toUInt(nullptr, 16)));
            } else {
                for (uint gid = from, u = r.captured(4).toUInt(nullptr, 16); gid <= to; ++gid, ++u)
                    toUnicode[gid] = QChar(char16_t(u));
            }
        }
    }
    QStringList lines;
    static const QRegularExpression block(QStringLiteral("BT(.*?)ET"), QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression glyph(QStringLiteral("<([0-9A-Fa-f]+)>\\s*Tj"));
    for (const QByteArray& s : streams) {
        for (auto b = block.globalMatch(QString::fromLatin1(s)); b.hasNext();) {
            QString line;
            const QString body = b.next().captured(1);
            for (auto g = glyph.globalMatch(body); g.hasNext();) {
                const QString ids = g.next().captured(1);
                for (qsizetype i = 0; i + 4 <= ids.size(); i += 4)
                    line += toUnicode.value(ids.mid(i, 4).toUInt(nullptr, 16), QStringLiteral("?"));
            }
            // Qt's font subset maps the blank glyph to a tab in its ToUnicode table.
            lines << line.replace(u'\t', u' ');
        }
    }
    return lines;
}

} // namespace vorlan::test
