// The intake driven alone, without a main window. The main window: messages are read while the user-interface
// thread is busy, and wait while a modal dialog is open, under one notice; the queue's bound counts the
// senders still being read; the options dialog keeps the listeners of unchanged ports; the ports' status in
// the window and the tray tip; and the two ways the program ends.
#include "historywindow.h"
#include "markedtexts.h"
#include "messagehistory.h"
#include "messageintake.h"
#include "portstatus.h"
#include "receiveroptionsdialog.h"
#include "receivertesthelpers.h"
#include "translation.h"
#include "trayicon.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTcpServer>
#include <arpa/inet.h>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Sends the payload, ends the sending side and waits (up to 5 s) for the
// receiver to close its end, which it does once it has read everything:
// blocks the calling thread, so no event loop runs there meanwhile.
bool SendAndWaitUntilRead(quint16 port, const QByteArray &payload)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    bool read = false;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::send(fd, payload.constData(), size_t(payload.size()), MSG_NOSIGNAL) == payload.size() &&
        ::shutdown(fd, SHUT_WR) == 0) {
        char byte = 0;
        const ssize_t got = ::recv(fd, &byte, 1, 0); // 0: closed; times out with EAGAIN
        read = got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
    ::close(fd);
    return read;
}

} // namespace

class TestReceiverWindow : public QObject
{
    Q_OBJECT
private slots:
    void intakeWithoutWindow()
    {
        // The core alone: a message on its port reaches a window of its own
        // and the history; one that comes while the router waits is queued
        // and reported.
        QTemporaryDir folder;
        ReceiverSettings settings;
        MessageIntake intake(settings, QHostAddress(QHostAddress::LocalHost), folder.filePath(u"h.sqlite"_s));
        intake.applyHistoryOptions();
        const quint16 port = intake.applyPorts({0}).value(0).listening;
        QSignalSpy handled(&intake, &MessageIntake::messageHandled);
        QSignalSpy waiting(&intake, &MessageIntake::messageWaiting);
        QVERIFY(SendPayload(port, Bars("bob|1|hello")));
        QVERIFY(handled.wait());
        QCOMPARE(intake.router().openWindowCount(), 1);
        QCOMPARE(static_cast<MessageWindow *>(intake.router().windows()[0])->messages(),
                 QStringList{u"hello"_s});
        intake.router().setReceiveReady(false);
        QVERIFY(SendPayload(port, Bars("carol|1|later")));
        QVERIFY(waiting.wait());
        QCOMPARE(intake.router().queue().size(), 1);
        QVERIFY(intake.history().flush());
        const auto entries = intake.history().page(QString(), 0, 10);
        QCOMPARE(entries.size(), 2);
    }

    void windowsBuiltAheadForAFirstBurst()
    {
        // Once started, the intake builds windows ahead while idle for a first
        // burst of new senders, which take them; then it keeps one.
        QTemporaryDir folder;
        ReceiverSettings settings;
        MessageIntake intake(settings, QHostAddress(QHostAddress::LocalHost), folder.filePath(u"h.sqlite"_s));
        intake.scheduleSpareWindow(true);
        QTRY_COMPARE(intake.spareWindowCount(), MessageIntake::kSpareWindowsAtStart);
        const MessageWindow *builtAhead = intake.spareWindow();
        for (int i = 0; i < 3; ++i)
            intake.router().route(
                Message{.name = u"s%1"_s.arg(i), .address = u"10.0.0.1"_s, .text = u"hi"_s});
        QVERIFY(intake.router().windows().value(0) == static_cast<const MessageView *>(builtAhead));
        QCOMPARE(intake.spareWindowCount(), MessageIntake::kSpareWindowsAtStart - 3);
        QCoreApplication::processEvents();
        QCOMPARE(intake.spareWindowCount(), MessageIntake::kSpareWindowsAtStart - 3);
    }

