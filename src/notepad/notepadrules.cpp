#include "notepad/notepadrules.h"

#include "common/fileerror.h"
#include "common/textcodec.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>

namespace vorlan {

const QString TooLargeMarker = QStringLiteral("Файл слишком большой !!! Загружен не полностью !!!\r\n");

namespace {

struct FontStepRow {
    float size, larger, smaller;
};

constexpr FontStepRow FontSteps[] = {
    {6.0f, 8.25f, 6.0f},    {8.25f, 9.75f, 8.25f}, {9.75f, 12.0f, 8.25f}, {12.0f, 13.5f, 9.75f},
    {13.5f, 18.0f, 12.0f}, {18.0f, 24.0f, 13.5f}, {24.0f, 24.0f, 18.0f},
};

// Of a too large file only its head is decoded; 256 KiB hold more than the 32000 characters
// kept even when every character takes four bytes of UTF-8.
constexpr qint64 HeadBytes = 256 * 1024;
constexpr int KeptCharacters = 32000;

/// Drops a UTF-8 sequence that the end of a file's head cut in two, so that a UTF-8 head is
/// still recognised as UTF-8.
void dropCutSequence(QByteArray& bytes) {
    qsizetype lead = bytes.size() - 1;
    while (lead >= 0 && bytes.size() - lead <= 3 && (uchar(bytes[lead]) & 0xC0) == 0x80)
        --lead;
    if (lead < 0 || uchar(bytes[lead]) < 0xC0)
        return;
    const uchar b = uchar(bytes[lead]);
    const qsizetype length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    if (bytes.size() - lead < length)
        bytes.truncate(lead);
}

bool isAscii(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

} // namespace

float NotepadFontSize(float txtWidthTwips) {
    if (txtWidthTwips >= 8000)
        return 9.75f;
    // A very narrow window would otherwise ask for a size of 0 or less.
    return std::max(1.0f, 9.75f - (8000 - txtWidthTwips) / 1000);
}

NotepadFont NotepadFontStep(NotepadFont font, bool larger) {
    for (const FontStepRow& row : FontSteps) {
        if (row.size == font.size) {
            font.size = larger ? row.larger : row.smaller;
            break;
        }
    }
    if (larger && font.size > 13)
        font.bold = true;
    if (!larger && font.size < 13)
        font.bold = false;
    return font;
}

QString NotepadTextFromBytes(const QByteArray& bytes, bool truncated) {
    const QString decoded = decodeText(bytes);
    QString text;
    text.reserve(decoded.size() + decoded.size() / 16);
    qsizetype start = 0;
    const qsizetype n = decoded.size();
    // Lines end at CR LF, LF or CR, so files from any system open as lines.
    for (qsizetype i = 0; i <= n; ++i) {
        if (i < n && decoded[i] != u'\r' && decoded[i] != u'\n')
            continue;
        if (i == n && start == n)
            break;
        text += QStringView(decoded).mid(start, i - start);
        text += u"\r\n";
        if (i < n && decoded[i] == u'\r' && i + 1 < n && decoded[i + 1] == u'\n')
            ++i;
        start = i + 1;
        // A file saved from a cut text begins with the marker line; it is still read whole,
        // because the marker only ever stops a read that this program cut itself.
    }
    if (truncated)
        text = TooLargeMarker + text.left(KeptCharacters);
    return text;
}

NotepadFileText ReadNotepadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {false, {}, file.errorString()};
    // Read one byte past the limit rather than trusting size(): devices and pipes report 0.
    QByteArray bytes = file.read(NotepadFileLimit + 1);
    if (file.error() != QFileDevice::NoError)
        return {false, {}, file.errorString()};
    const bool truncated = bytes.size() > NotepadFileLimit;
    if (truncated) {
        bytes.truncate(HeadBytes);
        dropCutSequence(bytes);
    }
    return {true, NotepadTextFromBytes(bytes, truncated), {}};
}

QByteArray AppendedFileBytes(const QByteArray& existing, const QString& text) {
    const QString addition = text + QStringLiteral("\r\n");
    if (isAscii(existing)) // empty or plain ASCII: as good as a new file
        return existing + encodeText(addition);
    if (detectEncoding(existing) == TextEncoding::Utf8)
        return existing + addition.toUtf8();
    if (fitsWindows1251(addition))
        return existing + encodeText(addition, TextEncoding::Windows1251);
    // Appending UTF-8 to a Windows-1251 file would leave it readable in neither.
    return decodeText(existing).toUtf8() + addition.toUtf8();
}

namespace {

/// Writes the new content straight into the file, for a folder that cannot take a temporary
/// file. Where the old content stays as it was, only the addition is written, so a failure
/// cannot harm what the file held.
QString writeInPlace(const QString& path, const QByteArray& existing, const QByteArray& bytes) {
    QFile file(path);
    const bool append = bytes.startsWith(existing);
    if (!file.open(append ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate))
        return fileErrorReason(errno, true);
    const QByteArray part = append ? bytes.mid(existing.size()) : bytes;
    if (file.write(part) != part.size() || !file.flush()) return fileErrorReason(errno, true);
    file.close();
    return file.error() == QFileDevice::NoError ? QString() : fileErrorReason(errno, true);
}

} // namespace

QString AppendToNotepadFile(const QString& path, const QString& text) {
    QByteArray existing;
    QFile old(path);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) return fileErrorReason(errno, false);
        existing = old.readAll();
        if (old.error() != QFileDevice::NoError) return fileErrorReason(errno, false);
        old.close();
    }
    const QByteArray bytes = AppendedFileBytes(existing, text);
    QSaveFile out(path);
    // A read-only folder, or a name at the length limit, takes no temporary file beside it.
    if (!out.open(QIODevice::WriteOnly)) return writeInPlace(path, existing, bytes);
    if (out.write(bytes) != bytes.size()) {
        const QString reason = fileErrorReason(errno, true);
        out.cancelWriting();
        return reason;
    }
    return commitSaveFile(out).reason();
}

} // namespace vorlan
