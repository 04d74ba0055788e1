#pragma once

#include <QList>
#include <QPair>
#include <QSettings>
#include <QString>
#include <memory>

// The per-user settings store of one program: string values addressed by
// section and key, kept in an INI file under the user's configuration folder
// ($XDG_CONFIG_HOME/<name>/<name>.ini, ~/.config when unset).
//
// Writes are collected in memory and reach the file on flush(); the file is
// replaced atomically and guarded by a lock file, so a crash never leaves it
// half-written and two processes of one user never corrupt it.
class SettingsStore
{
public:
    using Entries = QList<QPair<QString, QString>>;

    // The store of the application name (e.g. "Quillpost").
    explicit SettingsStore(const QString &applicationName);
    // A store kept in the given INI file (tests, tools).
    static SettingsStore atPath(const QString &iniFile);

    SettingsStore(SettingsStore &&) noexcept;
    SettingsStore &operator=(SettingsStore &&) noexcept;
    ~SettingsStore();

    QString get(const QString &section, const QString &key, const QString &defaultValue) const;
    void save(const QString &section, const QString &key, const QString &value);
    void deleteSection(const QString &section);
    void deleteKey(const QString &section, const QString &key);
    // Every (key, value) of the section in the store's own order; empty when
    // the section does not exist or has no keys.
    Entries getAll(const QString &section) const;

    // Writes pending changes to the file. False when the file could not be
    // written (full disk, no permission); the changes stay pending.
    bool flush();
    QString fileName() const;

private:
    explicit SettingsStore(std::unique_ptr<QSettings> settings);
    QString keyPath(const QString &section, const QString &key) const;

    std::unique_ptr<QSettings> m_settings;
};
