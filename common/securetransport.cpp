#include "securetransport.h"

#include "identity.h"
#include "settingsstore.h"
#include "storelist.h"

#include <QCoreApplication>
#include <QMap>
#include <QSslCertificate>
#include <QSslKey>

namespace {

constexpr char kHandshakeRecord = 22;
constexpr char kRecordMajorVersion = 3;
constexpr char kLowestMinorVersion = 1;
constexpr char kHighestMinorVersion = 4;
constexpr qsizetype kKeyBytes = 32;
// (A semicolon would start a comment in the INI file.)
const QString kVerifiedMark = QStringLiteral(" verified");

} // namespace

ConnectionKind connectionKind(QByteArrayView firstBytes)
{
    const char expected[] = {kHandshakeRecord, kRecordMajorVersion};
    for (qsizetype i = 0; i < firstBytes.size() && i < kConnectionSniffBytes; ++i) {
        const char byte = firstBytes[i];
        const bool fits =
            i < 2 ? byte == expected[i] : byte >= kLowestMinorVersion && byte <= kHighestMinorVersion;
        if (!fits)
            return ConnectionKind::Plain;
    }
    return firstBytes.size() >= kConnectionSniffBytes ? ConnectionKind::Tls : ConnectionKind::Undecided;
}

QSslConfiguration tlsConfiguration(const Identity &identity, bool server)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_3OrLater);
    configuration.setLocalCertificate(QSslCertificate(identity.certificatePem(), QSsl::Pem));
    // Handed over as the library's own key, which each connection uses as
    // it is rather than reading it again from its text.
    if (void *key = identity.nativeKey())
        configuration.setPrivateKey(QSslKey(Qt::HANDLE(key), QSsl::PrivateKey));
    configuration.setPeerVerifyMode(server ? QSslSocket::QueryPeer : QSslSocket::VerifyNone);
    configuration.setCaCertificates({});
    return configuration;
}

QByteArray certificateKey(const QSslCertificate &certificate)
{
    return certificate.isNull() ? QByteArray() : Identity::certificateKeyDigest(certificate.toDer());
}

QString keyText(const QByteArray &key)
{
    return key.size() == kKeyBytes ? QString::fromLatin1(key.toHex()) : QString();
}

QByteArray keyFromText(QStringView text)
{
    if (text.size() != 2 * kKeyBytes)
        return {};
    for (const QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return {};
    }
    return QByteArray::fromHex(text.toLatin1());
}

QString pinnedKeyText(const PinnedKey &pinned)
{
    const QString key = keyText(pinned.key);
    return key.isEmpty() || !pinned.verified ? key : key + kVerifiedMark;
}

PinnedKey pinnedKeyFromText(QStringView text)
{
    PinnedKey pinned;
    pinned.verified = text.endsWith(kVerifiedMark);
    pinned.key = keyFromText(pinned.verified ? text.chopped(kVerifiedMark.size()) : text);
    if (pinned.key.isEmpty())
        pinned.verified = false;
    return pinned;
}

KeyBook loadKeyBook()
{
    const SettingsStore store(QStringLiteral("Quillpost"));
    QHash<int, QString> names;
    QMap<int, PinnedKey> keys;
    for (const auto &[key, value] : store.getAll(QStringLiteral("Users"))) {
        const NumberedKey parsed = splitNumberedKey(key);
        if (parsed.wellFormed && parsed.field == u"name")
            names.insert(parsed.number, value);
        else if (parsed.wellFormed && parsed.field == u"key")
            keys.insert(parsed.number, pinnedKeyFromText(value));
    }
    KeyBook book;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        const QString name = names.value(it.key());
        if (!it->key.isEmpty() && !name.isEmpty() && !book.contains(name))
            book.insert(name, *it);
    }
    return book;
}

SenderTrust senderTrust(const KeyBook &book, const QString &name, const QByteArray &key)
{
    const auto pinned = book.constFind(name);
    if (pinned == book.cend())
        return key.isEmpty() ? SenderTrust::Plain : SenderTrust::NewKey;
    if (pinned->key != key)
        return SenderTrust::Impostor;
    return pinned->verified ? SenderTrust::Verified : SenderTrust::KnownKey;
}

QString senderTrustText(SenderTrust trust, const QByteArray &key)
{
    switch (trust) {
    case SenderTrust::Plain:
        return QCoreApplication::translate("SenderTrust", "not encrypted");
    case SenderTrust::NewKey:
        return QCoreApplication::translate("SenderTrust", "encrypted, new key %1")
            .arg(Identity::verificationCode(key));
    case SenderTrust::KnownKey:
        return QCoreApplication::translate("SenderTrust", "encrypted, key seen before");
    case SenderTrust::Verified:
        return QCoreApplication::translate("SenderTrust", "encrypted, verified");
    case SenderTrust::Impostor:
        if (key.isEmpty())
            return QCoreApplication::translate("SenderTrust",
                                               "WARNING: not encrypted, and this name belongs to a contact "
                                               "with a key: the sender may not be who the name says");
        return QCoreApplication::translate("SenderTrust",
                                           "WARNING: another key than the one of the contact with this name "
                                           "(%1): the sender may not be who the name says")
            .arg(Identity::verificationCode(key));
    }
    return {};
}
