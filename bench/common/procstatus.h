#pragma once
// Resident memory of a process, read from /proc; shared by the benchmarks
// that measure themselves and the one that measures started programs.

#include <QByteArray>
#include <QFile>
#include <QString>

// VmRSS of /proc/<process>/status in KiB ("self" for the caller), or -1.
inline qint64 ResidentKiB(const QString &process = QStringLiteral("self"))
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
