#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QTimer;

// A per-user local endpoint that a program answers on under a name of its
// own, so that another process of the same user can ask it to bring its
// window forward or hand it a copy-data record. The socket lives in the
// user's private runtime folder and only its owner may connect.
//
// Every request is a fixed header (kind, body length: two 32-bit unsigned
// integers, big-endian) and its body; one request per connection, answered
// by a header of kind kEndpointAnswer and a 32-bit signed result.

enum EndpointKind : quint32
{
    kEndpointBringToFront = 1, // no body, or an activation token
    kEndpointCopyData = 2,     // dwData, cbData (32-bit, big-endian), then cbData bytes
    kEndpointAnswer = 0x80,    // body: the 32-bit result
};

constexpr qsizetype kEndpointHeaderBytes = 8;

// The endpoint Quillpost answers on: Quillbox hands it reply records, and a
// second copy of Quillpost asks it to come forward. The name is the one the
// socket has always had (it once came from the main window's caption), so
// the programs of earlier versions still find each other; it is not shown.
inline const QString kSendEndpointName = QStringLiteral("Send Message");
// A copy-data record is a few hundred bytes at most; anything close to this
// is not a request of ours and is refused before a byte of it is read.
constexpr qsizetype kMaxEndpointBodyBytes = 64 * 1024;
// A client has this long from connecting to its request's last byte, so a
// stalled or half-written request cannot hold a connection for ever.
constexpr int kEndpointRequestTimeoutMs = 2000;
// Connections served at once. A genuine client writes its request as soon
// as it is connected, so at the bound the oldest connection still waiting
// for its request is closed to make room: stalled clients only push each
// other out. When every place holds a request being answered, a further
// client is closed at once.
constexpr int kMaxEndpointConnections = 32;
// How long a client gives the whole round trip. A program answers as soon
// as it has taken the request, so this only ends the wait for one that hangs.
constexpr int kEndpointClientTimeoutMs = 10000;

// The socket path of the endpoint of that name.
QString endpointPath(const QString &name);

// The header every request and answer starts with.
struct EndpointHeader
{
    quint32 kind = 0;
    quint32 length = 0; // of the body that follows
};
// Reads the header from the first kEndpointHeaderBytes of bytes (which must
// hold them).
EndpointHeader readEndpointHeader(const char *bytes);

class LocalEndpoint : public QObject
{
    Q_OBJECT
public:
    explicit LocalEndpoint(const QString &name, QObject *parent = nullptr);
    ~LocalEndpoint() override;

    // Starts answering. A socket left behind by a copy that died is removed
    // first: only call this while holding the program's single-instance lock.
    bool listen();
    void close();
    bool isListening() const;
    QString path() const { return m_path; }
    QString errorString() const;

    // Tests shorten the time-out.
    void setRequestTimeout(int milliseconds) { m_requestTimeoutMs = milliseconds; }

signals:
    // activationToken: empty, or one the client handed over with the request.
    void bringToFrontRequested(const QString &activationToken);
    // Emitted while the client waits for the answer; the answer goes out when
    // the connected slots have returned.
    void copyDataReceived(quint32 dwData, QByteArray data);

private:
    void onNewConnection();

    QString m_path;
    QLocalServer *m_server;
    int m_requestTimeoutMs = kEndpointRequestTimeoutMs;
    int m_connections = 0;
    QList<QObject *> m_waiting; // connections still reading their request, oldest first
};

// Client side: one request to the endpoint of a running program, without
// waiting for it. The request connects, writes, reads the answer and reports
// through finished() exactly once, from the event loop, at the latest when
// its deadline has passed.
enum class EndpointReply
{
    Answered,   // the window's program took the request
    NoEndpoint, // no program answers under that name
    Failed      // it broke off, refused the request or did not answer in time
};

class EndpointRequest : public QObject
{
    Q_OBJECT
public:
    // Asks the window's program to bring the window forward, with the
    // activation token that lets it (see bringToFront()), if there is one.
    static EndpointRequest *bringToFront(const QString &name, int timeoutMs, QObject *parent = nullptr,
                                         const QByteArray &activationToken = {});
    // Hands the window's program a copy-data record.
    static EndpointRequest *copyData(const QString &name, quint32 dwData, const QByteArray &data,
                                     int timeoutMs, QObject *parent = nullptr);
    ~EndpointRequest() override;

    // Starts the exchange; call once, after connecting to finished().
    void start();
    bool isFinished() const { return m_finished; }

signals:
    void finished(EndpointReply reply);

private:
    EndpointRequest(const QString &name, QByteArray request, int timeoutMs, QObject *parent);
    void onConnected();
    void onReadyRead();
    void onError();
    void finish(EndpointReply reply);

    QString m_path;
    QByteArray m_request;
    QByteArray m_answer;
    QLocalSocket *m_socket;
    QTimer *m_deadline;
    bool m_connected = false;
    bool m_finished = false;
};

// A request or an answer as it travels: its header, then body (tests send
// them in pieces or damaged).
QByteArray endpointRequestBytes(quint32 kind, const QByteArray &body);
QByteArray copyDataBody(quint32 dwData, const QByteArray &data);