    void messagesWaitWhileModalOpen()
    {
        Receiver r;
        setMessageHandler({}); // real notices, to count the open ones
        bool nothingShown = false;
        bool readWhileBusy = false;
        qsizetype notices = 0;
        WhileModal([&] {
            // The network thread reads while this one waits in a system call.
            readWhileBusy = SendAndWaitUntilRead(r.port(), Bars("bob|1|first"));
            for (const char *payload : {"bob|505", "bob|1|second", "bob|1|third"})
                SendPayload(r.port(), Bars(payload));
            const bool queued = QTest::qWaitFor([&] { return r.router().queue().size() == 3; }, 10000);
            nothingShown = queued && r.windows().isEmpty();
            notices = r.form->findChildren<QMessageBox *>().size();
        });
        r.form->onAboutTriggered();
        QVERIFY(readWhileBusy);
        QVERIFY(nothingShown);
        QCOMPARE(notices, 1);
        QCOMPARE(r.windows().size(), 1);
        QCOMPARE(r.windows()[0]->messages(), QStringList({u"first"_s, u"second"_s, u"third"_s}));
        // Each is in the history, recorded before a window showed it.
        QVERIFY(r.form->history().flush());
        QCOMPARE(r.form->history().page(QString(), 0, 10).size(), 3);
        // Messages the history loses are reported, in one notice.
        NoticeRecorder recorder;
        emit r.form->history().dropped(2);
        emit r.form->history().dropped(5);
        QCOMPARE(recorder.notices.size(), 2);
        QCOMPARE(recorder.notices.last().at(0), kTitleWarning);
        QVERIFY(recorder.notices.last().at(1).startsWith(u"The message history could not keep 5 messages"_s));
    }

    void fullQueueHoldsSendersAcrossOptions()
    {
        // Ports the system chose, held (bound, not listening, their address
        // shared) until the window listens on them.
        QTcpSocket held[2];
        for (QTcpSocket &socket : held)
            QVERIFY(socket.bind(QHostAddress::LocalHost, 0, QAbstractSocket::ShareAddress));
        const quint16 kept = held[0].localPort();
        const quint16 dropped = held[1].localPort();
        Receiver r({kept, kept, dropped});
        // A port listed twice is listened on once.
        QCOMPARE(r.form->listeningPorts(), (QList<quint16>{kept, dropped}));

        // Activating the main window works off the queue; let that pass first.
        QTRY_VERIFY(r.form->isActiveWindow());
        r.router().setReceiveReady(false);
        qsizetype longest = 0;
        connect(&r.router(), &MessageRouter::queueChanged, this,
                [&] { longest = std::max(longest, r.router().queue().size()); });
        for (int i = 0; i < Admission::kMaxQueuedMessages - 5; ++i)
            r.router().enqueue(Message{u"a"_s, u"10.0.0.1"_s, 1, 1, u"x"_s});
        // Senders let in count against the bound before they are read: the
        // queue fills up exactly and the kernel holds the other senders.
        QStringList texts;
        for (int i = 0; i < 40; ++i) {
            texts.append(QString::number(i));
            QVERIFY(SendPayload(kept, Bars("bob|1|") + texts.last().toLatin1()));
        }
        QTRY_COMPARE(r.router().queue().size(), Admission::kMaxQueuedMessages);
        // One more sender, on the port about to be dropped, still writing.
        const std::unique_ptr<QTcpSocket> late = Connect(dropped);
        QVERIFY(late);

        // The options dialog, cancelled after the list changed, keeps the
        // listener of the port still listed, and the senders it holds.
        WhileModal([&] {
            r.settings.portList.clear();
            r.settings.portList.append(kept);
        });
        r.form->onProgramOptionsTriggered();
        QCOMPARE(r.form->listeningPorts(), QList<quint16>{kept});
        QVERIFY(!Connect(dropped));
        QTRY_COMPARE_WITH_TIMEOUT(r.windows().size(), 2, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(r.windows()[1]->messages(), texts, 20000);
        QCOMPARE(longest, Admission::kMaxQueuedMessages);
        // The dropped port's listener still reads the sender it let in, and
        // its message reaches a window like any other.
        late->write(Bars("carol|1|last"));
        late->disconnectFromHost();
        QTRY_COMPARE(r.windows().size(), 3);
        QCOMPARE(r.windows()[2]->messages(), QStringList{u"last"_s});
    }

    void portStatusShown()
    {
        // A port another program holds and a free one: the window and the
        // tray tip name both, the failure with the reason its box gave.
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, 0));
        const quint16 taken = other.serverPort();
        Receiver r({taken, 0});
        const quint16 free = r.port(1);
        QVERIFY(free != 0 && r.notices.notices.size() == 1);
        const QString reason = r.notices.notices[0][1].remove(u"Winsock Error: "_s);
        const auto *label = r.form->findChild<QLabel *>(u"PortStatus"_s);
        QCOMPARE(label->text(),
                 u"Listening on port %1\nNot listening on port %2: %3"_s.arg(free).arg(taken).arg(reason));
        QCOMPARE(r.form->tray()->toolTip(), u"Message Receiver\n"_s + label->text());
        // The options dialog drops the taken port.
        WhileModal([&] {
            r.settings.portList.clear();
            r.settings.portList.append(free);
        });
        r.form->onProgramOptionsTriggered();
        QCOMPARE(label->text(), u"Listening on port %1"_s.arg(free));
        QVERIFY(r.form->tray()->toolTip().endsWith(u"\n"_s + label->text()));

