#include "localendpoint.h"

#include "logging.h"
#include "singleinstance.h"
#include "windowactivation.h"

#include <QDateTime>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QtEndian>

namespace {

// Characters of a name that are kept as they are in the socket's file
// name; everything else is written as %XX so that no name can lead to a
// file outside the runtime folder.
bool isPlainNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
           c == '-' || c == '_' || c == '.';
}

// The result of a request that was taken.
constexpr qint32 kAnswerTaken = 0;
constexpr qsizetype kAnswerBytes = kEndpointHeaderBytes + 4;
constexpr qsizetype kCopyDataHeadBytes = 8;

quint32 readBigEndian32(const char *bytes)
{
    return qFromBigEndian<quint32>(bytes);
}

QByteArray bigEndian32(quint32 value)
{
    char buffer[4];
    qToBigEndian(value, buffer);
    return QByteArray(buffer, 4);
}

// A refused request is logged with its reason, a flood of them in few lines.
void logRefused(const char *reason)
{
    static RateLimitedLog limit;
    if (limit.allow(QDateTime::currentMSecsSinceEpoch()))
        qCInfo(lcEndpoint, "request refused: %s (%lld others held back so far)", reason,
               static_cast<long long>(limit.suppressed()));
}

// One client connection of the server: collects one request within its time
// limit, hands it to the endpoint, answers and closes.
class EndpointConnection : public QObject
{
public:
    EndpointConnection(QLocalSocket *socket, LocalEndpoint *endpoint, int timeoutMs, int &counter,
                       QList<QObject *> &waiting)
        : QObject(endpoint)
        , m_socket(socket)
        , m_endpoint(endpoint)
        , m_counter(counter)
        , m_waiting(waiting)
    {
        ++m_counter;
        m_waiting.append(this);
        socket->setParent(this);
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { finish(); });
        connect(socket, &QLocalSocket::readyRead, this, [this] { onReadyRead(); });
        connect(socket, &QLocalSocket::disconnected, this, [this] { finish(); });
        connect(socket, &QLocalSocket::errorOccurred, this, [this] { finish(); });
        m_timer.start(timeoutMs);
        // Bytes that came with the connection raise no further readyRead.
        QTimer::singleShot(0, this, [this] { onReadyRead(); });
    }

    ~EndpointConnection() override { release(); }

    // Closed to make room for a newer client.
    void evict() { finish(); }

private:
    void onReadyRead()
    {
        while (!m_done && m_socket && m_socket->bytesAvailable() > 0) {
            // Never read more than the request can hold.
            const qsizetype wanted = (m_expected == 0 ? kEndpointHeaderBytes : m_expected) - m_buffer.size();
            m_buffer.append(m_socket->read(wanted));
            if (m_expected == 0 && m_buffer.size() == kEndpointHeaderBytes) {
                const EndpointHeader header = readEndpointHeader(m_buffer.constData());
                if (const char *refusal = refusalOf(header)) {
                    logRefused(refusal);
                    finish();
                    return;
                }
                m_expected = kEndpointHeaderBytes + header.length;
            }
            if (m_expected > 0 && m_buffer.size() == m_expected) {
                handleRequest();
                return;
            }
        }
    }

    // Why a request with this header is not read on, or nullptr.
    static const char *refusalOf(EndpointHeader header)
    {
        if (header.length > kMaxEndpointBodyBytes)
            return "body too long";
        if (header.kind == kEndpointBringToFront)
            return header.length <= kMaxActivationTokenBytes ? nullptr : "bring-to-front token too long";
        if (header.kind == kEndpointCopyData)
            return header.length >= kCopyDataHeadBytes ? nullptr : "copy-data body too short";
        return "unknown kind";
    }

    void handleRequest()
    {
        m_done = true;
        m_waiting.removeOne(this);
        if (readEndpointHeader(m_buffer.constData()).kind == kEndpointBringToFront) {
            const QByteArray token = m_buffer.mid(kEndpointHeaderBytes);
            if (!token.isEmpty() && !isActivationToken(token)) {
                logRefused("the activation token is not printable ASCII");
                finish();
                return;
            }
            emit m_endpoint->bringToFrontRequested(QString::fromLatin1(token));
        } else {
            const char *body = m_buffer.constData() + kEndpointHeaderBytes;
            const quint32 dwData = readBigEndian32(body);
            const quint32 cbData = readBigEndian32(body + 4);
            const qsizetype bodyLength = m_buffer.size() - kEndpointHeaderBytes;
            if (cbData != static_cast<quint64>(bodyLength - kCopyDataHeadBytes)) {
                logRefused("cbData differs from the data's length");
                finish();
                return;
            }
            emit m_endpoint->copyDataReceived(
                dwData, QByteArray(body + kCopyDataHeadBytes, bodyLength - kCopyDataHeadBytes));
        }
        m_socket->write(
            endpointRequestBytes(kEndpointAnswer, bigEndian32(static_cast<quint32>(kAnswerTaken))));
        m_socket->disconnectFromServer();
        // A client that never reads its answer is dropped after the limit.
        m_timer.start();
        if (m_socket->state() == QLocalSocket::UnconnectedState)
            finish();
    }

    void finish()
    {
        if (m_finishing)
            return;
        m_finishing = true;
        m_done = true;
        release();
        m_timer.stop();
        if (m_socket) {
            m_socket->disconnect(this);
            m_socket->abort();
        }
        deleteLater();
    }

    // Gives up the connection's place, once: a closed connection no longer
    // counts, even before it is deleted.
    void release()
    {
        if (m_released)
            return;
        m_released = true;
        --m_counter;
        m_waiting.removeOne(this);
    }

    QPointer<QLocalSocket> m_socket;
    LocalEndpoint *m_endpoint;
    int &m_counter;
    QList<QObject *> &m_waiting;
    QTimer m_timer;
    QByteArray m_buffer;
    qsizetype m_expected = 0;
    bool m_done = false;
    bool m_finishing = false;
    bool m_released = false;
};

} // namespace

