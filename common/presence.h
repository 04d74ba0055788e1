#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// What a Quillbox tells the network about its user while it listens: one
// DNS-SD service of type _quill._tcp (instance name: the user's name; port:
// the first listening port) with a TXT record of "v=1", "name=", "reply="
// and "id=", and "key=" with the key of the user's identity when there is
// one (see securetransport.h). Quillpost reads the same record back; everything in it is
// untrusted there, so reading bounds every field.

inline const QString kPresenceServiceType = QStringLiteral("_quill._tcp");

// A DNS label, and so a service's instance name, holds at most 63 bytes.
constexpr int kMaxInstanceNameBytes = 63;
// An identifier is made of letters, digits and '-', at most this long.
constexpr int kMaxPresenceIdLength = 64;
// A TXT record with more strings than this is read up to here.
constexpr int kMaxPresenceTxtStrings = 16;

struct PresenceRecord
{
    QString name; // the name messages are sent under (MyUsername)
    QString id;   // made once per user, kept in Quillbox's settings
    qint32 replyPort = 0;
    QByteArray key = {}; // the key of its identity (TXT "key="), empty when it has none
    bool operator==(const PresenceRecord &) const = default;
};

// The TXT strings of an announcement.
QList<QByteArray> presenceTxt(const PresenceRecord &record);
// The record a TXT list holds: nullopt unless it says "v=1" and carries a
// well-formed id. A name longer than a user name may be is cut to that
// length, a reply port that is not 0 to 65535 reads 0.
std::optional<PresenceRecord> readPresenceTxt(const QList<QByteArray> &txt);

// The instance name for a user name: cut to kMaxInstanceNameBytes of UTF-8
// at a character's end; "Quill user" for an empty one.
QString presenceInstanceName(const QString &userName);
// A new random identifier (32 hexadecimal digits).
QString newPresenceId();
bool isPresenceId(const QString &id);

// The name and reply port Quillbox announces (id left empty): the
// MyUsername and MyPortnb of Quillpost's identification in its store; while
// the name is still the built-in "Me" (or unset), the login's full name (its
// login name when it has none).
PresenceRecord presenceIdentity();
// The folder of Quillpost's store, watched for a changed name.
QString senderStoreFolder();
