#pragma once

// What is left of a process tree after a stop, for the tests of the solver and its window.

#include <QDir>
#include <QFile>
#include <QList>

namespace vorlan::test {

/// Processes of a process group that are still alive (not zombies waiting to be collected).
inline int livingInGroup(qint64 group) {
    int living = 0;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        // "pid (name) state ppid pgrp ...": the name may hold blanks, so read after its ')'.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 2 && f[2].toLongLong() == group && f[0] != "Z") ++living;
    }
    return living;
}

} // namespace vorlan::test
