#include "common/textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace vorlan {

TextEncoding detectEncoding(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? TextEncoding::Windows1251 : TextEncoding::Utf8;
}

QString decodeText(const QByteArray& bytes) {
    if (detectEncoding(bytes) == TextEncoding::Utf8)
        return QString::fromUtf8(bytes);
    QStringDecoder cp1251("windows-1251");
    return cp1251.decode(bytes);
}

bool fitsWindows1251(const QString& text) {
    QStringEncoder cp1251("windows-1251");
    const QByteArray bytes = cp1251.encode(text);
    return !cp1251.hasError() && QStringDecoder("windows-1251").decode(bytes) == text;
}

QByteArray encodeText(const QString& text, TextEncoding encoding) {
    if (encoding == TextEncoding::Windows1251 && fitsWindows1251(text)) {
        QStringEncoder cp1251("windows-1251");
        return cp1251.encode(text);
    }
    return text.toUtf8();
}

QByteArray encodeText(const QString& text) {
    return encodeText(text, fitsWindows1251(text) ? TextEncoding::Windows1251 : TextEncoding::Utf8);
}

} // namespace vorlan
