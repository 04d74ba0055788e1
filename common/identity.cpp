#include "identity.h"

#include "logging.h"
#include "messagebox.h"
#include "settingsstore.h"

#include <QCache>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QStandardPaths>
#include <memory>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

namespace {

// Far beyond a key and a certificate in PEM; a larger file is not read.
constexpr qint64 kMaxFileBytes = 64 * 1024;
// The certificate only carries the key: it is pinned, never checked
// against a date or an authority, so it outlives any key a user keeps.
constexpr long kValidSeconds = 100L * 365 * 24 * 3600;
constexpr auto kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr auto kOwnerFolder = kOwnerOnly | QFileDevice::ExeOwner;

struct Free
{
    void operator()(BIO *bio) const { BIO_free(bio); }
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
    void operator()(X509 *certificate) const { X509_free(certificate); }
    void operator()(ASN1_INTEGER *number) const { ASN1_INTEGER_free(number); }
    void operator()(unsigned char *bytes) const { OPENSSL_free(bytes); }
};
template <typename T> using Owned = std::unique_ptr<T, Free>;

QString OpenSslError(const char *what)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = {};
    if (code != 0)
        ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(what) +
           (code != 0 ? QStringLiteral(": ") + QString::fromLatin1(text) : QString());
}

QByteArray BioBytes(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? QByteArray(data, size) : QByteArray();
}

QByteArray PublicKeyDigest(EVP_PKEY *key)
{
    unsigned char *der = nullptr;
    const int size = i2d_PUBKEY(key, &der);
    if (size <= 0)
        return {};
    const Owned<unsigned char> owned(der);
    return QCryptographicHash::hash(QByteArrayView(der, size), QCryptographicHash::Sha256);
}

Owned<X509> SelfSigned(EVP_PKEY *key)
{
    Owned<X509> certificate(X509_new());
    unsigned char serialBytes[16] = {};
    if (!certificate || RAND_bytes(serialBytes, sizeof serialBytes) != 1)
        return {};
    serialBytes[0] &= 0x7f; // a positive serial number
    Owned<ASN1_INTEGER> serial(ASN1_INTEGER_new());
    BIGNUM *number = BN_bin2bn(serialBytes, sizeof serialBytes, nullptr);
    const bool serialSet = number && serial && BN_to_ASN1_INTEGER(number, serial.get());
    BN_free(number);
    X509_NAME *name = X509_get_subject_name(certificate.get());
    const bool ok =
        serialSet && X509_set_version(certificate.get(), X509_VERSION_3) == 1 &&
        X509_set_serialNumber(certificate.get(), serial.get()) == 1 &&
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0) &&
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), kValidSeconds) &&
        X509_set_pubkey(certificate.get(), key) == 1 &&
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("Quill"),
                                   -1, -1, 0) == 1 &&
        X509_set_issuer_name(certificate.get(), name) == 1 &&
        X509_sign(certificate.get(), key, EVP_sha256()) > 0;
    return ok ? std::move(certificate) : Owned<X509>();
}

} // namespace

QString Identity::defaultPath()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data + QStringLiteral("/Quill/identity.pem");
}

Identity Identity::load(const QString &path)
{
    Identity identity;
    identity.m_path = path;
    QFile file(path);
    if (!file.exists())
        return identity;
    identity.m_state = State::Damaged;
    if (!file.open(QIODevice::ReadOnly)) {
        identity.m_error = file.errorString();
        return identity;
    }
    if (file.size() > kMaxFileBytes) {
        identity.m_error = QStringLiteral("the file is larger than a key and a certificate");
        return identity;
    }
    const QByteArray pem = file.readAll();
    // A copy restored with other modes is made owner-only again.
    constexpr auto kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                             QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (file.permissions() & kOthers)
        file.setPermissions(kOwnerOnly);

    const Owned<BIO> keyBio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    const Owned<EVP_PKEY> key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    const Owned<BIO> certificateBio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    const Owned<X509> certificate(PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr));
    if (!key || !certificate) {
        identity.m_error = OpenSslError(!key ? "no private key" : "no certificate");
        return identity;
    }
    if (X509_check_private_key(certificate.get(), key.get()) != 1) {
        identity.m_error = OpenSslError("the certificate is not for the private key");
        return identity;
    }
    const Owned<BIO> keyOut(BIO_new(BIO_s_mem()));
    const Owned<BIO> certificateOut(BIO_new(BIO_s_mem()));
    if (!PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ||
        !PEM_write_bio_X509(certificateOut.get(), certificate.get())) {
        identity.m_error = OpenSslError("cannot read the key back");
        return identity;
    }
    identity.m_keyPem = BioBytes(keyOut.get());
    identity.m_certificatePem = BioBytes(certificateOut.get());
    identity.m_digest = PublicKeyDigest(key.get());
    identity.m_state = State::Ready;
    return identity;
}

