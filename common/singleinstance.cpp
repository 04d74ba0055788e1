#include "singleinstance.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>

QString privateRuntimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        // Qt found no runtime folder that only this user can enter. The
        // shared temporary folder would let other users take the endpoints'
        // names first and read what is handed to them, so a folder of the
        // user's own is made instead.
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                 QStringLiteral("/quill-runtime");
        QDir().mkpath(folder);
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return folder;
    }
    QDir().mkpath(folder);
    return folder;
}

SingleInstanceLock::SingleInstanceLock(const QString &programName)
    : m_lock(
          std::make_unique<QLockFile>(privateRuntimeFolder() + u'/' + programName + QStringLiteral(".lock")))
{
    // Never treat a live copy's lock as stale, however long it runs.
    m_lock->setStaleLockTime(0);
}

SingleInstanceLock::~SingleInstanceLock() = default;

bool SingleInstanceLock::tryLock()
{
    return m_lock->isLocked() || m_lock->tryLock(0);
}
