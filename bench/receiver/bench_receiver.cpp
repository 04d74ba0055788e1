// Messages a second that Quillbox accepts, reads, parses and routes into its
// message windows (offscreen), from 1, 8 and 64 senders at once, against a
// bare single-threaded epoll receiver that only accepts, reads and closes,
// measured in the same run. Then a burst of 1,000 senders connecting at once,
// none of which may be lost. Prints medians and ratios; exits with 1 when
// Quillbox reaches less than half the reference at 8 senders or loses a
// message of the burst.
//
//   build/<folder>/bin/bench_receiver [messages per round] [rounds] [senders]
//
// Build it in a release folder for figures that mean something.

#include "listener.h"
#include "receiveform.h"
#include "receiversettings.h"
#include "settingsstore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Every message is a connection the sender closes, leaving a TIME_WAIT entry
// for a minute; more per round would let those slow down later rounds.
constexpr int kDefaultMessages = 1000;
constexpr int kDefaultRounds = 5;
constexpr int kBurst = 1000;
constexpr double kRequiredRatio = 0.5; // at 8 senders
constexpr int kRoundTimeoutMs = 60000;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

sockaddr_in Loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// One sender as the sending program behaves: connect, one write, close.
bool SendOne(quint16 port, const QByteArray &payload)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const sockaddr_in address = Loopback(port);
    bool sent = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
                ::send(fd, payload.constData(), static_cast<size_t>(payload.size()), MSG_NOSIGNAL) ==
                    static_cast<ssize_t>(payload.size());
    ::close(fd);
    return sent;
}

// Starts `senders` threads that send `messages` payloads between them.
std::vector<std::thread> StartSenders(quint16 port, int senders, int messages, std::atomic<int> &failures)
{
    std::vector<std::thread> threads;
    for (int s = 0; s < senders; ++s) {
        const int count = messages / senders + (s < messages % senders ? 1 : 0);
        threads.emplace_back([port, s, count, &failures] {
            const QByteArray payload = QByteArray("sender") + QByteArray::number(s) +
                                       QByteArray("\0"
                                                  "505\0hello",
                                                  10);
            for (int i = 0; i < count; ++i) {
                if (!SendOne(port, payload))
                    failures.fetch_add(1);
            }
        });
    }
    return threads;
}

// The reference: accepts, reads to the end, closes; counts the messages.
class EpollReceiver
{
public:
    EpollReceiver()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        int on = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address = Loopback(0);
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listen, Listener::kListenBacklog);
        socklen_t length = sizeof address;
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_epoll = ::epoll_create1(0);
    }
    ~EpollReceiver()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_epoll);
        ::close(m_listen);
    }
    quint16 port() const { return m_port; }
    int received() const { return m_received.load(); }
    void start()
    {
        m_thread = std::thread([this] { run(); });
    }

private:
    void run()
    {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = m_listen;
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listen, &event);
        std::vector<epoll_event> ready(256);
        char buffer[65536];
        while (!m_stop) {
            const int n = ::epoll_wait(m_epoll, ready.data(), static_cast<int>(ready.size()), 50);
            for (int i = 0; i < n; ++i) {
                const int fd = ready[i].data.fd;
                if (fd == m_listen) {
                    for (;;) {
                        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK);
                        if (client < 0)
                            break;
                        epoll_event clientEvent{};
                        clientEvent.events = EPOLLIN;
                        clientEvent.data.fd = client;
                        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, client, &clientEvent);
                    }
                    continue;
                }
                for (;;) {
                    const ssize_t got = ::read(fd, buffer, sizeof buffer);
                    if (got > 0)
                        continue;
                    if (got < 0 && errno == EAGAIN)
                        break;
                    ::close(fd);
                    m_received.fetch_add(1);
                    break;
                }
            }
        }
    }

    int m_listen = -1;
    int m_epoll = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_received{0};
    std::thread m_thread;
};

