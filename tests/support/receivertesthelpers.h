#pragma once
// Shared by the Quillbox tests: senders on real loopback sockets, and a way
// to act while a modal dialog runs its own event loop.

#include "bars.h"
#include "messagebox.h"
#include "wireformat.h"

#include <QApplication>
#include <QHostAddress>
#include <QList>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <functional>

// Connects to the loopback port (from the given local address), writes the
// payload and closes, as the sending program does. Every wait is bounded.
inline bool SendPayload(quint16 port, const QByteArray &payload,
                        const QHostAddress &from = QHostAddress(QHostAddress::LocalHost))
{
    QTcpSocket socket;
    if (from != QHostAddress(QHostAddress::LocalHost) && !socket.bind(from))
        return false;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(5000))
        return false;
    socket.write(payload);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(5000))
            return false;
    }
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(5000);
    return true;
}

// What showMessage was asked to show, instead of a modal box.
struct Notice
{
    QString title;
    QString text;
};

class NoticeRecorder
{
public:
    NoticeRecorder()
    {
        setMessageHandler([this](QWidget *, const QString &title, const QString &text) {
            notices.append(Notice{title, text});
        });
    }
    ~NoticeRecorder() { setMessageHandler({}); }
    NoticeRecorder(const NoticeRecorder &) = delete;
    NoticeRecorder &operator=(const NoticeRecorder &) = delete;

    int count(const QString &title) const
    {
        return static_cast<int>(std::count_if(notices.cbegin(), notices.cend(),
                                              [&](const Notice &n) { return n.title == title; }));
    }
    QList<Notice> notices;
};

// Once a modal dialog is up, runs during() inside its event loop and then
// closes the dialog, so the call that opened it returns. Gives up (closing
// nothing) after timeoutMs.
inline void WhileModal(std::function<void(QWidget *dialog)> during, int timeoutMs = 10000)
{
    auto *timer = new QTimer;
    auto *waited = new int(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, waited, timeoutMs, during] {
        *waited += timer->interval();
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog && *waited < timeoutMs)
            return;
        timer->stop();
        if (dialog) {
            during(dialog);
            dialog->close();
        }
        delete waited;
        timer->deleteLater();
    });
    timer->start();
}
