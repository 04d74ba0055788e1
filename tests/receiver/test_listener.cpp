// One listening port on real loopback sockets: payloads whole or refused
// beyond 64 KiB, silent peers let go, the bounds on readers and on held
// connections, arrival order per address, retiring, closing, and the
// explanation of a port below 1024. The network side with a history: a
// sender's connection is closed only once its message is stored, also when
// shutting down.
#include "logcapture.h"
#include "messagehistory.h"
#include "receivernetwork.h"
#include "receivertesthelpers.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <future>

namespace {

// A listener on a port chosen by the system, with a data time-out far beyond
// the test's waits unless one is given.
struct Port
{
    explicit Port(int dataTimeoutMs = 60000)
    {
        listener->setDataTimeout(dataTimeoutMs);
        listener->startListening();
    }
    quint16 port() const { return listener->serverPort(); }
    QByteArray payload(int i) const { return received.at(i).at(0).toByteArray(); }

    std::unique_ptr<Listener> listener = std::make_unique<Listener>(QHostAddress(QHostAddress::LocalHost), 0);
    QSignalSpy received{listener.get(), &Listener::messageReceived};
};

// Sends on a thread of its own (a large payload fills the socket's buffers
// while the listener, on this thread, has not read it yet).
std::future<Ending> SendAside(quint16 port, const QByteArray &payload, const char *from = "127.0.0.1")
{
    return std::async(std::launch::async, [=] { return RawSender(port, payload, from).ending(30000); });
}

bool IsReady(const std::future<Ending> &ending)
{
    return ending.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// The network side on this thread, with a history in a folder of its own
// and one port chosen by the system; lock() lets another connection hold
// the history's write lock, as another process might.
struct Network
{
    Network()
    {
        network.setHistory(&history);
        network.setDataTimeout(60000);
        port = network.applyPorts({0}).value(0).listening;
        other.setDatabaseName(history.path());
        other.open();
    }
    ~Network()
    {
        network.shutdown();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(u"other"_s);
    }
    bool lock(const QString &statement) { return QSqlQuery(other).exec(statement); }
    QStringList stored()
    {
        QStringList texts;
        for (const HistoryEntry &entry : history.page(QString(), 0, 100))
            texts.prepend(entry.text);
        return texts;
    }

    QTemporaryDir folder;
    MessageHistory history{folder.filePath(u"history.sqlite"_s)};
    Admission admission;
    ReceiverNetwork network{QHostAddress(QHostAddress::LocalHost), admission};
    QSignalSpy arrived{&network, &ReceiverNetwork::messagesArrived};
    QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"other"_s);
    quint16 port = 0;
};

} // namespace

