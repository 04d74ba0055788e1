// Any bytes sent to a program's local endpoint through a real local socket,
// in pieces whose size the first byte picks (0: all at once). The endpoint
// must never crash, hang or leak, must close every connection, and must hand
// on exactly the well-formed requests, their bytes unchanged.
#include "localendpoint.h"
#include "windowactivation.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <csignal>
#include <cstdlib>

namespace {

LocalEndpoint *g_endpoint = nullptr;
QByteArrayList g_handedOn; // "front", or "<dwData>:<bytes>"

// What the endpoint should hand on, worked out apart from its own reading.
QByteArrayList WellFormed(const QByteArray &stream)
{
    const auto word = [&stream](qsizetype at) { return qFromBigEndian<quint32>(stream.constData() + at); };
    if (stream.size() < 8 || word(4) > kMaxEndpointBodyBytes || stream.size() < 8 + qsizetype(word(4)))
        return {};
    // A bring-to-front request carries nothing or an activation token.
    if (word(0) == kEndpointBringToFront)
        return word(4) == 0 || isActivationToken(stream.mid(8, word(4))) ? QByteArrayList{"front"}
                                                                         : QByteArrayList{};
    if (word(0) != kEndpointCopyData || word(4) < 8 || word(12) != word(4) - 8)
        return {};
    return {QByteArray::number(word(8)) + ':' + stream.mid(16, word(4) - 8)};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir runtime; // the owner-only runtime folder the endpoint lives in
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    g_endpoint = new LocalEndpoint(QStringLiteral("Fuzzed Window"));
    QObject::connect(g_endpoint, &LocalEndpoint::bringToFrontRequested, g_endpoint,
                     [] { g_handedOn << "front"; });
    QObject::connect(g_endpoint, &LocalEndpoint::copyDataReceived, g_endpoint,
                     [](quint32 dwData, const QByteArray &data) {
                         g_handedOn << QByteArray::number(dwData) + ':' + data;
                     });
    if (!g_endpoint->listen())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype piece = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    g_handedOn.clear();
    const QDeadlineTimer deadline(4000); // the endpoint is done far sooner
    {
        QLocalSocket client;
        client.connectToServer(g_endpoint->path());
        if (!client.waitForConnected(4000))
            std::abort();
        for (qsizetype at = 0; at < stream.size() && client.state() == QLocalSocket::ConnectedState;) {
            const qsizetype count = piece == 0 ? stream.size() : std::min(piece, stream.size() - at);
            client.write(stream.constData() + at, count);
            client.flush();
            at += count;
            QCoreApplication::processEvents(); // the endpoint reads each piece before the next
        }
        while (client.bytesToWrite() > 0 && client.state() == QLocalSocket::ConnectedState &&
               !deadline.hasExpired())
            client.waitForBytesWritten(10);
    }
    // The endpoint's only lasting child is its server; connections must go.
    while (g_endpoint->children().size() > 1 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    if (g_endpoint->children().size() > 1 || g_handedOn != WellFormed(stream))
        std::abort();
    return 0;
}
