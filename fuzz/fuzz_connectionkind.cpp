// Any first bytes of a connection, written whole and followed by the
// sender's close, read by a port that serves encrypted connections too:
// bytes that do not open a TLS handshake are read exactly as sent, and what
// does open one never yields a message, however it goes on.
#include "connectionreader.h"
#include "identity.h"
#include "securetransport.h"
#include "wireformat.h"

#include <QCoreApplication>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_connectionkind";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir folder;
    static const QSslConfiguration tls =
        tlsConfiguration(Identity::create(folder.filePath(QStringLiteral("identity.pem"))), true);
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    int pair[2];
    if (size > size_t(kMaxPayloadBytes) || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair) != 0)
        return 0;
    const bool written = input.isEmpty() || ::write(pair[1], input.constData(), size) == qsizetype(size);
    ::shutdown(pair[1], SHUT_WR);
    PeerConnections peer;
    {
        ConnectionReader reader(pair[0], QStringLiteral("127.0.0.1"), 1, QDeadlineTimer(2000), &peer, &tls);
        ReadBuffers buffers;
        QObject context;
        bool done = reader.read(buffers);
        reader.watch(&context, [&] { done = reader.read(buffers) || done; });
        while (!done && !reader.finishIfOverdue())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const QByteArray payload = reader.takePayload();
        if (!reader.peerKey().isEmpty() ||
            (connectionKind(input.first(std::min<qsizetype>(size, 3))) == ConnectionKind::Tls
                 ? !reader.isRefused() || !payload.isEmpty()
                 : written && payload != input))
            std::abort();
    }
    ::close(pair[1]);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
