#pragma once
// Shared by the benchmarks: statistics, a loopback sender as the sending
// program behaves, the bare epoll receiver used as the yardstick, and a
// Quillbox main window on a loopback port.

#include "listener.h"
#include "procstatus.h"
#include "receiversettings.h"
#include "receiverwindow.h"
#include "settingsstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

// A benchmark round that takes longer than this counts as failed.
constexpr int kRoundTimeoutMs = 60000;

// Benchmarks draw offscreen unless told otherwise; call before the
// application object is made.
inline void OffscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The nearest-rank percentile (0 < p <= 100).
inline double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

inline qint64 NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// CPU time the calling thread has used so far.
inline qint64 ThreadCpuNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

inline sockaddr_in Loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A TCP socket listening on a free loopback port (with the program's own
// backlog); socketFlags are added to SOCK_STREAM. Returns the descriptor.
inline int ListenOnLoopback(int socketFlags, quint16 &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | socketFlags, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = Loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(fd, Listener::kListenBacklog);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// CPU time a thread has used so far, given its CPU clock.
inline qint64 ClockNs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// One sender as the sending program behaves: connect, one write, close;
// from 127.0.0.1, or from the loopback address `from` (host order).
inline bool SendOne(quint16 port, const QByteArray &payload, quint32 from = INADDR_LOOPBACK)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    if (from != INADDR_LOOPBACK) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(from);
        if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
            ::close(fd);
            return false;
        }
    }
    const sockaddr_in address = Loopback(port);
    bool sent = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
                ::send(fd, payload.constData(), static_cast<size_t>(payload.size()), MSG_NOSIGNAL) ==
                    static_cast<ssize_t>(payload.size());
    ::close(fd);
    return sent;
}

// One sender as the sending program confirms delivery: connect from the
// loopback address `from` (host order), write, shut down the sending side
// and wait (at most 10 s) for the receiver to close; true when it closed
// cleanly after reading everything.
inline bool SendConfirmed(quint16 port, const QByteArray &payload, quint32 from)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    // The port is chosen at connect() for the whole address pair, so the
    // TIME_WAIT entries the sender's side leaves behind never run a
    // sending address out of ports.
    int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    timeval wait{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(from);
    const sockaddr_in address = Loopback(port);
    bool confirmed = ::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 &&
                     ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
                     ::send(fd, payload.constData(), static_cast<size_t>(payload.size()), MSG_NOSIGNAL) ==
                         static_cast<ssize_t>(payload.size()) &&
                     ::shutdown(fd, SHUT_WR) == 0;
    char sink[64];
    ssize_t got = 1;
    while (confirmed && got > 0)
        got = ::recv(fd, sink, sizeof sink, 0);
    confirmed = confirmed && got == 0;
    ::close(fd);
    return confirmed;
}

// A payload "name NUL port NUL text" of exactly `bytes` bytes (at least the
// header's size). The text is prose (words, a line break every few dozen
// characters) or one unbroken run of letters, the worst case for laying it
// out.
enum class Text
{
    Prose,
    Unbroken
};

inline QByteArray Payload(const QByteArray &name, qsizetype bytes, Text text = Text::Prose)
{
    QByteArray payload = name + QByteArray("\0"
                                           "505\0",
                                           5);
    const qsizetype textBytes = std::max<qsizetype>(1, bytes - payload.size());
    if (text == Text::Unbroken) {
        payload.append(QByteArray(textBytes, 'x'));
        return payload;
    }
    static const QByteArray prose("Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do\r\n"
                                  "eiusmod tempor incididunt ut labore et dolore magna aliqua.\r\n");
    QByteArray body;
    body.reserve(textBytes + prose.size());
    while (body.size() < textBytes)
        body.append(prose);
    payload.append(body.left(textBytes));
    return payload;
}

// The yardstick: one thread that accepts, reads to the end and closes,
// nothing else, on one loopback port or on several. Records when each
// connection's read completed.
class EpollReceiver
{
public:
    explicit EpollReceiver(int ports = 1)
    {
        for (int i = 0; i < ports; ++i) {
            quint16 port = 0;
            m_listen.push_back(ListenOnLoopback(SOCK_NONBLOCK, port));
            m_ports.push_back(port);
        }
        m_epoll = ::epoll_create1(0);
        m_thread = std::thread([this] { run(); });
    }
    ~EpollReceiver()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_epoll);
        for (const int fd : m_listen)
            ::close(fd);
    }
    EpollReceiver(const EpollReceiver &) = delete;
    EpollReceiver &operator=(const EpollReceiver &) = delete;

    quint16 port() const { return m_ports.front(); }
    const std::vector<quint16> &ports() const { return m_ports; }
    int received() const { return m_received.load(); }
    // NowNs() of the last completed read.
    qint64 lastCompletionNs() const { return m_lastNs.load(); }
    // CPU time the receiving thread had used when it completed its last read.
    qint64 cpuNs() const { return m_cpuNs.load(); }