class TestListener : public QObject
{
    Q_OBJECT
private slots:
    void payloadWholeOrRefused_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("short") << Bars("bob|505|hi") << true;
        QTest::newRow("64 KiB") << QByteArray(kMaxPayloadBytes, 'y') << true;
        // Refused whole and reset, so that the sender counts it as failed.
        QTest::newRow("a byte more") << QByteArray(kMaxPayloadBytes + 1, 'y') << false;
        QTest::newRow("far more") << QByteArray(3 * kMaxPayloadBytes, 'x') << false;
    }

    void payloadWholeOrRefused()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, accepted);
        Port p;
        std::future<Ending> ending = SendAside(p.port(), sent);
        QTRY_VERIFY_WITH_TIMEOUT(IsReady(ending), 10000);
        QCOMPARE(ending.get(), accepted ? Ending::Clean : Ending::Reset);
        QCOMPARE(p.received.count(), accepted ? 1 : 0);
        QCOMPARE(p.listener->heldConnections(), 0);
        if (!accepted)
            return;
        QCOMPARE(p.payload(0), sent);
        QCOMPARE(p.received[0][1].toString(), u"127.0.0.1"_s);
        QCOMPARE(p.received[0][2].value<quint16>(), p.port());
    }

    // A payload is handed on in the buffer it was read into, and once no slot
    // keeps it that buffer serves the next connection: a message costs no
    // fresh memory and no copy.
    void readBufferServesTheNext()
    {
        Listener listener(QHostAddress(QHostAddress::LocalHost), 0);
        listener.startListening();
        QList<const char *> buffers;
        connect(&listener, &Listener::messageReceived, this, [&buffers](const QByteArray &payload) {
            buffers.append(payload.capacity() > kMaxPayloadBytes ? payload.constData() : nullptr);
        });
        for (int i = 0; i < 2; ++i) {
            std::future<Ending> ending = SendAside(listener.serverPort(), Bars("bob|505|hi"));
            QTRY_VERIFY_WITH_TIMEOUT(IsReady(ending), 10000);
            QCOMPARE(ending.get(), Ending::Clean);
        }
        QCOMPARE(buffers.size(), 2);
        QVERIFY(buffers[0]);
        QCOMPARE(buffers[1], buffers[0]);
    }

    // Refused payloads are logged with their reason once quill.network is
    // switched on, and not at all by default.
    void refusedPayloadLogged_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<int>("lines");
        QTest::newRow("switched on") << u"quill.*=true"_s << 1;
        QTest::newRow("default") << QString() << 0;
    }

    void refusedPayloadLogged()
    {
        QFETCH(QString, rules);
        QFETCH(int, lines);
        QLoggingCategory::setFilterRules(rules);
        const LogCapture log("quill.network");
        Network n;
        for (const QByteArray &sent : {QByteArray(kMaxPayloadBytes + 1, 'y'), Bars("bob|hi")}) {
            std::future<Ending> ending = SendAside(n.port, sent);
            QTRY_VERIFY_WITH_TIMEOUT(IsReady(ending), 10000);
        }
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(log.lines().filter(u"over 65536 bytes"_s).size(), lines);
        QCOMPARE(log.lines().filter(u"the format rejects it"_s).size(), lines);
        QCOMPARE(log.lines().size(), 2 * lines);
    }

    void silentPeersLetGoInOrder()
    {
        Port p(3000);
        const std::unique_ptr<QTcpSocket> silent = Connect(p.port());
        const std::unique_ptr<QTcpSocket> open = Connect(p.port(), u"127.0.0.3"_s);
        QVERIFY(silent && open);
        open->write(Bars("bob|1|1"));
        // The later messages of its address wait for a connection still open;
        // another computer's do not.
        QVERIFY(SendPayload(p.port(), Bars("bob|1|2"), u"127.0.0.3"_s));
        QVERIFY(SendPayload(p.port(), Bars("bob|1|3"), u"127.0.0.3"_s));
        QVERIFY(SendPayload(p.port(), Bars("bob|1|meanwhile"), u"127.0.0.2"_s));
        QTRY_COMPARE(p.received.count(), 1);
        QCOMPARE(p.payload(0), Bars("bob|1|meanwhile"));
        // At the time-out both are let go: what came is handed on, in order.
        QTRY_COMPARE(silent->state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(p.listener->heldConnections(), 0);
        QCOMPARE(p.received.count(), 4);
        for (int i = 1; i < 4; ++i)
            QCOMPARE(p.payload(i), Bars("bob|1|") + QByteArray::number(i));
    }

    void boundsOfOnePort()
    {
        Port p;
        std::vector<std::unique_ptr<QTcpSocket>> silent;
        const auto open = [&](const QString &from) {
            silent.push_back(Connect(p.port(), from));
            return silent.back() != nullptr;
        };
        // One address is read on a few connections at a time...
        for (int i = 0; i < Listener::kMaxReadersPerAddress + 2; ++i)
            QVERIFY(open(u"127.0.1.1"_s));
        QTRY_COMPARE(p.listener->heldConnections(), Listener::kMaxReadersPerAddress + 2);
        QCOMPARE(p.listener->activeReaders(), Listener::kMaxReadersPerAddress);
        // ...a port on at most 64...
        for (int i = 0; i < Listener::kMaxReadersPerPort - Listener::kMaxReadersPerAddress; ++i)
            QVERIFY(open(u"127.0.1.%1"_s.arg(2 + i / Listener::kMaxReadersPerAddress)));
        QVERIFY(SendPayload(p.port(), Bars("bob|1|waits for a reader"), u"127.0.0.2"_s));
        QTRY_COMPARE(p.listener->heldConnections(), Listener::kMaxReadersPerPort + 3);
        QCOMPARE(p.listener->activeReaders(), Listener::kMaxReadersPerPort);
        // ...and holds at most 256 connections; the kernel keeps the others.
        while (silent.size() < Admission::kMaxConnectionsPerPort + 10)
            QVERIFY(open(u"127.0.2.%1"_s.arg(silent.size() % 100 + 1)));
        QTRY_COMPARE(p.listener->heldConnections(), Admission::kMaxConnectionsPerPort);
        QCOMPARE(p.received.count(), 0);
        // A freed reader goes to the first waiting connection that may have one.
        silent.at(Listener::kMaxReadersPerAddress + 2)->disconnectFromHost();
        QTRY_COMPARE(p.received.count(), 1);
        QCOMPARE(p.payload(0), Bars("bob|1|waits for a reader"));
    }

    void retiredListenerReadsWhatItLetIn()
    {
        auto *listener = new Listener(QHostAddress(QHostAddress::LocalHost), 0);
        QSignalSpy received(listener, &Listener::messageReceived);
        QSignalSpy destroyed(listener, &QObject::destroyed);
        // One connection at a time: the second is let in, but not taken.
        listener->setAdmission([listener] { return listener->heldConnections() == 0; });
        QVERIFY(listener->startListening());
        const quint16 port = listener->serverPort();
        const std::unique_ptr<QTcpSocket> reading = Connect(port);
        QVERIFY(reading && SendPayload(port, Bars("bob|1|let in")));
        QTRY_COMPARE(listener->activeReaders(), 1);
        listener->retire();
        // The port is free at once for the listener that takes over.
        QVERIFY(Listener(QHostAddress(QHostAddress::LocalHost), port).startListening());
        reading->write(Bars("bob|1|being read"));
        reading->disconnectFromHost();
        QTRY_COMPARE(received.count(), 2);
        QCOMPARE(received[0][0].toByteArray(), Bars("bob|1|being read"));
        QCOMPARE(received[1][0].toByteArray(), Bars("bob|1|let in"));
        QTRY_COMPARE(destroyed.count(), 1);
    }

    void oneAddressCannotFillThePort()
    {
        Port p;
        // A burst of whole messages from one address is read however large...
        std::vector<std::unique_ptr<RawSender>> burst;
        for (int i = 0; i < 3 * Listener::kMaxWaitingPerAddress; ++i)
            burst.push_back(std::make_unique<RawSender>(p.port(), Bars("bob|1|burst"), "127.0.0.3"));
        // ...but of far more silent connections than a port holds, those
        // beyond the address's bound are reset at once, and another address
        // is read while the silent ones it holds are still open.
        std::vector<std::unique_ptr<RawSender>> silent;
        for (int i = 0; i < Admission::kMaxConnectionsPerPort + 44; ++i)
            silent.push_back(std::make_unique<RawSender>(p.port(), "x", "127.0.0.1", false));
        std::future<Ending> other = SendAside(p.port(), Bars("bob|1|other"), "127.0.0.2");
        QTRY_COMPARE(p.received.count(), qsizetype(burst.size()) + 1);
        QCOMPARE(p.payload(int(burst.size())), Bars("bob|1|other"));
        for (const auto &sender : burst)
            QCOMPARE(sender->ending(5000), Ending::Clean);
        const int kept = Listener::kMaxReadersPerAddress + Listener::kMaxWaitingPerAddress;
        QTRY_COMPARE(std::count_if(silent.begin(), silent.end(),
                                   [](const auto &sender) { return sender->ending() == Ending::Reset; }),
                     qsizetype(silent.size()) - kept);
        QCOMPARE(p.listener->heldConnections(), kept);
        QCOMPARE(other.get(), Ending::Clean);
    }

    void closeHandsOnWhatWasRead()
    {
        Port p;
        // Each message is held as if its id waited to be stored.
        qint64 id = 0;
        connect(p.listener.get(), &Listener::messageReceived, p.listener.get(),
                [&] { p.listener->holdUntilStored(++id); });
        // Unfinished ones, one that finished behind them and one waiting
        // for a reader behind that.
        std::vector<std::unique_ptr<RawSender>> stalled;
        for (int i = 1; i < Listener::kMaxReadersPerAddress; ++i)
            stalled.push_back(std::make_unique<RawSender>(p.port(), Bars("bob|1|half"), "127.0.0.1", false));
        RawSender first(p.port(), Bars("bob|1|first"));
        RawSender second(p.port(), Bars("bob|1|second"));
        QTRY_COMPARE(p.listener->waitingConnections(), 1);
        p.listener->close();
        // Those whose sender finished are handed on, the others reset.
        QCOMPARE(p.received.count(), 2);
        QCOMPARE(p.payload(1), Bars("bob|1|second"));
        for (const auto &sender : stalled)
            QCOMPARE(sender->ending(5000), Ending::Reset);
        // Closed cleanly once stored, reset when the listener ends before.
        QCOMPARE(first.ending(), Ending::Open);
        p.listener->release(1);
        QCOMPARE(first.ending(5000), Ending::Clean);
        p.listener.reset();
        QCOMPARE(second.ending(5000), Ending::Reset);
    }

    void closedOnlyOnceStored()
    {
        Network n;
        QVERIFY(n.lock(u"BEGIN IMMEDIATE"_s)); // the disk holds the message back
        RawSender sender(n.port, Bars("bob|1|kept"));
        QTRY_COMPARE(n.arrived.count(), 1);
        QCOMPARE(sender.ending(), Ending::Open);
        QVERIFY(n.lock(u"COMMIT"_s));
        QTRY_COMPARE_WITH_TIMEOUT(sender.ending(), Ending::Clean, 10000);
        QCOMPARE(n.stored(), QStringList{u"kept"_s});
        QCOMPARE(n.history.droppedCount(), 0);
    }

    void shutdownStoresWhatWasRead()
    {
        Network n;
        RawSender stalled(n.port, Bars("bob|1|half"), "127.0.0.1", false);
        RawSender complete(n.port, Bars("bob|1|whole"));
        QTRY_COMPARE(n.admission.held(), 2);
        n.network.shutdown();
        // Stored before shutdown() returned, and only then confirmed.
        QCOMPARE(n.stored(), QStringList{u"whole"_s});
        QCOMPARE(complete.ending(5000), Ending::Clean);
        QCOMPARE(stalled.ending(5000), Ending::Reset);
    }

    void portBelow1024Explained()
    {
        using enum QAbstractSocket::SocketError;
        const QString path = u"/opt/quill/bin/quillbox"_s;
        const QString text = listenErrorDescription(SocketAccessError, u"Denied"_s, 505, path);
        QVERIFY(text.startsWith(u"Denied\n\nPort 505 is below 1024"_s));
        QVERIFY(text.contains(u"sudo setcap cap_net_bind_service=+ep \"/opt/quill/bin/quillbox\""_s));
        QCOMPARE(listenErrorDescription(SocketAccessError, u"Denied"_s, 1024, path), u"Denied"_s);
        QCOMPARE(listenErrorDescription(AddressInUseError, u"In use"_s, 505, path), u"In use"_s);
    }
};

QTEST_MAIN(TestListener)
#include "test_listener.moc"
