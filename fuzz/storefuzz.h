#pragma once

#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

// Any bytes as the INI file of a store; the caller loads it.
class FuzzedStore
{
public:
    FuzzedStore(const uint8_t *data, size_t size)
    {
        QFile file(m_dir.filePath(QStringLiteral("store.ini")));
        if (file.open(QIODevice::WriteOnly))
            file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    SettingsStore open() const { return SettingsStore::atPath(m_dir.filePath(QStringLiteral("store.ini"))); }

private:
    QTemporaryDir m_dir;
};
