#pragma once

// What is left of a process tree after a stop, for the tests of the solver and its window, and a
// solver that never ends to stop.

#include "sky/platesolver.h"

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

/// A solve-field in folder that hangs, with a child as astrometry-engine, and an (empty) index.
inline SolveOptions standInSolver(const QString& folder) {
    SolveOptions options{60, {}, folder + "/solve-field", folder + "/astrometry.cfg"};
    QFile script(options.program), config(options.configFile), index(folder + "/index-4110.fits");
    script.open(QIODevice::WriteOnly) && script.write("#!/bin/sh\nsleep 600 &\nexec sleep 600\n");
    script.setPermissions(QFileDevice::ExeOwner | QFileDevice::ReadOwner);
    config.open(QIODevice::WriteOnly) && config.write("index " + index.fileName().toUtf8());
    index.open(QIODevice::WriteOnly);
    return options;
}

} // namespace vorlan::test
