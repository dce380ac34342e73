#pragma once

#include <QByteArray>
#include <QString>

namespace vorlan {

/// The notepad's font: size in points and the bold flag.
struct NotepadFont {
    float size;
    bool bold;
};

/// Font size in points for a text box txtWidthTwips wide (twips): 9.75 from 8000 twips on, one
/// point less for every 1000 twips below that, never below 1 point.
float NotepadFontSize(float txtWidthTwips);

/// One press of ">" (larger) or "<" (smaller): the next size of the step table, and bold above
/// 13 points after ">" or plain below 13 after "<". A size not in the table stays as it is.
NotepadFont NotepadFontStep(NotepadFont font, bool larger);

/// Files larger than this many bytes are not loaded whole: the notepad shows their beginning.
constexpr qint64 NotepadFileLimit = 16 * 1024 * 1024;

/// First line of a text that was cut because its file was too large (with its CR LF).
extern const QString TooLargeMarker;

/// The text box content for a text file's bytes (UTF-8 when valid, else Windows-1251): every
/// line followed by CR LF. truncated says that bytes are only the head of a longer file: the
/// text is then cut to 32000 characters behind TooLargeMarker.
QString NotepadTextFromBytes(const QByteArray& bytes, bool truncated);

/// Result of reading a file for the notepad: the text, or why it could not be read.
struct NotepadFileText {
    bool ok;
    QString text;
    QString error;
};

/// Reads the file at path for the notepad (files over NotepadFileLimit bytes are cut).
NotepadFileText ReadNotepadFile(const QString& path);

/// The whole content of a file after text and CR LF are appended to existing, in one encoding:
/// the existing file's one, or the new-file choice when existing is plain ASCII. A Windows-1251
/// file that cannot take the text is converted to UTF-8 as a whole.
QByteArray AppendedFileBytes(const QByteArray& existing, const QString& text);

/// Appends text and CR LF to the file at path (created when missing). The new content is
/// written to a temporary file that replaces the old one, so a failure leaves the file as it
/// was; where the folder takes no temporary file, the file is written in place (only the
/// addition, unless the whole file changes encoding). Returns an empty string on success, else
/// the reason in Russian.
QString AppendToNotepadFile(const QString& path, const QString& text);

} // namespace vorlan
