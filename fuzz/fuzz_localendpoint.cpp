// Any bytes sent to a program's local endpoint, written in pieces whose size
// the first byte picks: the real server in this process reads them through a
// real local socket. It must never crash, hang or leak, must hand on exactly
// the well-formed requests, and must hand on their bytes unchanged.
#include "localendpoint.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

// Bounds one input's exchange; the server finishes far sooner, as the
// client closes as soon as its bytes are written.
constexpr int kExchangeLimitMs = 4000;
const QString kCaption = QStringLiteral("Fuzzed Window");

struct Expected
{
    quint32 kind = 0;
    quint32 dwData = 0;
    QByteArray data;
};

// What the server should take from the stream, worked out independently of
// its reading code: one request of a known kind, complete, within the bound.
std::optional<Expected> WellFormedRequest(const QByteArray &stream)
{
    if (stream.size() < kEndpointHeaderBytes)
        return std::nullopt;
    const quint32 kind = qFromBigEndian<quint32>(stream.constData());
    const quint32 length = qFromBigEndian<quint32>(stream.constData() + 4);
    if (length > kMaxEndpointBodyBytes || stream.size() < kEndpointHeaderBytes + qsizetype(length))
        return std::nullopt;
    if (kind == kEndpointBringToFront)
        return length == 0 ? std::optional<Expected>(Expected{kind, 0, {}}) : std::nullopt;
    if (kind != kEndpointCopyData || length < 8)
        return std::nullopt;
    const char *body = stream.constData() + kEndpointHeaderBytes;
    if (qFromBigEndian<quint32>(body + 4) != length - 8)
        return std::nullopt;
    return Expected{kind, qFromBigEndian<quint32>(body), QByteArray(body + 8, length - 8)};
}

struct Harness
{
    QTemporaryDir runtime;
    LocalEndpoint *endpoint = nullptr;
    int bringToFront = 0;
    QList<Expected> copies;
};

Harness *g_harness = nullptr;

bool ConnectionsOpen()
{
    // The endpoint's only other child is its server.
    return g_harness->endpoint->children().size() > 1;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    static QCoreApplication app(*argc, *argv);
    g_harness = new Harness;
    // The endpoint lives in a private runtime folder of its own.
    QFile::setPermissions(g_harness->runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(g_harness->runtime.path()));
    g_harness->endpoint = new LocalEndpoint(kCaption);
    QObject::connect(g_harness->endpoint, &LocalEndpoint::bringToFrontRequested, g_harness->endpoint,
                     [] { ++g_harness->bringToFront; });
    QObject::connect(g_harness->endpoint, &LocalEndpoint::copyDataReceived, g_harness->endpoint,
                     [](quint32 dwData, const QByteArray &data) {
                         g_harness->copies.append(Expected{kEndpointCopyData, dwData, data});
                     });
    if (!g_harness->endpoint->listen())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // 0 writes everything at once; otherwise the piece size.
    const qsizetype piece = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    g_harness->bringToFront = 0;
    g_harness->copies.clear();

    const QDeadlineTimer deadline(kExchangeLimitMs);
    {
        QLocalSocket client;
        client.connectToServer(g_harness->endpoint->path());
        if (!client.waitForConnected(kExchangeLimitMs))
            std::abort();
        for (qsizetype at = 0; at < stream.size() && client.state() == QLocalSocket::ConnectedState;) {
            const qsizetype count = piece == 0 ? stream.size() : std::min(piece, stream.size() - at);
            client.write(stream.constData() + at, count);
            client.flush();
            at += count;
            // The server reads this piece before the next one arrives.
            QCoreApplication::processEvents();
        }
        while (client.bytesToWrite() > 0 && client.state() == QLocalSocket::ConnectedState &&
               !deadline.hasExpired())
            client.waitForBytesWritten(10);
        client.abort();
    }
    while (ConnectionsOpen() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    if (ConnectionsOpen())
        std::abort(); // a connection outlived its client

    const std::optional<Expected> expected = WellFormedRequest(stream);
    const int taken = g_harness->bringToFront + static_cast<int>(g_harness->copies.size());
    // Bytes written before the server closed are all read: a well-formed
    // request is taken exactly once, anything else never.
    if (taken != (expected ? 1 : 0))
        std::abort();
    if (expected && expected->kind == kEndpointBringToFront && g_harness->bringToFront != 1)
        std::abort();
    if (expected && expected->kind == kEndpointCopyData &&
        (g_harness->copies.size() != 1 || g_harness->copies[0].dwData != expected->dwData ||
         g_harness->copies[0].data != expected->data))
        std::abort();
    return 0;
}
