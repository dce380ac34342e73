#pragma once

#include <QString>

namespace vorlan {

/// A Russian reason for a failed file operation, from the system's error number (errno) of the
/// failed call; writing says whether the file was being written.
QString fileErrorReason(int errorNumber, bool writing);

/// "Не удалось записать файл <path>: <reason>" for a save that failed with errorNumber (errno).
QString fileWriteFailure(const QString& path, int errorNumber);
/// The same sentence with a reason of the caller's own.
QString fileWriteFailure(const QString& path, const QString& reason);

/// What stops a file from being saved at path before anything is tried, as an errno value: EISDIR
/// when path is a folder, ENOENT when its folder does not exist, else 0.
int saveObstacle(const QString& path);

} // namespace vorlan
