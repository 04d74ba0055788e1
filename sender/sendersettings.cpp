#include "sendersettings.h"

#include "conversions.h"
#include "logging.h"
#include "presence.h"
#include "settingsstore.h"
#include "storelist.h"

#include <QMap>
#include <algorithm>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kIdentification = QStringLiteral("Identification");
const QString kUsers = QStringLiteral("Users");
const QString kUsersSentinel = QStringLiteral("TestUsers");
const QString kGroups = QStringLiteral("Groups");
const QString kMemberPrefix = QStringLiteral("member_");

// Fills the list from the stored pairs. Pairs are placed by their number,
// whatever order the store enumerates them in. Damaged data is treated so
// that nothing is written outside the list and no nameless user appears:
// keys without a usable number are skipped, the list grows to the highest
// number found (so a user whose sibling keys went missing is kept), a port
// that is not a number takes the default port, and records left without a
// name are dropped, the rest keeping their order.
UserList usersFromEntries(const SettingsStore::Entries &entries, qint32 fallbackPort)
{
    const int highest = highestListNumber(entries);
    // Three keys a user, and an "N_id" and "N_key" for some.
    const auto ids = std::count_if(entries.cbegin(), entries.cend(), [](const auto &entry) {
        return entry.first.endsWith(QStringLiteral("_id")) || entry.first.endsWith(QStringLiteral("_key"));
    });
    const int byCount = static_cast<int>(roundHalfEven(static_cast<double>(entries.size() - ids) / 3.0));
    const int size = std::min(std::max(byCount, highest), kMaxListEntries);

    QList<UserRecord> records(size + 1);
    QList<bool> portSeen(size + 1, false);
    for (const auto &[key, value] : entries) {
        const NumberedKey parsed = splitNumberedKey(key);
        if (!parsed.wellFormed)
            continue;
        UserRecord &record = records[parsed.number];
        if (parsed.field == u"name") {
            record.name = value;
        } else if (parsed.field == u"ip") {
            record.ip = value;
        } else if (parsed.field == u"id") {
            record.id = isPresenceId(value) ? value : QString();
        } else if (parsed.field == u"key") {
            record.key = pinnedKeyFromText(value);
        } else if (parsed.field == u"port") {
            record.port = integerOf(value).value_or(fallbackPort);
            portSeen[parsed.number] = true;
        }
    }

    UserList users;
    for (int n = 1; n <= size; ++n) {
        if (records[n].name.isEmpty()) {
            qCInfo(lcSettings) << "user" << n << "of the list skipped: it has no name";
            continue;
        }
        if (!portSeen[n])
            records[n].port = fallbackPort;
        users.append(records[n]);
    }
    return users;
}

} // namespace

UserList::UserList()
    : m_entries(1)
{}

const UserRecord &UserList::at(int n) const
{
    return (n >= 0 && n < m_entries.size()) ? m_entries[n] : m_entries[0];
}

UserRecord &UserList::operator[](int n)
{
    return (n >= 0 && n < m_entries.size()) ? m_entries[n] : m_entries[0];
}

void UserList::append(const UserRecord &record)
{
    m_entries.append(record);
    m_entries.last().order = count();
}

void UserList::resize(int n)
{
    m_entries.resize(std::max(n, 0) + 1);
}

bool UserList::operator==(const UserList &other) const
{
    const auto same = [](const UserRecord &a, const UserRecord &b) {
        return a.name == b.name && a.ip == b.ip && a.port == b.port && a.order == b.order && a.id == b.id &&
               a.key == b.key;
    };
    return std::equal(m_entries.begin(), m_entries.end(), other.m_entries.begin(), other.m_entries.end(),
                      same);
}

UserList defaultUserList()
{
    UserList users;
    users.append({QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), kDefaultPort, 1});
    return users;
}