private:
    void run()
    {
        // Listening sockets are told apart by the high half of the event's data.
        constexpr quint64 kListening = quint64(1) << 32;
        for (const int fd : m_listen) {
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u64 = kListening | quint64(fd);
            ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
        }
        std::vector<epoll_event> ready(256);
        std::vector<char> buffer(65536);
        const qint64 startCpu = ThreadCpuNs();
        while (!m_stop) {
            const int n = ::epoll_wait(m_epoll, ready.data(), static_cast<int>(ready.size()), 50);
            for (int i = 0; i < n; ++i) {
                const int fd = static_cast<int>(ready[i].data.u64 & 0xffffffffU);
                if (ready[i].data.u64 & kListening) {
                    for (;;) {
                        const int client = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK);
                        if (client < 0)
                            break;
                        epoll_event clientEvent{};
                        clientEvent.events = EPOLLIN;
                        clientEvent.data.u64 = quint64(client);
                        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, client, &clientEvent);
                    }
                    continue;
                }
                for (;;) {
                    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
                    if (got > 0)
                        continue;
                    if (got < 0 && errno == EAGAIN)
                        break;
                    ::close(fd);
                    m_lastNs.store(NowNs());
                    m_cpuNs.store(ThreadCpuNs() - startCpu);
                    m_received.fetch_add(1);
                    break;
                }
            }
        }
    }

    std::vector<int> m_listen;
    std::vector<quint16> m_ports;
    int m_epoll = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_received{0};
    std::atomic<qint64> m_lastNs{0};
    std::atomic<qint64> m_cpuNs{0};
    std::thread m_thread;
};

// The idiomatic Qt yardstick: a QTcpServer on the calling thread's event
// loop that accepts and reads each connection to the end, nothing else.
class BareQtReceiver : public QObject
{
public:
    BareQtReceiver()
    {
        m_server.setListenBacklogSize(Listener::kListenBacklog);
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    socket->readAll();
                    doneNs = NowNs();
                    ++received;
                    socket->deleteLater();
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    // NowNs() of the last completed read, and how many were read.
    qint64 doneNs = 0;
    int received = 0;

private:
    QTcpServer m_server;
};

// A Quillbox main window (offscreen, no notification icon) with one
// loopback listener, counting the messages it has routed.
struct Quillbox
{
    // With the message history on (as the program starts) or off; it is
    // kept in the temporary folder.
    explicit Quillbox(bool keepHistory = true)
    {
        settings.portList.clear();
        settings.portList.append(0);
        settings.playIncomingSound = false;
        settings.history.keep = keepHistory;
        ReceiverWindowOptions options;
        options.listenAddress = QHostAddress(QHostAddress::LocalHost);
        options.trayIcon = false;
        options.desktopNotifications = false;
        options.loadSettings = false;
        options.historyPath = folder.filePath(QStringLiteral("history.sqlite"));
        form = std::make_unique<ReceiverWindow>(store, settings, options);
        form->start(QString());
        QObject::connect(form.get(), &ReceiverWindow::messageHandled, form.get(), [this] { ++received; });
        // The network thread's CPU clock, asked for on that thread.
        QObject probe;
        probe.moveToThread(form->intake().networkThread());
        QMetaObject::invokeMethod(
            &probe, [this] { ::pthread_getcpuclockid(::pthread_self(), &networkClock); },
            Qt::BlockingQueuedConnection);
        probe.moveToThread(nullptr);
    }
    // CPU time Quillbox's network thread has used so far.
    qint64 networkCpuNs() const { return ClockNs(networkClock); }
    ~Quillbox() { form->onExitTriggered(); }
    Quillbox(const Quillbox &) = delete;
    Quillbox &operator=(const Quillbox &) = delete;
    quint16 port() const { return form->listeningPorts().value(0); }

    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(QStringLiteral("Quillbox.ini")));
    ReceiverSettings settings;
    std::unique_ptr<ReceiverWindow> form;
    clockid_t networkClock = CLOCK_THREAD_CPUTIME_ID;
    int received = 0;
};

// Runs the event loop until done() or the time-out. The loop sleeps until
// something happens, as the program's own does; the timed overload of
// processEvents() would poll without sleeping and take a core from the
// senders. A short timer wakes it for conditions that no event reports.
inline bool SpinUntil(const std::function<bool()> &done, int timeoutMs = kRoundTimeoutMs)
{
    constexpr int kWakeMs = 5;
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(kWakeMs);
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace bench
