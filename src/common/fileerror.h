#pragma once

#include <QString>

namespace vorlan {

/// A Russian reason for a failed file operation, from the system's error number (errno) of the
/// failed call; writing says whether the file was being written.
QString fileErrorReason(int errorNumber, bool writing);

} // namespace vorlan