        // A protected port says how to allow it; many ports are counted.
        const QString path = QCoreApplication::applicationFilePath();
        const QString denied = u"The address is protected"_s;
        QList<PortState> ports{
            {505, 0, listenErrorDescription(QAbstractSocket::SocketAccessError, denied, 505, path)},
            {70000, 0, u"Invalid port number 70000"_s}};
        for (quint16 port = 1; port <= 10; ++port)
            ports.append({port, port, {}});
        QCOMPARE(portStatusText(ports),
                 u"Listening on ports 1, 2, 3, 4, 5, 6, 7, 8 and 2 more\n"
                 "Not listening on port 505: The address is protected (ports below 1024 need a right granted "
                 "once: see \"Port 505 on Linux\" in the README)\n"
                 "Not listening on port 70000: Invalid port number 70000"_s);
    }

    // Every control of every window that takes the focus has a name for a
    // screen reader, every text stays readable under a dark palette, and
    // every text goes through tr().
    void everyWindow_data() { WindowWalkRows(); }

    void everyWindow()
    {
        QFETCH(bool, marked);
        const MarkingTranslator marker(marked);
        Receiver r;
        QVERIFY(SendPayload(r.port(), Bars("bob|1|hello")));
        QTRY_COMPARE(r.windows().size(), 1);
        r.form->show();
        HistoryWindow history(r.form->history());
        ReceiverOptionsDialog options(r.store, r.settings);
        // The sender line is data: the name, address and port as they came.
        const QStringList found = WindowWalk(marked, {r.form.get(), r.windows()[0], &history, &options},
                                             {r.windows()[0]->findChild<QLabel *>(u"Computer"_s)->text()}) +
                                  (marked ? UnmarkedTexts(r.form->tray()->menu()) : QStringList());
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u", "_s)));
    }

    void germanCaption()
    {
        installTranslations(*qApp, QLocale(QLocale::German));
        Receiver r;
        installTranslations(*qApp, QLocale::c());
        QCOMPARE(r.form->windowTitle(), u"Nachrichtenempfänger"_s);
    }

    void ends()
    {
        // "Close" from the notification area leaves the message windows open
        // and ends with the last of them; "Exit" ends everything at once.
        for (const bool exit : {false, true}) {
            Receiver r;
            QSignalSpy ended(r.form.get(), &ReceiverWindow::programEnded);
            const quint16 port = r.port();
            QVERIFY(SendPayload(port, Bars("bob|1|hello")));
            QTRY_COMPARE(r.windows().size(), 1);
            QPointer<MessageWindow> window = r.windows()[0];
            if (exit)
                r.form->findChild<QAction *>(u"exitmn"_s)->trigger();
            else
                r.form->tray()->closeAction()->trigger();
            QVERIFY(!r.form->isVisible() && !Connect(port));
            QVERIFY(!r.store.get(u"Settings"_s, u"StartUPX"_s, QString()).isEmpty());
            QCOMPARE(window.isNull(), exit);
            QCOMPARE(ended.count(), exit ? 1 : 0);
            if (!exit) {
                window->close();
                QCOMPARE(ended.count(), 1);
            }
        }
    }
};

QTEST_MAIN(TestReceiverWindow)
#include "test_receiverwindow.moc"
