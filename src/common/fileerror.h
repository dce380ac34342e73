#pragma once

#include "common/outcome.h"

#include <QString>

class QSaveFile;

namespace vorlan {

/// A Russian reason for a failed file operation, from the system's error number (errno) of the
/// failed call; writing says whether the file was being written.
QString fileErrorReason(int errorNumber, bool writing);

/// The error number shown for a save that failed with errorNumber (errno).
int saveErrorNumber(int errorNumber);

/// "Не удалось записать файл <path>: <reason>" for a save that failed with errorNumber (errno).
QString fileWriteFailure(const QString& path, int errorNumber);
/// The same sentence with a reason of the caller's own.
QString fileWriteFailure(const QString& path, const QString& reason);

/// The failure of a save that failed with errorNumber (errno): its error number and reason.
Failure saveFailure(int errorNumber);
/// A save's failure told as fileWriteFailure tells it, naming path.
Failure saveFailure(const QString& path, const Failure& failure);

/// What stops a file from being saved at path before anything is tried, as an errno value: EISDIR
/// when path is a folder, ENOENT when its folder does not exist, else 0.
int saveObstacle(const QString& path);

/// Why path is no file whose contents can be read, in Russian: a folder, a FIFO (whose open()
/// waits for a writer), a device (/dev/zero never ends), a socket. Empty for a regular file, a
/// link to one, and a path that does not exist (opening it says why).
QString notAFileReason(const QString& path);

/// Ends a write through file: writes out what Qt still holds in its buffer, makes the disk keep
/// it, and only then puts the new file in place of the old. A full disk shows with a small file
/// only at that last write, so every step is checked. Done when the file was replaced, else the
/// failure (saveFailure) of the step that failed; the temporary file is then gone and the old
/// file is as it was.
Outcome<void> commitSaveFile(QSaveFile& file);

} // namespace vorlan
