#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// The user's own key pair (ECDSA P-256) and a self-signed certificate for
// it, in one PEM file that both programs share, owner-only. Peers tell the
// user apart by the SHA-256 of the public key, shown as a verification code
// of eight groups of four hex digits that two people compare out of band.
class Identity
{
public:
    enum class State
    {
        Ready,
        Missing, // no file yet (or it was lost)
        Damaged  // a file that holds no matching key and certificate
    };

    // $XDG_DATA_HOME/Quill/identity.pem (the platform's data folder
    // elsewhere).
    static QString defaultPath();

    // Reads the file at path; state() says what came of it.
    static Identity load(const QString &path);
    // Makes a new key pair and certificate and writes them to path, owner-
    // only, its folder owner-only too; a file already there is replaced
    // only once the new one is complete. Damaged with error() when the file
    // cannot be written.
    static Identity create(const QString &path);

    // The SHA-256 of the public key of a certificate in DER; empty when it
    // holds none. Reading a key is slow; the digests of the certificates
    // seen lately are kept.
    static QByteArray certificateKeyDigest(const QByteArray &der);
    // The private key as the TLS library's own object (an EVP_PKEY), for a
    // QSslKey to own: a key given that way is used as it is for each
    // connection, not read again from its text. Null when there is none.
    void *nativeKey() const;
    // "0a1b 2c3d ..." for a SHA-256 digest: its first 16 bytes in groups.
    static QString verificationCode(const QByteArray &digest);

    State state() const { return m_state; }
    QString error() const { return m_error; }
    QString path() const { return m_path; }
    QByteArray keyPem() const { return m_keyPem; }
    QByteArray certificatePem() const { return m_certificatePem; }
    // The SHA-256 of the public key (DER SubjectPublicKeyInfo).
    QByteArray publicKeyDigest() const { return m_digest; }
    QString verificationCode() const { return verificationCode(m_digest); }

private:
    QString m_path;
    State m_state = State::Missing;
    QString m_error;
    QByteArray m_keyPem;
    QByteArray m_certificatePem;
    QByteArray m_digest;
};

// The user's identity where nobody can be asked (a connection needs it):
// read, or made when there never was one (Quillpost's identification has
// recorded no code). A lost or damaged one stays so, for Quillpost's
// Identification to replace with the user.
Identity ownIdentityWithoutAsking();

// The identity for a window that needs it now: read, or made on first need.
// A file that was there once (knownCode, the code last seen, not empty) and
// is gone, or one that is damaged, is replaced only when the user agrees, in
// a box under owner (for the user's own click); a damaged one is kept as
// path.damaged. Without that, its state() stays Missing or Damaged.
Identity obtainIdentity(const QString &path, const QString &knownCode, QWidget *owner);
