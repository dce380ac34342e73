#include "view/picturebudget.h"

#include <QFile>
#include <QLocale>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace vorlan {

namespace {

/// Physical memory of the machine in bytes, lowered to the address-space limit of the process
/// and to the memory limit of its control group where these are set.
qint64 machineMemory() {
    qint64 bytes = qint64(8) << 30; // where the system cannot tell
#ifdef Q_OS_UNIX
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0) bytes = qint64(pages) * pageSize;
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        bytes = std::min(bytes, qint64(limit.rlim_cur));
    QFile cgroup(QStringLiteral("/sys/fs/cgroup/memory.max"));
    if (cgroup.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const qint64 max = cgroup.readAll().trimmed().toLongLong(&ok);
        if (ok && max > 0) bytes = std::min(bytes, max);
    }
#endif
    return bytes;
}

/// A byte count as the user reads it: "1,5 ГБ", "600 МБ".
QString byteText(qint64 bytes) {
    const QLocale ru(QLocale::Russian);
    if (bytes >= (qint64(1) << 30))
        return ru.toString(double(bytes) / double(qint64(1) << 30), 'f', 1) + QStringLiteral(" ГБ");
    return ru.toString((bytes + (1 << 20) - 1) >> 20) + QStringLiteral(" МБ");
}

} // namespace

QString tooLargeReason(QSize size, qint64 needed, qint64 budget) {
    return QStringLiteral(
               "картинка %1 × %2 пикселей слишком велика: ей нужно %3 памяти, а можно занять не больше %4")
        .arg(size.width())
        .arg(size.height())
        .arg(byteText(needed), byteText(budget));
}

QString fileTooLargeReason(qint64 fileBytes, qint64 budget) {
    return QStringLiteral("файл слишком велик: %1, а можно занять не больше %2")
        .arg(byteText(fileBytes), byteText(budget));
}

qint64 pictureMemoryBudget() {
    static const qint64 machine = machineMemory() / 4;
    return machine;
}

} // namespace vorlan
