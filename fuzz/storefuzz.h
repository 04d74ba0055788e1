#pragma once
// Any bytes as the INI file of a store: loaded, what was loaded saved, and
// loaded again; both loads are returned.

#include "settingsstore.h"

#include <QFile>
#include <QTemporaryDir>

template <typename Settings, typename Load, typename Save>
std::pair<Settings, Settings> LoadTwice(const uint8_t *data, size_t size, Load load, Save save)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("store.ini")));
    if (file.open(QIODevice::WriteOnly))
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    std::pair<Settings, Settings> loads;
    SettingsStore store = SettingsStore::atPath(file.fileName());
    load(store, loads.first);
    save(store, loads.first);
    store = SettingsStore::atPath(file.fileName()); // read from the file again
    load(store, loads.second);
    return loads;
}