// A Quillbox main window with one loopback listener, counting the messages
// it has routed.
struct Quillbox
{
    Quillbox()
    {
        settings.portList.clear();
        settings.portList.append(0);
        settings.PlayIncomingSound = false;
        ReceiveFormOptions options;
        options.listenAddress = QHostAddress(QHostAddress::LocalHost);
        options.trayIcon = false;
        options.loadSettings = false;
        form = std::make_unique<ReceiveForm>(store, settings, options);
        form->Form_Load(QString());
        // Connected after the window's own handler, so a count means routed.
        QObject::connect(form->Winsck()[0], &Listener::messageReceived, form.get(), [this] { ++received; });
    }
    ~Quillbox() { form->exitmn_Click(); }
    quint16 port() const { return form->Winsck()[0]->serverPort(); }

    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(QStringLiteral("Quillbox.ini")));
    ReceiverSettings settings;
    std::unique_ptr<ReceiveForm> form;
    int received = 0;
};

// Runs the event loop until done() or the time-out.
bool SpinUntil(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > kRoundTimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// Messages a second for one round, or 0 when it did not finish.
double QuillboxRound(int senders, int messages)
{
    Quillbox quillbox;
    std::atomic<int> failures{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> threads = StartSenders(quillbox.port(), senders, messages, failures);
    const bool done = SpinUntil([&] { return quillbox.received + failures.load() >= messages; });
    const double seconds = clock.nsecsElapsed() / 1e9;
    for (auto &thread : threads)
        thread.join();
    return done && failures.load() == 0 ? messages / seconds : 0.0;
}

double ReferenceRound(int senders, int messages)
{
    EpollReceiver receiver;
    receiver.start();
    std::atomic<int> failures{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> threads = StartSenders(receiver.port(), senders, messages, failures);
    for (auto &thread : threads)
        thread.join();
    while (receiver.received() + failures.load() < messages && clock.elapsed() < kRoundTimeoutMs)
        std::this_thread::yield();
    const double seconds = clock.nsecsElapsed() / 1e9;
    return failures.load() == 0 && receiver.received() >= messages ? messages / seconds : 0.0;
}

// A burst of senders that all connect before Quillbox gets to run, then write
// and close: how many of them arrive, and in how long.
int Burst(double &seconds)
{
    Quillbox quillbox;
    std::vector<int> sockets;
    const sockaddr_in address = Loopback(quillbox.port());
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kBurst; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            sockets.push_back(fd);
        else if (fd >= 0)
            ::close(fd);
    }
    const QByteArray payload("burst\0"
                             "505\0hello",
                             15);
    for (int fd : sockets) {
        ::send(fd, payload.constData(), static_cast<size_t>(payload.size()), MSG_NOSIGNAL);
        ::close(fd);
    }
    SpinUntil([&] { return quillbox.received >= kBurst; });
    seconds = clock.nsecsElapsed() / 1e9;
    return quillbox.received;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int messages = args.size() > 1 ? std::max(64, args[1].toInt()) : kDefaultMessages;
    const int rounds = args.size() > 2 ? std::max(1, args[2].toInt()) : kDefaultRounds;
    std::vector<int> senderCounts{1, 8, 64};
    if (args.size() > 3)
        senderCounts = {std::clamp(args[3].toInt(), 1, 1000)};

    std::printf("%d messages a round, median of %d rounds, small payloads\n", messages, rounds);
    std::printf("%8s %16s %16s %8s\n", "senders", "quillbox msg/s", "epoll msg/s", "ratio");
    bool ok = true;
    for (int senders : senderCounts) {
        std::vector<double> quill;
        std::vector<double> reference;
        for (int r = 0; r < rounds; ++r) {
            // Alternated, so that neither side gets the quieter moments.
            reference.push_back(ReferenceRound(senders, messages));
            quill.push_back(QuillboxRound(senders, messages));
        }
        const double q = Median(quill);
        const double e = Median(reference);
        const double ratio = e > 0 ? q / e : 0.0;
        std::printf("%8d %16.0f %16.0f %8.2f\n", senders, q, e, ratio);
        if (senders == 8 && ratio < kRequiredRatio)
            ok = false;
    }

    double burstSeconds = 0;
    const int arrived = Burst(burstSeconds);
    std::printf("burst: %d of %d senders arrived in %.2f s\n", arrived, kBurst, burstSeconds);
    if (arrived < kBurst)
        ok = false;
    std::fflush(stdout);
    return ok ? 0 : 1;
}
