// One listening port on real loopback sockets: payloads whole or cut at
// 64 KiB, silent peers let go, the bounds on readers and on held connections,
// arrival order per address, retiring, and the explanation of a port below
// 1024.
#include "receivertesthelpers.h"

#include <QSignalSpy>

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

} // namespace

class TestListener : public QObject
{
    Q_OBJECT
private slots:
    void payloadWholeOrCut()
    {
        // One that fills the limit is handed on at once, even with the
        // connection kept open.
        for (const QByteArray &sent :
             {Bars("bob|505|hi"), QByteArray(kMaxPayloadBytes, 'y'), QByteArray(200000, 'x')}) {
            Port p;
            const std::unique_ptr<QTcpSocket> sender = Connect(p.port());
            QVERIFY(sender);
            sender->write(sent);
            if (sent.size() < kMaxPayloadBytes)
                sender->disconnectFromHost();
            QTRY_COMPARE_WITH_TIMEOUT(p.received.count(), 1, 10000);
            QCOMPARE(p.payload(0), sent.left(kMaxPayloadBytes));
            // A short one keeps no read buffer for the largest.
            QVERIFY(p.payload(0).capacity() < p.payload(0).size() + 1024);
            QCOMPARE(p.received[0][1].toString(), u"127.0.0.1"_s);
            QCOMPARE(p.received[0][2].value<quint16>(), p.port());
            // The connection is closed as soon as its read ends.
            QTRY_COMPARE(sender->state(), QAbstractSocket::UnconnectedState);
            QCOMPARE(p.listener->heldConnections(), 0);
        }
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
        while (silent.size() < Listener::kMaxConnectionsPerPort + 10)
            QVERIFY(open(u"127.0.2.%1"_s.arg(silent.size() % 100 + 1)));
        QTRY_COMPARE(p.listener->heldConnections(), Listener::kMaxConnectionsPerPort);
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
