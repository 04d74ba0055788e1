#pragma once

#include <QString>
#include <memory>

class QLockFile;

// The user's private runtime folder ($XDG_RUNTIME_DIR, or a fallback that
// Qt creates owner-only): lock files and local endpoints live here.
QString privateRuntimeFolder();

// Keeps one running copy of a program per user: the first copy holds the
// lock until it ends; a lock left by a copy that died is taken over.
class SingleInstanceLock
{
public:
    explicit SingleInstanceLock(const QString &programName);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;

    // True when this process is the first copy (and now holds the lock).
    bool tryLock();

private:
    std::unique_ptr<QLockFile> m_lock;
};