QString endpointPath(const QString &name)
{
    QString fileName;
    for (const char c : name.toUtf8()) {
        if (isPlainNameCharacter(c))
            fileName += QLatin1Char(c);
        else
            fileName += u'%' + QString::number(static_cast<uchar>(c), 16).toUpper().rightJustified(2, u'0');
    }
    return privateRuntimeFolder() + QStringLiteral("/") + fileName + QStringLiteral(".endpoint");
}

EndpointHeader readEndpointHeader(const char *bytes)
{
    return {readBigEndian32(bytes), readBigEndian32(bytes + 4)};
}

QByteArray endpointRequestBytes(quint32 kind, const QByteArray &body)
{
    return bigEndian32(kind) + bigEndian32(static_cast<quint32>(body.size())) + body;
}

QByteArray copyDataBody(quint32 dwData, const QByteArray &data)
{
    return bigEndian32(dwData) + bigEndian32(static_cast<quint32>(data.size())) + data;
}

LocalEndpoint::LocalEndpoint(const QString &name, QObject *parent)
    : QObject(parent)
    , m_path(endpointPath(name))
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &LocalEndpoint::onNewConnection);
}

LocalEndpoint::~LocalEndpoint()
{
    close();
    // Connections count themselves down in m_connections, which must still
    // exist when they go.
    const QObjectList children = this->children();
    for (QObject *child : children) {
        if (dynamic_cast<EndpointConnection *>(child))
            delete child;
    }
}

bool LocalEndpoint::listen()
{
    if (m_server->isListening())
        return true;
    QLocalServer::removeServer(m_path);
    return m_server->listen(m_path);
}

void LocalEndpoint::close()
{
    if (m_server->isListening())
        m_server->close();
}

bool LocalEndpoint::isListening() const
{
    return m_server->isListening();
}

QString LocalEndpoint::errorString() const
{
    return m_server->errorString();
}

void LocalEndpoint::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        // At the bound the oldest connection that has not sent its whole
        // request makes room; when every place is answering one, the new
        // client is refused.
        if (m_connections >= kMaxEndpointConnections) {
            if (m_waiting.isEmpty()) {
                logRefused("every connection is answering a request");
                socket->abort();
                socket->deleteLater();
                continue;
            }
            static_cast<EndpointConnection *>(m_waiting.constFirst())->evict();
        }
        new EndpointConnection(socket, this, m_requestTimeoutMs, m_connections, m_waiting);
    }
}

EndpointRequest::EndpointRequest(const QString &name, QByteArray request, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_path(endpointPath(name))
    , m_request(std::move(request))
    , m_socket(new QLocalSocket(this))
    , m_deadline(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    m_deadline->setInterval(timeoutMs);
    connect(m_deadline, &QTimer::timeout, this,
            [this] { finish(m_connected ? EndpointReply::Failed : EndpointReply::NoEndpoint); });
    connect(m_socket, &QLocalSocket::connected, this, &EndpointRequest::onConnected);
    connect(m_socket, &QLocalSocket::readyRead, this, &EndpointRequest::onReadyRead);
    connect(m_socket, &QLocalSocket::errorOccurred, this, &EndpointRequest::onError);
    connect(m_socket, &QLocalSocket::disconnected, this, &EndpointRequest::onError);
}

EndpointRequest::~EndpointRequest() = default;

EndpointRequest *EndpointRequest::bringToFront(const QString &name, int timeoutMs, QObject *parent,
                                               const QByteArray &activationToken)
{
    return new EndpointRequest(name, endpointRequestBytes(kEndpointBringToFront, activationToken), timeoutMs,
                               parent);
}

EndpointRequest *EndpointRequest::copyData(const QString &name, quint32 dwData, const QByteArray &data,
                                           int timeoutMs, QObject *parent)
{
    // A body the endpoint would refuse unread is not sent at all.
    QByteArray request;
    if (data.size() <= kMaxEndpointBodyBytes - kCopyDataHeadBytes)
        request = endpointRequestBytes(kEndpointCopyData, copyDataBody(dwData, data));
    return new EndpointRequest(name, request, timeoutMs, parent);
}

void EndpointRequest::start()
{
    m_deadline->start();
    // From the event loop, so that finished() never comes before start()
    // has returned.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_finished)
                return;
            if (m_request.isEmpty())
                finish(EndpointReply::Failed);
            else
                m_socket->connectToServer(m_path);
        },
        Qt::QueuedConnection);
}

void EndpointRequest::onConnected()
{
    m_connected = true;
    m_socket->write(m_request);
}

void EndpointRequest::onReadyRead()
{
    m_answer.append(m_socket->read(kAnswerBytes - m_answer.size()));
    if (m_answer.size() < kAnswerBytes)
        return;
    const EndpointHeader header = readEndpointHeader(m_answer.constData());
    const bool taken =
        header.kind == kEndpointAnswer && header.length == 4 &&
        static_cast<qint32>(readBigEndian32(m_answer.constData() + kEndpointHeaderBytes)) == kAnswerTaken;
    finish(taken ? EndpointReply::Answered : EndpointReply::Failed);
}

void EndpointRequest::onError()
{
    // The answer may have come with the end of the connection.
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
    finish(m_connected ? EndpointReply::Failed : EndpointReply::NoEndpoint);
}

void EndpointRequest::finish(EndpointReply reply)
{
    if (m_finished)
        return;
    m_finished = true;
    m_deadline->stop();
    m_socket->disconnect(this);
    m_socket->abort();
    emit finished(reply);
}
