#include "singleinstance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

QString PrivateRuntimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder;
}

SingleInstanceLock::SingleInstanceLock(const QString &programName)
    : m_lock(
          std::make_unique<QLockFile>(PrivateRuntimeFolder() + u'/' + programName + QStringLiteral(".lock")))
{
    // Never treat a live copy's lock as stale, however long it runs.
    m_lock->setStaleLockTime(0);
}

SingleInstanceLock::~SingleInstanceLock() = default;

bool SingleInstanceLock::tryLock()
{
    return m_lock->isLocked() || m_lock->tryLock(0);
}
