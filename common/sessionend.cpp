#include "sessionend.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kCaughtSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The end the handler writes to; -1 while no object catches the signals.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch a lock-free value");

// What each signal did before the object took it over.
struct sigaction g_previous[std::size(kCaughtSignals)];
bool g_installed[std::size(kCaughtSignals)];

void noteSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // Never blocks: the end is non-blocking, and a full socket already holds
    // a byte that will be read.
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd.load(), &byte, 1);
    errno = savedErrno;
}

bool prepareEnd(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

} // namespace
#endif

SessionEnd::SessionEnd(std::function<void()> save, QObject *parent)
    : QObject(parent)
    , m_save(std::move(save))
{
#if QT_CONFIG(sessionmanager)
    // Saved inside the request: the session may end as soon as it returns.
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) {
            if (!m_ending)
                m_save();
        });
    }
#endif
    startCatching();
}

SessionEnd::~SessionEnd()
{
    stopCatching();
}

void SessionEnd::onSignalNoted()
{
#ifdef Q_OS_UNIX
    unsigned char buffer[16];
    while (::read(m_readEnd, buffer, sizeof buffer) > 0) {
    }
#endif
    // A second signal while quitting changes nothing.
    if (m_ending)
        return;
    m_ending = true;
    m_save();
    emit ending();
    // Not quit(): nothing may hold the program back (a window refusing to
    // close). Every event loop ends, nested ones too, so open dialogs close
    // and are written on their way out.
    QCoreApplication::exit(0);
}

#ifdef Q_OS_UNIX
void SessionEnd::startCatching()
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        return;
    int unclaimed = -1;
    if (!prepareEnd(ends[0]) || !prepareEnd(ends[1]) ||
        !g_writeEnd.compare_exchange_strong(unclaimed, ends[1])) {
        ::close(ends[0]);
        ::close(ends[1]);
        return;
    }
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    m_notifier = new QSocketNotifier(m_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SessionEnd::onSignalNoted);

    struct sigaction action = {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kCaughtSignals); ++i) {
        g_installed[i] = ::sigaction(kCaughtSignals[i], nullptr, &g_previous[i]) == 0 &&
                         g_previous[i].sa_handler != SIG_IGN &&
                         ::sigaction(kCaughtSignals[i], &action, nullptr) == 0;
    }
}

void SessionEnd::stopCatching()
{
    if (m_readEnd < 0)
        return;
    for (size_t i = 0; i < std::size(kCaughtSignals); ++i) {
        if (g_installed[i])
            ::sigaction(kCaughtSignals[i], &g_previous[i], nullptr);
    }
    g_writeEnd.store(-1);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_readEnd);
    ::close(m_writeEnd);
    m_readEnd = m_writeEnd = -1;
}
#else
// Elsewhere the session's end comes only as the commit-data request.
void SessionEnd::startCatching() {}
void SessionEnd::stopCatching() {}
#endif
