#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QSslConfiguration>
#include <QString>

class Identity;
class QSslCertificate;

// Encryption between Quill peers. A Quillbox serves TLS 1.3 on the ports it
// already listens on: a connection that opens with a TLS handshake record is
// encrypted, every other one is read as a plain payload. Both ends present
// the self-signed certificate of their identity; peers are told apart by the
// SHA-256 of the public key (a "key" below: 32 bytes), never by a
// certificate authority. Inside TLS the payload is the plain one, always in
// UTF-8. The sender ends it with TLS's close alert and waits, as over a
// plain connection, for the receiver to close once the message is safe.

// What the first bytes of a connection say it is.
enum class ConnectionKind
{
    Plain,
    Tls,
    Undecided // too few bytes yet to tell
};
// A TLS handshake record (content type 22, version 3.1 to 3.4) opens an
// encrypted connection; a plain payload opens with its sender's name, which
// never starts with that control character.
constexpr qsizetype kConnectionSniffBytes = 3;
ConnectionKind connectionKind(QByteArrayView firstBytes);

// TLS 1.3 with the identity's certificate and key. The server asks the
// sender for its certificate; neither end checks the other's against an
// authority: the key is compared with what the user pinned.
QSslConfiguration tlsConfiguration(const Identity &identity, bool server);

// The key a peer's certificate carries (empty for a null certificate).
QByteArray certificateKey(const QSslCertificate &certificate);

// A key as stored and announced: 64 lowercase hexadecimal digits; parsing
// gives an empty key for anything else.
QString keyText(const QByteArray &key);
QByteArray keyFromText(QStringView text);

// How far a received message's sender is known, from the key it came with.
enum class SenderTrust
{
    Plain,    // not encrypted
    NewKey,   // encrypted, with a key not pinned for that name
    KnownKey, // encrypted, with the key pinned for that name
    Verified, // that key, and the user compared its code and marked it verified
    Impostor  // the name of a contact with a pinned key, without that key
};

// A contact's key as Quillpost's user list holds it ("N_key": the key, then
// " verified" once the user compared the codes).
struct PinnedKey
{
    QByteArray key;
    bool verified = false;
    bool operator==(const PinnedKey &) const = default;
};
QString pinnedKeyText(const PinnedKey &pinned);
PinnedKey pinnedKeyFromText(QStringView text);

// The pinned keys of Quillpost's user list by user name, for the receiver
// to check senders by (a name listed twice keeps the first key).
using KeyBook = QHash<QString, PinnedKey>;
KeyBook loadKeyBook();
SenderTrust senderTrust(const KeyBook &book, const QString &name, const QByteArray &key);

// A short text for a trust state, shown next to a sender: "verified",
// "encrypted, key seen before", "encrypted, new key 0a1b ...", "not
// encrypted", and a warning for an impostor.
QString senderTrustText(SenderTrust trust, const QByteArray &key);
