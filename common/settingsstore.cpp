#include "settingsstore.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryFile>
#include <cerrno>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#endif

namespace {

// A hand-edited value such as `a, b` comes back from the INI reader as a list;
// the store only holds strings, so it is read as the text that was written.
QString asText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// QSettings treats "/" as a group separator and "\" as its escape; keys and
// sections of this store never nest, so both are kept as ordinary characters.
QString escaped(const QString &part)
{
    QString out = part;
    out.replace(u'%', QStringLiteral("%25"));
    out.replace(u'/', QStringLiteral("%2F"));
    out.replace(u'\\', QStringLiteral("%5C"));
    return out;
}

QString unescaped(const QString &part)
{
    QString out = part;
    out.replace(QStringLiteral("%2F"), QStringLiteral("/"));
    out.replace(QStringLiteral("%5C"), QStringLiteral("\\"));
    out.replace(QStringLiteral("%25"), QStringLiteral("%"));
    return out;
}

// Bytes a text takes in the INI file at most: printable ASCII as it is (a
// key's blanks escaped), anything else as the longest escape (a key's "%"
// and 16-bit code, a value's "\\x" and four hex digits).
qint64 MostTextBytes(const QString &text, char16_t firstPlain, qint64 escapedBytes)
{
    qint64 bytes = 0;
    for (const QChar c : text)
        bytes += (c.unicode() >= firstPlain && c.unicode() < 0x7f) ? 1 : escapedBytes;
    return bytes;
}

// Bytes the INI file of these settings can take at most.
qint64 MostFileBytes(const QSettings &settings)
{
    constexpr qint64 kKeyEscapeBytes = 9;
    constexpr qint64 kValueEscapeBytes = 6;
    constexpr qint64 kLineBytes = 4; // "=", quotes, the line end
    constexpr qint64 kSlackBytes = 1024;
    qint64 bytes = kSlackBytes;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        bytes += MostTextBytes(key, u'!', kKeyEscapeBytes) +
                 MostTextBytes(asText(settings.value(key)), u' ', kValueEscapeBytes) + kLineBytes;
    return bytes;
}

// Qt hands the last part of the file to the disk only as it closes it, and a
// failure there goes unreported: on a full disk the store would be replaced
// by a cut-off copy while the write counted as done. The whole file's room
// is therefore reserved first, in the store's own folder.
bool hasRoomFor(const QString &file, qint64 bytes)
{
    const QString folder = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    QTemporaryFile probe(folder + QStringLiteral("/.room-XXXXXX"));
    if (!probe.open())
        return false;
#ifdef Q_OS_UNIX
    const int result = posix_fallocate(probe.handle(), 0, bytes);
    // A file system that cannot reserve room is not taken for a full one.
    return result == 0 || result == EINVAL || result == EOPNOTSUPP;
#else
    return probe.resize(bytes);
#endif
}

// QSettings writes pending changes by itself one event-loop turn after a
// change, and again when it is destroyed, both without the room check above.
// Every write of this store goes through flush() instead.
class NoAutomaticWrite : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::UpdateRequest; }
};

std::unique_ptr<QSettings> Guarded(std::unique_ptr<QSettings> settings)
{
    static NoAutomaticWrite *const filter = new NoAutomaticWrite;
    settings->installEventFilter(filter);
    return settings;
}

// A view of the same file that shares its pending changes but has no write
// of its own pending, so destroying the old view writes nothing.
std::unique_ptr<QSettings> FreshView(const QSettings &settings)
{
    return Guarded(std::make_unique<QSettings>(settings.fileName(), QSettings::IniFormat));
}

} // namespace

SettingsStore::SettingsStore(const QString &applicationName)
    : m_settings(Guarded(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                     applicationName, applicationName)))
{}

SettingsStore::SettingsStore(std::unique_ptr<QSettings> settings)
    : m_settings(Guarded(std::move(settings)))
{}

SettingsStore SettingsStore::atPath(const QString &iniFile)
{
    return SettingsStore(std::make_unique<QSettings>(iniFile, QSettings::IniFormat));
}

SettingsStore::SettingsStore(SettingsStore &&) noexcept = default;
SettingsStore &SettingsStore::operator=(SettingsStore &&) noexcept = default;

SettingsStore::~SettingsStore()
{
    // What cannot be written now stays unwritten rather than being written
    // by QSettings without the room check.
    if (m_settings && !flush())
        m_settings = FreshView(*m_settings);
}

QString SettingsStore::keyPath(const QString &section, const QString &key) const
{
    return escaped(section) + u'/' + escaped(key);
}

QString SettingsStore::get(const QString &section, const QString &key, const QString &defaultValue) const
{
    const QVariant value = m_settings->value(keyPath(section, key));
    return value.isValid() ? asText(value) : defaultValue;
}

void SettingsStore::save(const QString &section, const QString &key, const QString &value)
{
    m_settings->setValue(keyPath(section, key), value);
}

void SettingsStore::deleteSection(const QString &section)
{
    m_settings->remove(escaped(section));
}

void SettingsStore::deleteKey(const QString &section, const QString &key)
{
    m_settings->remove(keyPath(section, key));
}

SettingsStore::Entries SettingsStore::getAll(const QString &section) const
{
    Entries entries;
    m_settings->beginGroup(escaped(section));
    const QStringList keys = m_settings->childKeys();
    entries.reserve(keys.size());
    for (const QString &key : keys)
        entries.append({unescaped(key), asText(m_settings->value(key))});
    m_settings->endGroup();
    return entries;
}

bool SettingsStore::flush()
{
    if (!hasRoomFor(m_settings->fileName(), MostFileBytes(*m_settings)))
        return false;
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError)
        return true;
    // QSettings keeps its first error for good, and a file it could not
    // parse (FormatError, from reading it now or earlier) says nothing about
    // the write, which replaces that file with a sound one. A new view of the
    // same file shares what is still pending: opening, it writes that again
    // and reports on this write alone, so nothing pending means written.
    m_settings = FreshView(*m_settings);
    return m_settings->status() == QSettings::NoError;
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}
