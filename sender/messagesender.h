#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QSocketNotifier;
class QSslConfiguration;
class QTcpSocket;

// One message on its way: connects to a recipient, writes one payload once
// the connection is up, and reports what happened. It shows nothing; the
// window decides what the user sees.
//
// Delivery is confirmed by the recipient: once every byte has been handed
// over, the sender shuts down its own direction of the connection and waits
// for the recipient to close its end, which a receiver does when it has read
// the message to the end. A reset instead of that close is a failure; no
// answer within the wait leaves the message sent but not confirmed.
//
// To a recipient whose key is known the message goes encrypted (TLS, see
// securetransport.h): the payload is sent only once the recipient has shown
// that key; a recipient that shows another, or answers plain, gets nothing.
// The sender ends the payload with TLS's close alert and waits for the close
// as over a plain connection.
//
// Each attempt gets a socket of its own, so a late event of an attempt that
// was closed (Stop, or a new send started over it) can never reach the
// window as if it belonged to the current one.
class MessageSender : public QObject
{
    Q_OBJECT
public:
    // How long the recipient has to close its end after the message.
    static constexpr int kConfirmWaitMs = 5000;
    // How long looking up a host name and connecting may take together when
    // nothing shorter is set.
    static constexpr int kLookupWaitMs = 5000;

    enum class State
    {
        Idle,       // nothing under way
        Connecting, // connection attempt under way
        Sending,    // connected; the payload may be on its way
        Confirming  // every byte handed over, own side shut down; waiting for the recipient to close
    };

    enum class Outcome
    {
        Delivered,    // the recipient read the message and closed the connection
        NotConfirmed, // sent, but the recipient neither closed nor reset within the wait
        Failed        // never sent, or the recipient reset the connection
    };
    Q_ENUM(Outcome)

    // The configuration encrypted sends present the user's identity with,
    // made from it on first need; null when there is none (encrypted sends
    // then fail, saying so).
    static const QSslConfiguration *clientConfiguration();

    explicit MessageSender(QObject *parent = nullptr);
    ~MessageSender() override;

    // Closes whatever is under way and starts connecting to ip:port. ip is
    // an IPv4 or IPv6 address or a host name (looked up in the background). On a request that cannot even
    // start, returns false with a readable description and stays Idle. Otherwise finished() follows, always
    // from the event loop, also when the system refuses the connection at once (no route, a broadcast
    // address).
    bool start(const QString &ip, qint32 port, QString &description);

    // Hands the whole payload over in one write; finished() follows when the
    // recipient has answered or the wait is over. Only while connected.
    void send(const QByteArray &payload);

    // For the next start(): the key the recipient must show (the message
    // then goes encrypted), or none; with requireEncryption a recipient
    // without a key gets nothing.
    void setRecipientKey(const QByteArray &key, bool requireEncryption = false)
    {
        m_expectedKey = key;
        m_requireEncryption = requireEncryption;
    }
    // Whether the connection under way (or the latest) is encrypted; its
    // payload is then in UTF-8.
    bool isEncrypted() const { return m_encrypted; }
    // The key the recipient showed, also when it was not the one expected
    // (keyMismatch()).
    const QByteArray &peerKey() const { return m_peerKey; }
    bool keyMismatch() const { return m_keyMismatch; }

    // Closes the connection or the attempt, silently.
    void close();

    State state() const { return m_state; }
    // The wait for the recipient's close (kConfirmWaitMs unless changed).
    void setConfirmWait(int ms) { m_confirmTimer.setInterval(ms); }
    // How long a connection attempt may take before it counts as failed; 0
    // (the default) leaves it to the system, which gives up after a minute or
    // more. Takes effect from the next start().
    void setConnectWait(int ms) { m_connectWaitMs = ms; }

signals:
    void connected();
    // The end of an attempt; the connection is closed by then. The
    // description says why for NotConfirmed and Failed.
    void finished(MessageSender::Outcome outcome, const QString &description);

private:
    void onConnected();
    void onEncrypted();
    void onBytesWritten(qint64 bytes);
    void onError();
    void awaitConfirmation();
    void onAnswerReadable();
    void onConfirmTimeout();
    void onConnectTimeout();
    void finish(Outcome outcome, const QString &description);
    void fail(const QString &description) { finish(Outcome::Failed, description); }

    QPointer<QTcpSocket> m_socket;
    // While confirming: the connection's own descriptor and its watcher.
    int m_descriptor = -1;
    QSocketNotifier *m_answer = nullptr;
    QTimer m_confirmTimer;
    QTimer m_connectTimer;
    int m_connectWaitMs = 0;
    // While start() has the socket connect: an error it raises then is
    // reported from the event loop, as every other outcome is.
    bool m_starting = false;
    State m_state = State::Idle;
    qint64 m_bytesToWrite = 0;
    QByteArray m_expectedKey;
    bool m_requireEncryption = false;
    bool m_encrypted = false;
    bool m_keyMismatch = false;
    QByteArray m_peerKey;
    // An encrypted socket flushing its close alert while confirming.
    QPointer<QTcpSocket> m_closing;
};
