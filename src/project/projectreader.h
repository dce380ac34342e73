#pragma once

// Reading a project file ("*.vln"): the bytes are taken apart into the values of its 34 lines
// without any window, so that the main window only has to apply them in its own order.

#include "common/outcome.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

namespace vorlan {

/// One line of the project table as the reader took it.
struct ProjectLine {
    /// False when the line is not in the file (the file ended, or the reader does not consume
    /// it); the field it feeds then keeps its value.
    bool taken = false;
    /// The line as it stands, or for a number that cannot be used the text of the last usable
    /// numeric line before it.
    QString text;
    /// The number the field receives: the leading-number parse (lines 17-20: degrees x 10000
    /// turned into radians). A line whose number cannot be used gives the last usable number.
    float value = 0;
};

/// A failure met while reading a line: shown to the user at the reader step that reads it.
struct ProjectReadError : Failure {
    int line = 0; ///< table line, 1..34, or the file line of an extension line (35 on)
    int step = 0; ///< reader step that reads the line
};

/// Everything the reader takes from a project file.
struct ProjectRecord {
    /// Table lines 1..34 (index 0 unused). Table lines, not file lines: an empty line 21 (23)
    /// leaves line 22 (24) unconsumed, so the next table line comes from the next file line.
    std::array<ProjectLine, 35> line;
    /// Line 21 (index 0) or 23 (index 1) was taken and holds no number at all: point 2 of
    /// picture 1 (2) is cleared and its y line is not consumed.
    std::array<bool, 2> point2Cleared{};
    QList<ProjectReadError> errors;
    /// The file lines after table line 34, as they stand (see projectlayout.h). Those that open
    /// with a keyword of this program but cannot be read are among the errors (step Extension);
    /// each reader passes over them.
    QStringList extensionLines;

    /// The errors found while reading the lines of the given reader step.
    QList<ProjectReadError> errorsOfStep(int step) const;
    /// True when a star line (17-20) holds a coordinate other than 0.
    bool hasStarCoordinates() const;
};

namespace project {
/// The largest frame size and position a value may ask for, pixels (a widget's size limit).
inline constexpr double LargestExtent = 16777215.0;
/// The largest display or mark scale a file may hold: what the 16-bit slider conversion takes.
inline constexpr double LargestScale = 32.767;
/// The smallest display or mark scale besides 0: the scale bars' smallest step.
inline constexpr double SmallestScale = 0.001;
/// Longer numeric lines are not numbers the program wrote.
inline constexpr int LongestNumberLine = 255;
/// At most this many extension lines after line 34 are read.
inline constexpr int LargestExtension = 1000;
/// Longer name lines are no file names.
inline constexpr int LongestNameLine = 32767;
/// A project file is read up to this many bytes; its 34 lines never come near it.
inline constexpr qint64 LargestFile = 64LL * 1024 * 1024;
} // namespace project

/// Splits text into lines at CR, CR LF or LF; a line end after the last line adds no empty
/// line. At most maxLines lines are returned.
QStringList splitProjectLines(const QString& text, int maxLines);

/// Takes a project file's bytes (UTF-8 when they are valid UTF-8, else Windows-1251; a leading
/// byte-order mark is dropped) apart into the table lines, in the order the reader consumes
/// them. Numbers that no window could take (beyond a 32-bit float, negative sizes, frames
/// larger than a widget, scales beyond the sliders) count as lines that cannot be read.
ProjectRecord readProjectRecord(const QByteArray& bytes);

/// The description of a line that cannot be read: file line `line`, as it stands in `text`,
/// and why when more than the number (the error number Overflow or InvalidValue) says.
QString damagedLineText(int number, int line, const QString& text, const QString& why = {});

/// The error context the reader shows before a failure of the given step: empty up to step
/// 11, "второго снимка нет! " for steps 12-24, "третьего снимка нет! " for steps 25-34, and
/// empty again for the extension lines.
QString projectErrorContext(int step);

/// The folder part of a project file's path, up to and including its last "\" or "/" (empty
/// when it has none).
QString projectFolderOf(const QString& path);

/// Where a picture stored as storedName (a path from any machine, "\" or "/") is found: in
/// folder, by its name part; when that exact name is not there, the one file of the folder
/// whose name matches it ignoring case; else storedName itself when it names a file here (a
/// project kept apart from its pictures). Without any of these, folder + the name part.
QString findProjectPicture(const QString& folder, const QString& storedName);

} // namespace vorlan