Identity Identity::create(const QString &path)
{
    Identity identity;
    identity.m_path = path;
    identity.m_state = State::Damaged;
    const Owned<EVP_PKEY> key(EVP_EC_gen("P-256"));
    const Owned<X509> certificate = key ? SelfSigned(key.get()) : Owned<X509>();
    const Owned<BIO> out(BIO_new(BIO_s_mem()));
    if (!certificate || !out ||
        !PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ||
        !PEM_write_bio_X509(out.get(), certificate.get())) {
        identity.m_error = OpenSslError("cannot make a key");
        return identity;
    }
    const QByteArray pem = BioBytes(out.get());

    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder) || !QFile::setPermissions(folder, kOwnerFolder)) {
        identity.m_error = QStringLiteral("cannot make the folder %1").arg(folder);
        return identity;
    }
    QSaveFile file(path);
    // Owner-only before the key is in it.
    const bool written = file.open(QIODevice::WriteOnly) && file.setPermissions(kOwnerOnly) &&
                         file.write(pem) == pem.size() && file.commit();
    if (!written) {
        identity.m_error = file.errorString();
        return identity;
    }
    qCInfo(lcSettings) << "made a new key in" << path;
    return load(path);
}

QByteArray Identity::certificateKeyDigest(const QByteArray &der)
{
    // A peer shows the same certificate each time: its digest is looked up
    // by the certificate's own hash rather than read again (about half a
    // millisecond a certificate).
    constexpr int kKeptDigests = 256;
    static QMutex mutex;
    static QCache<QByteArray, QByteArray> seen(kKeptDigests);
    const QByteArray hash = QCryptographicHash::hash(der, QCryptographicHash::Sha256);
    {
        const QMutexLocker lock(&mutex);
        if (const QByteArray *digest = seen.object(hash))
            return *digest;
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(der.constData());
    const Owned<X509> certificate(d2i_X509(nullptr, &bytes, long(der.size())));
    EVP_PKEY *key = certificate ? X509_get0_pubkey(certificate.get()) : nullptr;
    ERR_clear_error();
    const QByteArray digest = key ? PublicKeyDigest(key) : QByteArray();
    if (!digest.isEmpty()) {
        const QMutexLocker lock(&mutex);
        seen.insert(hash, new QByteArray(digest));
    }
    return digest;
}

void *Identity::nativeKey() const
{
    const Owned<BIO> bio(BIO_new_mem_buf(m_keyPem.constData(), int(m_keyPem.size())));
    EVP_PKEY *key = bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr;
    ERR_clear_error();
    return key;
}

QString Identity::verificationCode(const QByteArray &digest)
{
    if (digest.size() < 16)
        return {};
    QString code;
    for (int group = 0; group < 8; ++group) {
        if (group > 0)
            code += u' ';
        code += QString::fromLatin1(digest.mid(group * 2, 2).toHex());
    }
    return code;
}

Identity ownIdentityWithoutAsking()
{
    const QString knownCode = SettingsStore(QStringLiteral("Quillpost"))
                                  .get(QStringLiteral("Identification"), QStringLiteral("KeyCode"), {});
    Identity identity = Identity::load(Identity::defaultPath());
    if (identity.state() == Identity::State::Missing && knownCode.isEmpty())
        identity = Identity::create(Identity::defaultPath());
    return identity;
}

Identity obtainIdentity(const QString &path, const QString &knownCode, QWidget *owner)
{
    Identity identity = Identity::load(path);
    if (identity.state() == Identity::State::Ready)
        return identity;
    if (identity.state() == Identity::State::Missing && knownCode.isEmpty())
        return Identity::create(path);
    const QString why = identity.state() == Identity::State::Missing
                            ? QCoreApplication::translate("Identity", "Your key file %1 is gone.").arg(path)
                            : QCoreApplication::translate("Identity", "Your key file %1 cannot be read: %2.")
                                  .arg(path, identity.error());
    if (!askYesNo(owner, kTitleWarning,
                  why + QCoreApplication::translate(
                            "Identity",
                            "\n\nMake a new key? People who pinned your old key (code %1) will be "
                            "told that it changed.")
                            .arg(knownCode.isEmpty() ? QCoreApplication::translate("Identity", "unknown")
                                                     : knownCode)))
        return identity;
    // The damaged file stays beside the new one, for whoever can mend it.
    if (identity.state() == Identity::State::Damaged) {
        const QString aside = path + QStringLiteral(".damaged");
        QFile::remove(aside);
        QFile::rename(path, aside);
    }
    return Identity::create(path);
}
