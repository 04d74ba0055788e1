#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpSocket;

// One message on its way: connects to a recipient, writes one payload once
// the connection is up, and reports what happened. It shows nothing; the
// window decides what the user sees.
//
// Each attempt gets a socket of its own, so a late event of an attempt that
// was closed (Stop, or a new send started over it) can never reach the
// window as if it belonged to the current one.
class MessageSender : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Idle,       // nothing under way
        Connecting, // connection attempt under way
        Sending,    // connected; the payload may be on its way
        Delivered   // the whole payload was handed to the system; waiting to be closed
    };

    explicit MessageSender(QObject *parent = nullptr);
    ~MessageSender() override;

    // Closes whatever is under way and starts connecting to ip:port. ip must
    // be a literal IPv4 address (the user list holds addresses, not names, so
    // nothing is looked up). On a request that cannot even start, returns
    // false with a readable description and stays Idle.
    bool start(const QString &ip, qint32 port, QString &description);

    // Hands the whole payload over in one write; sent() follows when the
    // system has taken every byte. Only while connected.
    void send(const QByteArray &payload);

    // Closes the connection or the attempt, silently.
    void close();

    State state() const { return m_state; }

signals:
    void connected();
    void sent();
    void failed(const QString &description);

private:
    void onConnected();
    void onBytesWritten(qint64 bytes);
    void onError();
    void fail(const QString &description);

    QPointer<QTcpSocket> m_socket;
    State m_state = State::Idle;
    qint64 m_bytesToWrite = 0;
};
