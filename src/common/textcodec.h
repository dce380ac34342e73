#pragma once

#include <QByteArray>
#include <QString>

namespace vorlan {

/// How a text file's bytes are encoded.
enum class TextEncoding { Utf8, Windows1251 };

/// The encoding of existing file bytes: UTF-8 when they are valid UTF-8, else Windows-1251.
TextEncoding detectEncoding(const QByteArray& bytes);

/// Decodes file bytes: as UTF-8 when they are valid UTF-8, else as Windows-1251.
QString decodeText(const QByteArray& bytes);

/// Encodes text for a new file: Windows-1251 when every character fits, else UTF-8.
QByteArray encodeText(const QString& text);

/// Encodes text in the given encoding (Windows-1251 falls back to UTF-8 when a character does
/// not fit, so nothing is ever written as "?").
QByteArray encodeText(const QString& text, TextEncoding encoding);

/// True when every character of text has a Windows-1251 code.
bool fitsWindows1251(const QString& text);

} // namespace vorlan
