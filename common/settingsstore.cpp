#include "settingsstore.h"

#include <QStringList>

namespace {

// A hand-edited value such as `a, b` comes back from the INI reader as a list;
// the store only holds strings, so it is read as the text that was written.
QString AsText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// QSettings treats "/" as a group separator and "\" as its escape; keys and
// sections of this store never nest, so both are kept as ordinary characters.
QString Escaped(const QString &part)
{
    QString out = part;
    out.replace(u'%', QStringLiteral("%25"));
    out.replace(u'/', QStringLiteral("%2F"));
    out.replace(u'\\', QStringLiteral("%5C"));
    return out;
}

QString Unescaped(const QString &part)
{
    QString out = part;
    out.replace(QStringLiteral("%2F"), QStringLiteral("/"));
    out.replace(QStringLiteral("%5C"), QStringLiteral("\\"));
    out.replace(QStringLiteral("%25"), QStringLiteral("%"));
    return out;
}

} // namespace

SettingsStore::SettingsStore(const QString &applicationName)
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, applicationName,
                                             applicationName))
{}

SettingsStore::SettingsStore(std::unique_ptr<QSettings> settings)
    : m_settings(std::move(settings))
{}

SettingsStore SettingsStore::atPath(const QString &iniFile)
{
    return SettingsStore(std::make_unique<QSettings>(iniFile, QSettings::IniFormat));
}

SettingsStore::SettingsStore(SettingsStore &&) noexcept = default;
SettingsStore &SettingsStore::operator=(SettingsStore &&) noexcept = default;

SettingsStore::~SettingsStore()
{
    if (m_settings)
        m_settings->sync();
}

QString SettingsStore::keyPath(const QString &section, const QString &key) const
{
    return Escaped(section) + u'/' + Escaped(key);
}

QString SettingsStore::get(const QString &section, const QString &key, const QString &defaultValue) const
{
    const QVariant value = m_settings->value(keyPath(section, key));
    return value.isValid() ? AsText(value) : defaultValue;
}

void SettingsStore::save(const QString &section, const QString &key, const QString &value)
{
    m_settings->setValue(keyPath(section, key), value);
}

void SettingsStore::deleteSection(const QString &section)
{
    m_settings->remove(Escaped(section));
}

void SettingsStore::deleteKey(const QString &section, const QString &key)
{
    m_settings->remove(keyPath(section, key));
}

SettingsStore::Entries SettingsStore::getAll(const QString &section) const
{
    Entries entries;
    m_settings->beginGroup(Escaped(section));
    const QStringList keys = m_settings->childKeys();
    entries.reserve(keys.size());
    for (const QString &key : keys)
        entries.append({Unescaped(key), AsText(m_settings->value(key))});
    m_settings->endGroup();
    return entries;
}

bool SettingsStore::flush()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}
