// Encrypted receiving against plain, in turn in the same run: 8 senders
// (the program's own MessageSender) each wait for the close of one message
// before the next, to Quillbox's network side on a thread of its own, with no
// history. Then a flood of TLS handshakes from one address while another
// address sends now and then: how long that address's messages take.
//
//   bench_tls [messages [runs [flood-seconds]]]      (defaults: 2000, 5, 10)
//
// Loopback only. Prints medians; exits 1 when a message was lost or the
// flood more than doubles the other address's median delivery time (the
// aim of half the plain rate for small messages is reported, not enforced:
// each message is a connection and so a handshake of its own).
#include "../common/benchsupport.h"

#include "identity.h"
#include "messagesender.h"
#include "receivernetwork.h"

#include <QCoreApplication>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kSenders = 8;

struct Round
{
    double perSecond = 0;
    double networkCpuUs = 0; // the receiver's network thread, per message
    double senderCpuUs = 0;  // the sending thread, per message
};

struct Receiver
{
    Receiver(const QSslConfiguration &tls)
    {
        network.moveToThread(&thread);
        thread.start();
        QMetaObject::invokeMethod(
            &network,
            [&] {
                network.setTls(tls);
                port = network.applyPorts({0}).value(0).listening;
            },
            Qt::BlockingQueuedConnection);
        QObject::connect(&network, &ReceiverNetwork::messagesArrived, &network,
                         [this](const QList<Message> &messages) {
                             arrived += int(messages.size());
                             // Taken at once, as a window would take them.
                             bool roomMade = false;
                             for (qsizetype i = 0; i < messages.size(); ++i)
                                 roomMade = admission.taken() || roomMade;
                             if (roomMade)
                                 network.updateAccepting();
                         });
    }
    ~Receiver()
    {
        QMetaObject::invokeMethod(&network, &ReceiverNetwork::shutdown, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
    qint64 cpuNs()
    {
        qint64 ns = 0;
        QMetaObject::invokeMethod(
            &network, [&ns] { ns = bench::ThreadCpuNs(); }, Qt::BlockingQueuedConnection);
        return ns;
    }

    Admission admission;
    ReceiverNetwork network{QHostAddress(QHostAddress::LocalHost), admission};
    QThread thread;
    quint16 port = 0;
    std::atomic<int> arrived = 0;
};

// messages sent by kSenders senders in the closed loop; key empty: plain.
Round Run(Receiver &receiver, const QByteArray &key, const QByteArray &payload, int messages)
{
    int started = 0;
    int delivered = 0;
    int failed = 0;
    std::vector<std::unique_ptr<MessageSender>> senders;
    const std::function<void(MessageSender *)> next = [&](MessageSender *sender) {
        if (started >= messages)
            return;
        ++started;
        sender->setRecipientKey(key);
        QString error;
        if (!sender->start(QStringLiteral("127.0.0.1"), receiver.port, error))
            ++failed;
    };
    for (int i = 0; i < kSenders; ++i) {
        auto *sender = senders.emplace_back(std::make_unique<MessageSender>()).get();
        QObject::connect(sender, &MessageSender::connected, sender,
                         [sender, &payload] { sender->send(payload); });
        QObject::connect(sender, &MessageSender::finished, sender,
                         [&, sender](MessageSender::Outcome outcome) {
                             outcome == MessageSender::Outcome::Delivered ? ++delivered : ++failed;
                             QTimer::singleShot(0, sender, [&, sender] { next(sender); });
                         });
    }
    const qint64 networkBefore = receiver.cpuNs();
    const qint64 senderBefore = bench::ThreadCpuNs();
    const qint64 start = bench::NowNs();
    for (auto &sender : senders)
        next(sender.get());
    bench::SpinUntil([&] { return delivered + failed >= messages; });
    const double seconds = double(bench::NowNs() - start) / 1e9;
    Round round;
    round.perSecond = failed == 0 ? messages / seconds : 0;
    round.networkCpuUs = double(receiver.cpuNs() - networkBefore) / 1e3 / messages;
    round.senderCpuUs = double(bench::ThreadCpuNs() - senderBefore) / 1e3 / messages;
    return round;
}

// One plain message from 127.0.0.2, as the program sends it: the time until
// the receiver's close, in milliseconds (-1 when it failed).
double ProbeMs(quint16 port, const QByteArray &payload)
{
    const qint64 start = bench::NowNs();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(0x7F000002);
    const sockaddr_in address = bench::Loopback(port);
    char byte = 0;
    const bool done =
        fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 &&
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
        ::send(fd, payload.constData(), size_t(payload.size()), MSG_NOSIGNAL) == payload.size() &&
        ::shutdown(fd, SHUT_WR) == 0 && ::recv(fd, &byte, 1, 0) == 0;
    if (fd >= 0)
        ::close(fd);
    return done ? double(bench::NowNs() - start) / 1e6 : -1;
}

// The other address's median delivery time over seconds, with or without a
// flood of handshakes from 127.0.0.1 (sockets that handshake and go, at
// once again, 32 at a time); handshakes counts the flood's.
double OtherAddressMs(Receiver &receiver, const QSslConfiguration &client, int seconds, bool flood,
                      int &handshakes)
{
    std::atomic<bool> stop = false;
    std::vector<double> delays;
    std::thread other([&] {
        const QByteArray payload = bench::Payload("other", 64);
        while (!stop) {
            const double ms = ProbeMs(receiver.port, payload);
            if (ms >= 0)
                delays.push_back(ms);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    std::vector<std::unique_ptr<QSslSocket>> sockets;
    const std::function<void(QSslSocket *)> again = [&](QSslSocket *socket) {
        if (stop)
            return;
        socket->abort();
        socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), receiver.port);
    };
    for (int i = 0; flood && i < 32; ++i) {
        QSslSocket *socket = sockets.emplace_back(std::make_unique<QSslSocket>()).get();
        socket->setSslConfiguration(client);
        QObject::connect(socket, &QSslSocket::encrypted, socket, [&, socket] {
            ++handshakes;
            QTimer::singleShot(0, socket, [&, socket] { again(socket); });
        });
        QObject::connect(socket, &QSslSocket::errorOccurred, socket,
                         [&, socket] { QTimer::singleShot(0, socket, [&, socket] { again(socket); }); });
        again(socket);
    }
    const qint64 end = bench::NowNs() + qint64(seconds) * 1000000000;
    bench::SpinUntil([&] { return bench::NowNs() >= end; }, seconds * 1000 + 1000);
    stop = true;
    other.join();
    sockets.clear();
    return bench::Median(delays);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? std::max(100, std::atoi(argv[1])) : 2000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int floodSeconds = argc > 3 ? std::max(2, std::atoi(argv[3])) : 10;

    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const Identity receiverIdentity = Identity::create(data.filePath(QStringLiteral("receiver.pem")));
    const QSslConfiguration *client = MessageSender::clientConfiguration();
    if (receiverIdentity.state() != Identity::State::Ready || !client)
        return 2;
    Receiver receiver(tlsConfiguration(receiverIdentity, true));
    const QByteArray key = receiverIdentity.publicKeyDigest();

    std::printf("| payload | plain msg/s | TLS msg/s | TLS / plain | network thread µs/msg plain → TLS | "
                "sender µs/msg plain → TLS |\n|---|---:|---:|---:|---:|---:|\n");
    double smallRatio = 0;
    for (const auto &[label, payload] :
         {std::pair{"16-byte text", bench::Payload("bench", 16 + 10)},
          std::pair{"64 KiB prose", bench::Payload("bench", kMaxPayloadBytes)}}) {
        const int count = payload.size() > 1000 ? std::max(100, messages / 5) : messages;
        std::vector<double> plain, tls, ratio, netPlain, netTls, sendPlain, sendTls;
        for (int r = 0; r < runs; ++r) {
            const Round p = Run(receiver, {}, payload, count);
            const Round t = Run(receiver, key, payload, count);
            plain.push_back(p.perSecond);
            tls.push_back(t.perSecond);
            ratio.push_back(p.perSecond > 0 ? t.perSecond / p.perSecond : 0);
            netPlain.push_back(p.networkCpuUs);
            netTls.push_back(t.networkCpuUs);
            sendPlain.push_back(p.senderCpuUs);
            sendTls.push_back(t.senderCpuUs);
        }
        if (smallRatio == 0)
            smallRatio = bench::Median(ratio);
        std::printf("| %s | %.0f | %.0f | %.2f | %.0f → %.0f | %.0f → %.0f |\n", label, bench::Median(plain),
                    bench::Median(tls), bench::Median(ratio), bench::Median(netPlain), bench::Median(netTls),
                    bench::Median(sendPlain), bench::Median(sendTls));
    }

    int handshakes = 0;
    int none = 0;
    const double quiet = OtherAddressMs(receiver, *client, floodSeconds, false, none);
    const double flooded = OtherAddressMs(receiver, *client, floodSeconds, true, handshakes);
    std::printf("\n| another address's message, median | quiet | during a handshake flood from one address "
                "(%d handshakes in %d s) |\n|---|---:|---:|\n| delivery | %.1f ms | %.1f ms |\n",
                handshakes, floodSeconds, quiet, flooded);
    std::printf("\nsmall messages over TLS at %.2f of the plain rate (aim: 0.5)\n", smallRatio);
    return smallRatio > 0 && flooded <= std::max(2 * quiet, quiet + 20) ? 0 : 1;
}
