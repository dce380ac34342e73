#pragma once

// How much memory one decoded picture may take, and the reasons given when a file or a picture
// would take more.

#include <QSize>
#include <QString>

namespace vorlan {

/// Bytes one decoded picture may take: a quarter of the machine's memory (or of the process's
/// memory limit, where one is set and lower), leaving room for the decoder's own buffers, the
/// other slots and the rest of the desktop.
qint64 pictureMemoryBudget();

/// The reason given for a picture of size pixels that would need more than budget bytes.
QString tooLargeReason(QSize size, qint64 needed, qint64 budget);

/// The reason given for a file of fileBytes bytes, more than budget bytes, that is not read.
QString fileTooLargeReason(qint64 fileBytes, qint64 budget);

} // namespace vorlan
