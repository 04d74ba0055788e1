#pragma once

#include "securetransport.h"
#include "wireformat.h"

#include <QList>
#include <QString>
#include <QStringList>

class SettingsStore;

// Quillpost's settings: the program options, the user's own identity and the
// list of known users, as kept in the store "Quillpost".

inline const QString kSenderStoreName = QStringLiteral("Quillpost");

struct UserRecord
{
    QString name;
    QString ip;
    qint32 port = 0;
    qint32 order = 0; // 1-based display position
    // The presence identifier of a user added from the people online
    // ("N_id"), whose address then follows them; empty for others.
    QString id = {};
    // The key pinned on the first encrypted exchange ("N_key"): messages to
    // the user then always go encrypted, to that key only.
    PinnedKey key = {};
};

// Records are numbered 1 to N; entry 0 exists, holds empty fields and is
// never shown, stored or edited (a lookup by number 0 finds it).
class UserList
{
public:
    UserList();

    int count() const { return static_cast<int>(m_entries.size()) - 1; }
    // Entry n for 0 <= n <= count(); any other number gives entry 0.
    const UserRecord &at(int n) const;
    UserRecord &operator[](int n);
    void append(const UserRecord &record); // numbered count() + 1, order set to that number
    void resize(int n);                    // numbers 1..n, new records empty
    void clear() { resize(0); }

    bool operator==(const UserList &other) const;

private:
    QList<UserRecord> m_entries; // m_entries[0] is entry 0
};

// The built-in list: localhost, 127.0.0.1, port 505.
UserList defaultUserList();

// A named set of users of the list, kept by their names.
struct UserGroup
{
    QString name;
    QStringList members;

    bool operator==(const UserGroup &) const = default;
};

struct SenderSettings
{
    qint32 defaultPort = kDefaultPort;
    bool minimizeWhenSent = true;
    bool popupWhenSent = true;
    QString defaultIp = QStringLiteral("127.0.0.1");
    QString myUserName = QStringLiteral("Me");
    qint32 myReplyPort = kDefaultPort;
    UserList userList = defaultUserList();
    QList<UserGroup> groups;
};

void loadSenderSettings(SettingsStore &store, SenderSettings &settings);
// Each writer returns false when the store could not be written.
// Options, identification and user list at once.
bool saveSenderSettings(SettingsStore &store, const SenderSettings &settings);
bool saveProgramOptions(SettingsStore &store, const SenderSettings &settings);
bool saveIdentification(SettingsStore &store, const SenderSettings &settings);
bool saveUserList(SettingsStore &store, const UserList &users);
// Groups live in a section of their own ("Groups": 1_name, 1_member_1,
// 1_member_2, ...), which readers that do not know it leave alone.
QList<UserGroup> loadGroups(const SettingsStore &store);
bool saveGroups(SettingsStore &store, const QList<UserGroup> &groups);
