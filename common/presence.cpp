#include "presence.h"

#include "securetransport.h"

#include "fieldchecks.h"
#include "settingsstore.h"
#include "wireformat.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

const QString kSenderStore = QStringLiteral("Quillpost");
const QString kBuiltInName = QStringLiteral("Me");

// The value after "key=" when string is that key's, else nullopt.
std::optional<QByteArray> txtValue(const QByteArray &string, QByteArrayView key)
{
    if (string.size() <= key.size() || !string.startsWith(key) || string.at(key.size()) != '=')
        return std::nullopt;
    return string.mid(key.size() + 1);
}

QString loginName()
{
#ifdef Q_OS_UNIX
    if (const passwd *entry = getpwuid(getuid())) {
        // The full name is the first comma-separated field of the comment.
        const QString full = QString::fromLocal8Bit(entry->pw_gecos).section(u',', 0, 0).trimmed();
        if (!full.isEmpty())
            return full;
        return QString::fromLocal8Bit(entry->pw_name);
    }
#endif
    return qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
}

} // namespace

QList<QByteArray> presenceTxt(const PresenceRecord &record)
{
    // A TXT string holds at most 255 bytes: "name=" and 128 characters of
    // up to 3 UTF-8 bytes might not fit, so the name is cut there too.
    constexpr int kMaxTxtString = 255;
    QByteArray name = "name=" + record.name.toUtf8();
    if (name.size() > kMaxTxtString)
        name = "name=" + presenceInstanceName(record.name.left(kMaxTxtString / 4)).toUtf8();
    QList<QByteArray> txt{QByteArrayLiteral("v=1"), name, "reply=" + QByteArray::number(record.replyPort),
                          "id=" + record.id.toLatin1()};
    if (!keyText(record.key).isEmpty())
        txt.append("key=" + keyText(record.key).toLatin1());
    return txt;
}

std::optional<PresenceRecord> readPresenceTxt(const QList<QByteArray> &txt)
{
    PresenceRecord record;
    bool version = false;
    for (const QByteArray &string : txt.mid(0, kMaxPresenceTxtStrings)) {
        if (string == "v=1")
            version = true;
        else if (const auto name = txtValue(string, "name"))
            record.name = QString::fromUtf8(*name).left(kMaxUserNameLength);
        else if (const auto id = txtValue(string, "id"))
            record.id = QString::fromLatin1(id->left(kMaxPresenceIdLength + 1));
        else if (const auto key = txtValue(string, "key"))
            record.key = keyFromText(QString::fromLatin1(key->left(65)));
        else if (const auto reply = txtValue(string, "reply")) {
            bool ok = false;
            const int port = reply->toInt(&ok);
            record.replyPort = ok && port >= 0 && port <= kMaxPort ? port : 0;
        }
    }
    if (!version || !isPresenceId(record.id))
        return std::nullopt;
    return record;
}

QString presenceInstanceName(const QString &userName)
{
    QString name = userName.trimmed();
    while (name.toUtf8().size() > kMaxInstanceNameBytes)
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    return name.isEmpty() ? QStringLiteral("Quill user") : name;
}

QString newPresenceId()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    QString id;
    for (const quint32 word : words)
        id += QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
    return id;
}

bool isPresenceId(const QString &id)
{
    return !id.isEmpty() && id.size() <= kMaxPresenceIdLength &&
           std::all_of(id.cbegin(), id.cend(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                      c == u'-';
           });
}

PresenceRecord presenceIdentity()
{
    const SettingsStore store(kSenderStore);
    const QString section = QStringLiteral("Identification");
    const QString stored = store.get(section, QStringLiteral("MyUsername"), QString());
    PresenceRecord record;
    if (stored.isEmpty() || stored == kBuiltInName || !isValidUserName(stored, record.name))
        record.name = loginName().left(kMaxUserNameLength);
    if (!isValidPort(store.get(section, QStringLiteral("MyPortnb"), QString::number(kDefaultPort)),
                     record.replyPort))
        record.replyPort = kDefaultPort;
    return record;
}

QString senderStoreFolder()
{
    return QFileInfo(SettingsStore(kSenderStore).fileName()).absolutePath();
}
