#pragma once

// Files as the tests make and read them: whole, as bytes.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace vorlan::test {

/// Makes bytes the whole content of path; false when that failed.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

/// Writes bytes into dir under name; the full path, empty when the write failed.
inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    return writeFile(path, bytes) ? path : QString();
}

/// The whole content of path; empty when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// Bytes this process has read through system calls so far (files, pipes); -1 where the system
/// does not say.
inline qint64 bytesReadSoFar() {
    for (const QByteArray& line : readFile(QStringLiteral("/proc/self/io")).split('\n'))
        if (line.startsWith("rchar:")) return line.mid(6).trimmed().toLongLong();
    return -1;
}

} // namespace vorlan::test
