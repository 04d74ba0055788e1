#include "sendersettings.h"

#include "conversions.h"
#include "settingsstore.h"
#include "storelist.h"

#include <algorithm>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kIdentification = QStringLiteral("Identification");
const QString kUsers = QStringLiteral("Users");
const QString kUsersSentinel = QStringLiteral("TestUsers");

qint32 StoredInteger(const SettingsStore &store, const QString &section, const QString &key, qint32 fallback)
{
    return IntegerOf(store.get(section, key, IntegerText(fallback))).value_or(fallback);
}

bool StoredBoolean(const SettingsStore &store, const QString &section, const QString &key, bool fallback)
{
    return BooleanOf(store.get(section, key, BooleanText(fallback))).value_or(fallback);
}

// Fills the list from the stored pairs. Pairs are placed by their number,
// whatever order the store enumerates them in. Damaged data is treated so
// that nothing is written outside the list and no nameless user appears:
// keys without a usable number are skipped, the list grows to the highest
// number found (so a user whose sibling keys went missing is kept), a port
// that is not a number takes the default port, and records left without a
// name are dropped, the rest keeping their order.
UserList UsersFromEntries(const SettingsStore::Entries &entries, qint32 fallbackPort)
{
    int highest = 0;
    for (const auto &[key, value] : entries) {
        const NumberedKey parsed = SplitNumberedKey(key);
        if (parsed.wellFormed)
            highest = std::max(highest, parsed.number);
    }
    const int byCount = static_cast<int>(RoundHalfEven(static_cast<double>(entries.size()) / 3.0));
    const int size = std::min(std::max(byCount, highest), kMaxListEntries);

    QList<UserRecord> records(size + 1);
    QList<bool> portSeen(size + 1, false);
    for (const auto &[key, value] : entries) {
        const NumberedKey parsed = SplitNumberedKey(key);
        if (!parsed.wellFormed)
            continue;
        UserRecord &record = records[parsed.number];
        if (parsed.field == u"name") {
            record.name = value;
        } else if (parsed.field == u"ip") {
            record.ip = value;
        } else if (parsed.field == u"port") {
            record.port = IntegerOf(value).value_or(fallbackPort);
            portSeen[parsed.number] = true;
        }
    }

    UserList users;
    for (int n = 1; n <= size; ++n) {
        if (records[n].name.isEmpty())
            continue;
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
        return a.name == b.name && a.ip == b.ip && a.port == b.port && a.order == b.order;
    };
    return std::equal(m_entries.begin(), m_entries.end(), other.m_entries.begin(), other.m_entries.end(),
                      same);
}

UserList DefaultUserList()
{
    UserList users;
    users.append({QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), 505, 1});
    return users;
}

void LoadSenderSettings(SettingsStore &store, SenderSettings &settings)
{
    settings.DefaultPort = StoredInteger(store, kSettings, QStringLiteral("DefaultPort"), 505);
    settings.MinimizedWhenSend = StoredBoolean(store, kSettings, QStringLiteral("MinimizedWhenSend"), true);
    settings.PopupWhenSend = StoredBoolean(store, kSettings, QStringLiteral("PopupWhenSend"), true);
    settings.DefaultIp = store.get(kSettings, QStringLiteral("DefaultIp"), QStringLiteral("127.0.0.1"));
    settings.MyUsername = store.get(kIdentification, QStringLiteral("MyUsername"), QStringLiteral("Me"));
    settings.MyPortnb = StoredInteger(store, kIdentification, QStringLiteral("MyPortnb"), 505);

    const std::optional<SettingsStore::Entries> entries = ReadListSection(store, kUsers, kUsersSentinel);
    settings.userList = entries ? UsersFromEntries(*entries, settings.DefaultPort) : DefaultUserList();
    if (settings.userList.count() == 0)
        settings.userList = DefaultUserList();

    if (settings.refillRecipientBox)
        settings.refillRecipientBox();
}

bool SaveProgramOptions(SettingsStore &store, const SenderSettings &settings)
{
    store.save(kSettings, QStringLiteral("DefaultPort"), IntegerText(settings.DefaultPort));
    store.save(kSettings, QStringLiteral("MinimizedWhenSend"), BooleanText(settings.MinimizedWhenSend));
    store.save(kSettings, QStringLiteral("PopupWhenSend"), BooleanText(settings.PopupWhenSend));
    store.save(kSettings, QStringLiteral("DefaultIp"), settings.DefaultIp);
    return store.flush();
}

bool SaveIdentification(SettingsStore &store, const SenderSettings &settings)
{
    store.save(kIdentification, QStringLiteral("MyUsername"), settings.MyUsername);
    store.save(kIdentification, QStringLiteral("MyPortnb"), IntegerText(settings.MyPortnb));
    return store.flush();
}

bool SaveUserList(SettingsStore &store, const UserList &users)
{
    ClearListSection(store, kUsers, kUsersSentinel);
    for (int n = 1; n <= users.count(); ++n) {
        const QString number = QString::number(n);
        store.save(kUsers, number + QStringLiteral("_name"), users.at(n).name);
        store.save(kUsers, number + QStringLiteral("_ip"), users.at(n).ip);
        store.save(kUsers, number + QStringLiteral("_port"), IntegerText(users.at(n).port));
    }
    return store.flush();
}
