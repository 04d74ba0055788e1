#pragma once
// Shared by the Quillbox tests: senders on real loopback sockets, notices
// recorded instead of shown, a way to act while a modal dialog runs its own
// event loop, and a main window on loopback ports chosen by the system.

#include "bars.h"
#include "listener.h"
#include "messagebox.h"
#include "messagewindow.h"
#include "receiversettings.h"
#include "receiverwindow.h"
#include "settingsstore.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// A connection to the loopback port from the given loopback address, or null.
inline std::unique_ptr<QTcpSocket> Connect(quint16 port, const QString &from = u"127.0.0.1"_s)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(from));
    socket->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    return socket->waitForConnected(5000) ? std::move(socket) : nullptr;
}

// Waits at most waitMs for a program started meanwhile to listen on the
// loopback port. The probes come from 127.0.0.2: one from 127.0.0.1 may be
// given that very port while nobody listens there yet, connect to itself and
// so take the port from the program, which then listens nowhere.
inline bool WaitListening(quint16 port, int waitMs)
{
    return QTest::qWaitFor([port] { return Connect(port, u"127.0.0.2"_s) != nullptr; }, waitMs);
}

// Connects, writes the payload and closes, as the sending program does.
inline bool SendPayload(quint16 port, const QByteArray &payload, const QString &from = u"127.0.0.1"_s)
{
    const std::unique_ptr<QTcpSocket> socket = Connect(port, from);
    if (!socket)
        return false;
    socket->write(payload);
    socket->disconnectFromHost(); // once everything is written
    return socket->state() == QAbstractSocket::UnconnectedState || socket->waitForDisconnected(5000);
}

// How a connection ended for a sender that wrote everything: Quillbox closed
// it cleanly (what the sender takes for delivery), reset it, or neither yet.
enum class Ending
{
    Clean,
    Reset,
    Open
};

// A sender on a plain socket, as Quillpost is: connects from a loopback
// address, writes the payload and, when finished, shuts its sending side
// down; ending() then waits for Quillbox's answer. Safe on any thread.
class RawSender
{
public:
    RawSender(quint16 port, const QByteArray &payload, const char *from = "127.0.0.1", bool finished = true)
        : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &local.sin_addr);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(port);
        remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // The port is chosen on connecting, as for a socket not bound
        // first: one chosen on binding may not be one in TIME-WAIT, which
        // every confirmed sender leaves behind, so a long stream of them
        // would run out of ports.
        const int late = 1;
        ::setsockopt(m_fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &late, sizeof late);
        m_connected =
            ::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) == 0 &&
            ::connect(m_fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) == 0 &&
            ::send(m_fd, payload.constData(), size_t(payload.size()), MSG_NOSIGNAL) == payload.size();
        if (m_connected && finished)
            finish();
    }
    ~RawSender() { ::close(m_fd); }
    RawSender(const RawSender &) = delete;
    RawSender &operator=(const RawSender &) = delete;

    bool connected() const { return m_connected; }
    void finish() { ::shutdown(m_fd, SHUT_WR); }
    // Waits at most waitMs for Quillbox to end the connection. One that
    // could not send everything failed, whatever came after.
    Ending ending(int waitMs = 0)
    {
        pollfd ready{m_fd, POLLIN, 0};
        if (!m_connected) {
            m_ending = Ending::Reset;
        } else if (m_ending == Ending::Open && ::poll(&ready, 1, waitMs) == 1) {
            char byte = 0;
            m_ending = ::recv(m_fd, &byte, 1, 0) == 0 ? Ending::Clean : Ending::Reset;
        }
        return m_ending;
    }

private:
    int m_fd;
    bool m_connected = false;
    Ending m_ending = Ending::Open;
};

struct NoticeRecorder
{
    NoticeRecorder()
    {
        setMessageHandler([this](QWidget *, const QString &title, const QString &text) {
            notices.append({title, text});
        });
    }
    ~NoticeRecorder() { setMessageHandler({}); }
    QList<QStringList> notices; // title and text of each
};

// Once a modal dialog is up, runs during() inside its event loop, then closes
// the dialog so that the call that opened it returns.
inline void WhileModal(std::function<void()> during)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, during, deadline = QDeadlineTimer(10000)] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog && !deadline.hasExpired())
            return;
        poll->stop();
        poll->deleteLater();
        if (dialog) {
            during();
            dialog->close();
        }
    });
    poll->start(10);
}

// A main window listening on loopback ports (0: chosen by the system), with a
// store and a history of its own; desktop notifications only when asked for.
struct Receiver
{
    explicit Receiver(const QList<qint32> &ports = {0}, bool notifications = false)
    {
        settings.portList.clear();
        for (qint32 port : ports)
            settings.portList.append(port);
        // Loopback, no notification-area icon, the settings above.
        const ReceiverWindowOptions options{QHostAddress(QHostAddress::LocalHost), false, false,
                                            folder.filePath(u"history.sqlite"_s), notifications};
        form = std::make_unique<ReceiverWindow>(store, settings, options);
        form->start(QString());
    }
    quint16 port(int index = 0) const { return form->listeningPorts().value(index); }
    MessageRouter &router() const { return form->router(); }
    QList<MessageWindow *> windows() const
    {
        QList<MessageWindow *> open;
        for (MessageView *window : router().windows())
            open.append(static_cast<MessageWindow *>(window));
        open.removeAll(nullptr);
        return open;
    }

    NoticeRecorder notices;
    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(u"Quillbox.ini"_s));
    ReceiverSettings settings;
    std::unique_ptr<ReceiverWindow> form;
};
