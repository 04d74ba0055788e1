// One host opening slow connections to a port (connect, then silence until
// the receiver lets go), while another computer sends a message now and
// then: how long the other computer's message takes to be handed on.
//
//   bench_slowhost [seconds [attacks-per-second]]      (defaults: 30, 13)
//
// The slow host is 127.0.0.1, the other computer 127.0.0.2; loopback only.
// Prints the median and the longest delivery time of the other computer's
// messages once the attack has filled the readers, and exits 1 when the
// median is above a second.
#include "../common/benchsupport.h"

#include <QCoreApplication>
#include <QHash>
#include <QMutex>
#include <cstdio>

namespace {

// Silent connections of the slow host, kept open until the receiver closes
// them (or the run ends); one thread opens them at a steady rate.
void Attack(quint16 port, int perSecond, std::atomic<bool> &stop)
{
    std::vector<int> open;
    const auto gap = std::chrono::microseconds(1000000 / perSecond);
    auto next = std::chrono::steady_clock::now();
    while (!stop) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = bench::Loopback(port);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            open.push_back(fd);
        else if (fd >= 0)
            ::close(fd);
        // Connections the receiver has let go are closed here too.
        for (auto it = open.begin(); it != open.end();) {
            char byte;
            if (::recv(*it, &byte, 1, MSG_DONTWAIT) == 0) {
                ::close(*it);
                it = open.erase(it);
            } else {
                ++it;
            }
        }
        next += gap;
        std::this_thread::sleep_until(next);
    }
    for (const int fd : open)
        ::close(fd);
}

// One message from 127.0.0.2, as the sending program sends it.
bool SendFromOtherComputer(quint16 port, const QByteArray &payload)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(0x7F000002);
    const sockaddr_in address = bench::Loopback(port);
    const bool sent = ::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 &&
                      ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
                      ::send(fd, payload.constData(), static_cast<size_t>(payload.size()), MSG_NOSIGNAL) ==
                          static_cast<ssize_t>(payload.size());
    ::close(fd);
    return sent;
}

} // namespace

int main(int argc, char *argv[])
{
    bench::OffscreenUnlessSet();
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 30;
    const int perSecond = argc > 2 ? std::max(1, std::atoi(argv[2])) : 13;
    // The attack needs a data time-out's worth of connections to fill the
    // readers; messages sent before then are not counted.
    const qint64 warmUpNs = qint64(Listener::kDataTimeoutMs + 1000) * 1000000;

    Listener listener(QHostAddress(QHostAddress::LocalHost), 0);
    if (!listener.startListening())
        return 2;
    const quint16 port = listener.serverPort();

    QMutex mutex;
    QHash<QByteArray, qint64> sentAt;
    std::vector<double> delaysMs;
    QObject::connect(&listener, &Listener::messageReceived, &app,
                     [&](const QByteArray &payload, const QString &, quint16) {
                         const qint64 now = bench::NowNs();
                         QMutexLocker lock(&mutex);
                         const auto sent = sentAt.constFind(payload);
                         if (sent != sentAt.cend() && *sent >= 0)
                             delaysMs.push_back(double(now - *sent) / 1e6);
                     });

    std::atomic<bool> stop = false;
    const qint64 start = bench::NowNs();
    std::thread attacker(Attack, port, perSecond, std::ref(stop));
    std::thread other([&] {
        for (int n = 0; !stop; ++n) {
            const QByteArray payload = "other" + QByteArray(1, '\0') + "505" + QByteArray(1, '\0') +
                                       "message " + QByteArray::number(n);
            const qint64 now = bench::NowNs();
            {
                QMutexLocker lock(&mutex);
                sentAt.insert(payload, now - start >= warmUpNs ? now : -1);
            }
            SendFromOtherComputer(port, payload);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });
    QTimer::singleShot(seconds * 1000, &app, [&] {
        stop = true;
        // Messages still on their way get the time-out's worth to arrive.
        QTimer::singleShot(Listener::kDataTimeoutMs * 2, &app, &QCoreApplication::quit);
    });
    QCoreApplication::exec();
    attacker.join();
    other.join();

    QMutexLocker lock(&mutex);
    const qsizetype counted =
        std::count_if(sentAt.cbegin(), sentAt.cend(), [](qint64 at) { return at >= 0; });
    const double median = bench::Median(delaysMs);
    const double longest = delaysMs.empty() ? 0 : *std::max_element(delaysMs.cbegin(), delaysMs.cend());
    std::printf(
        "| slow connections a second | messages from another computer | delivered | median | longest |\n");
    std::printf("|---|---|---|---|---|\n");
    std::printf("| %d | %lld | %zu | %.1f ms | %.1f ms |\n", perSecond, static_cast<long long>(counted),
                delaysMs.size(), median, longest);
    return delaysMs.size() == size_t(counted) && median <= 1000 ? 0 : 1;
}