void loadSenderSettings(SettingsStore &store, SenderSettings &settings)
{
    settings.defaultPort = storedInteger(store, kSettings, QStringLiteral("DefaultPort"), kDefaultPort);
    settings.minimizeWhenSent = storedBoolean(store, kSettings, QStringLiteral("MinimizedWhenSend"), true);
    settings.popupWhenSent = storedBoolean(store, kSettings, QStringLiteral("PopupWhenSend"), true);
    settings.defaultIp = store.get(kSettings, QStringLiteral("DefaultIp"), QStringLiteral("127.0.0.1"));
    settings.myUserName = store.get(kIdentification, QStringLiteral("MyUsername"), QStringLiteral("Me"));
    settings.myReplyPort = storedInteger(store, kIdentification, QStringLiteral("MyPortnb"), kDefaultPort);

    const std::optional<SettingsStore::Entries> entries = readListSection(store, kUsers, kUsersSentinel);
    settings.userList = entries ? usersFromEntries(*entries, settings.defaultPort) : defaultUserList();
    if (settings.userList.count() == 0)
        settings.userList = defaultUserList();

    settings.groups = loadGroups(store);
}

bool saveSenderSettings(SettingsStore &store, const SenderSettings &settings)
{
    bool saved = saveProgramOptions(store, settings);
    saved = saveIdentification(store, settings) && saved;
    return saveUserList(store, settings.userList) && saved;
}

bool saveProgramOptions(SettingsStore &store, const SenderSettings &settings)
{
    store.save(kSettings, QStringLiteral("DefaultPort"), integerText(settings.defaultPort));
    store.save(kSettings, QStringLiteral("MinimizedWhenSend"), booleanText(settings.minimizeWhenSent));
    store.save(kSettings, QStringLiteral("PopupWhenSend"), booleanText(settings.popupWhenSent));
    store.save(kSettings, QStringLiteral("DefaultIp"), settings.defaultIp);
    return store.flush();
}

bool saveIdentification(SettingsStore &store, const SenderSettings &settings)
{
    store.save(kIdentification, QStringLiteral("MyUsername"), settings.myUserName);
    store.save(kIdentification, QStringLiteral("MyPortnb"), integerText(settings.myReplyPort));
    return store.flush();
}

bool saveUserList(SettingsStore &store, const UserList &users)
{
    clearListSection(store, kUsers, kUsersSentinel);
    for (int n = 1; n <= users.count(); ++n) {
        const QString number = QString::number(n);
        store.save(kUsers, number + QStringLiteral("_name"), users.at(n).name);
        store.save(kUsers, number + QStringLiteral("_ip"), users.at(n).ip);
        store.save(kUsers, number + QStringLiteral("_port"), integerText(users.at(n).port));
        if (!users.at(n).id.isEmpty())
            store.save(kUsers, number + QStringLiteral("_id"), users.at(n).id);
        if (!users.at(n).key.key.isEmpty())
            store.save(kUsers, number + QStringLiteral("_key"), pinnedKeyText(users.at(n).key));
    }
    return store.flush();
}

QList<UserGroup> loadGroups(const SettingsStore &store)
{
    // Placed by number, whatever order the store enumerates them in; a group
    // without a name is dropped, and so is a member key without a number.
    QMap<int, UserGroup> byNumber;
    QMap<int, QMap<int, QString>> members;
    for (const auto &[key, value] : store.getAll(kGroups)) {
        const NumberedKey parsed = splitNumberedKey(key);
        if (!parsed.wellFormed) {
            qCInfo(lcSettings) << "group entry" << key << "skipped: its key has no number from 1 to"
                               << kMaxListEntries;
            continue;
        }
        if (parsed.field == u"name") {
            byNumber[parsed.number].name = value;
        } else if (parsed.field.startsWith(kMemberPrefix)) {
            const NumberedKey member = splitNumberedKey(parsed.field.mid(kMemberPrefix.size()) + u'_');
            if (member.wellFormed && !value.isEmpty())
                members[parsed.number][member.number] = value;
        }
    }
    QList<UserGroup> groups;
    for (auto it = byNumber.begin(); it != byNumber.end(); ++it) {
        if (it->name.isEmpty() || groups.size() >= kMaxListEntries)
            continue;
        it->members = members.value(it.key()).values();
        groups.append(*it);
    }
    return groups;
}

bool saveGroups(SettingsStore &store, const QList<UserGroup> &groups)
{
    store.deleteSection(kGroups);
    for (qsizetype g = 0; g < groups.size(); ++g) {
        const QString number = QString::number(g + 1);
        store.save(kGroups, number + QStringLiteral("_name"), groups.at(g).name);
        for (qsizetype m = 0; m < groups.at(g).members.size(); ++m)
            store.save(kGroups, number + u'_' + kMemberPrefix + QString::number(m + 1),
                       groups.at(g).members.at(m));
    }
    return store.flush();
}
