#include "localendpoint.h"

#include "singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QtEndian>

namespace {

// Characters of a caption that are kept as they are in the socket's file
// name; everything else is written as %XX so that no caption can name a
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

void appendBigEndian32(QByteArray &bytes, quint32 value)
{
    char buffer[4];
    qToBigEndian(value, buffer);
    bytes.append(buffer, 4);
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
                const quint32 kind = readBigEndian32(m_buffer.constData());
                const quint32 length = readBigEndian32(m_buffer.constData() + 4);
                if (!acceptableHeader(kind, length)) {
                    finish();
                    return;
                }
                m_expected = kEndpointHeaderBytes + length;
            }
            if (m_expected > 0 && m_buffer.size() == m_expected) {
                handleRequest();
                return;
            }
        }
    }

    static bool acceptableHeader(quint32 kind, quint32 length)
    {
        if (length > kMaxEndpointBodyBytes)
            return false;
        if (kind == kEndpointBringToFront)
            return length == 0;
        if (kind == kEndpointCopyData)
            return length >= kCopyDataHeadBytes;
        return false;
    }

    void handleRequest()
    {
        m_done = true;
        m_waiting.removeOne(this);
        const quint32 kind = readBigEndian32(m_buffer.constData());
        if (kind == kEndpointBringToFront) {
            emit m_endpoint->bringToFrontRequested();
        } else {
            const char *body = m_buffer.constData() + kEndpointHeaderBytes;
            const quint32 dwData = readBigEndian32(body);
            const quint32 cbData = readBigEndian32(body + 4);
            const qsizetype bodyLength = m_buffer.size() - kEndpointHeaderBytes;
            if (cbData != static_cast<quint64>(bodyLength - kCopyDataHeadBytes)) {
                finish();
                return;
            }
            emit m_endpoint->copyDataReceived(
                dwData, QByteArray(body + kCopyDataHeadBytes, bodyLength - kCopyDataHeadBytes));
        }
        QByteArray answer;
        appendBigEndian32(answer, kEndpointAnswer);
        appendBigEndian32(answer, 4);
        appendBigEndian32(answer, static_cast<quint32>(kAnswerTaken));
        m_socket->write(answer);
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

QString endpointPath(const QString &caption)
{
    QString name;
    for (const char c : caption.toUtf8()) {
        if (isPlainNameCharacter(c))
            name += QLatin1Char(c);
        else
            name += u'%' + QString::number(static_cast<uchar>(c), 16).toUpper().rightJustified(2, u'0');
    }
    return privateRuntimeFolder() + QStringLiteral("/") + name + QStringLiteral(".endpoint");
}

QByteArray endpointRequestBytes(quint32 kind, const QByteArray &body)
{
    QByteArray bytes;
    appendBigEndian32(bytes, kind);
    appendBigEndian32(bytes, static_cast<quint32>(body.size()));
    bytes.append(body);
    return bytes;
}

QByteArray copyDataBody(quint32 dwData, const QByteArray &data)
{
    QByteArray body;
    appendBigEndian32(body, dwData);
    appendBigEndian32(body, static_cast<quint32>(data.size()));
    body.append(data);
    return body;
}

LocalEndpoint::LocalEndpoint(const QString &caption, QObject *parent)
    : QObject(parent)
    , m_path(endpointPath(caption))
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
        if (m_connections >= kMaxEndpointConnections && !m_waiting.isEmpty())
            static_cast<EndpointConnection *>(m_waiting.constFirst())->evict();
        if (m_connections >= kMaxEndpointConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        new EndpointConnection(socket, this, m_requestTimeoutMs, m_connections, m_waiting);
    }
}

EndpointRequest::EndpointRequest(const QString &caption, QByteArray request, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_path(endpointPath(caption))
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

EndpointRequest *EndpointRequest::bringToFront(const QString &caption, int timeoutMs, QObject *parent)
{
    return new EndpointRequest(caption, endpointRequestBytes(kEndpointBringToFront, QByteArray()), timeoutMs,
                               parent);
}

EndpointRequest *EndpointRequest::copyData(const QString &caption, quint32 dwData, const QByteArray &data,
                                           int timeoutMs, QObject *parent)
{
    // A body the endpoint would refuse unread is not sent at all.
    QByteArray request;
    if (data.size() <= kMaxEndpointBodyBytes - kCopyDataHeadBytes)
        request = endpointRequestBytes(kEndpointCopyData, copyDataBody(dwData, data));
    return new EndpointRequest(caption, request, timeoutMs, parent);
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
    const bool taken = readBigEndian32(m_answer.constData()) == kEndpointAnswer &&
                       readBigEndian32(m_answer.constData() + 4) == 4 &&
                       static_cast<qint32>(readBigEndian32(m_answer.constData() + 8)) == kAnswerTaken;
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
