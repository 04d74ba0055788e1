// One listening port: every sender read on its own, within the size and time
// limits, and handed on with its address and the port it came in on.
#include "connectionreader.h"
#include "listener.h"
#include "receivertesthelpers.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Listeners = std::vector<std::unique_ptr<Listener>>;

std::unique_ptr<Listener> LoopbackListener(qint32 port = 0)
{
    return std::make_unique<Listener>(QHostAddress(QHostAddress::LocalHost), port);
}

} // namespace

class TestListener : public QObject
{
    Q_OBJECT
private slots:
    void peerIpTextCases_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::newRow("IPv4") << u"192.168.0.7"_s << u"192.168.0.7"_s;
        QTest::newRow("IPv4-mapped") << u"::ffff:10.1.2.3"_s << u"10.1.2.3"_s;
        QTest::newRow("IPv6 stays") << u"fe80::1"_s << u"fe80::1"_s;
    }

    void peerIpTextCases()
    {
        QFETCH(QString, address);
        QFETCH(QString, expected);
        QCOMPARE(peerIpText(QHostAddress(address)), expected);
    }

    void payloadHandedOnWhole_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("worked example") << Bars("bob|505|hi") << Bars("bob|505|hi");
        const QByteArray big(200000, 'x');
        QTest::newRow("beyond the limit cut") << big << big.left(kMaxPayloadBytes);
        const QByteArray exact(kMaxPayloadBytes, 'y');
        QTest::newRow("exactly the limit") << exact << exact;
        QTest::newRow("NULs kept") << Bars("a|1|b|c|") << Bars("a|1|b|c|");
        const QByteArray few = Bars("bob|505|") + QByteArray(3000, 'z');
        QTest::newRow("a few KiB") << few << few;
    }

    void payloadHandedOnWhole()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, expected);
        auto listener = LoopbackListener();
        QSignalSpy received(listener.get(), &Listener::messageReceived);
        QVERIFY(listener->startListening());
        QTcpSocket sender;
        sender.connectToHost(QHostAddress(QHostAddress::LocalHost), listener->serverPort());
        QVERIFY(sender.waitForConnected(5000));
        sender.write(sent);
        // Written while the receiver reads, and closed only once all is out.
        QTRY_VERIFY_WITH_TIMEOUT(sender.bytesToWrite() == 0 || received.count() == 1, 10000);
        sender.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 10000);
        const QByteArray payload = received[0][0].toByteArray();
        QCOMPARE(payload, expected);
        // Waiting messages are bounded by their size, so a short one must not
        // keep a read buffer for the largest.
        QVERIFY2(payload.capacity() - payload.size() < 1024, QByteArray::number(payload.capacity()));
        QCOMPARE(received[0][1].toString(), u"127.0.0.1"_s);
        QCOMPARE(received[0][2].value<quint16>(), listener->serverPort());
        QTRY_COMPARE(listener->activeReaders(), 0);
    }

    void listenFailuresReported()
    {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress(QHostAddress::LocalHost), 0));
        auto taken = LoopbackListener(other.serverPort());
        QSignalSpy failed(taken.get(), &Listener::listenFailed);
        QVERIFY(!taken->startListening());
        QCOMPARE(failed.count(), 1);
        QVERIFY(!failed[0][0].toString().isEmpty());
        QVERIFY(!taken->isListening());

        auto outOfRange = LoopbackListener(70000);
        QSignalSpy outOfRangeFailed(outOfRange.get(), &Listener::listenFailed);
        QVERIFY(!outOfRange->startListening());
        QCOMPARE(outOfRangeFailed.count(), 1);
    }

    void silentPeerTimesOutWhileOthersGetThrough()
    {
        auto listener = LoopbackListener();
        listener->setDataTimeout(500);
        QSignalSpy received(listener.get(), &Listener::messageReceived);
        QVERIFY(listener->startListening());
        QTcpSocket silent;
        silent.connectToHost(QHostAddress(QHostAddress::LocalHost), listener->serverPort());
        QVERIFY(silent.waitForConnected(5000));
        QTRY_COMPARE(listener->activeReaders(), 1);

        // Another computer is not held up by it.
        QVERIFY(SendPayload(listener->serverPort(), Bars("bob|1|meanwhile"), QHostAddress(u"127.0.0.2"_s)));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received[0][0].toByteArray(), Bars("bob|1|meanwhile"));
        QCOMPARE(received[0][1].toString(), u"127.0.0.2"_s);
        QCOMPARE(listener->activeReaders(), 1);

        // The silent peer is let go, with nothing handed on.
        QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QAbstractSocket::UnconnectedState, 5000);
        QCOMPARE(listener->activeReaders(), 0);
        QCOMPARE(received.count(), 1);
    }

    void peerClosingWithoutDataFreesAtOnce()
    {
        auto listener = LoopbackListener();
        QSignalSpy received(listener.get(), &Listener::messageReceived);
        QVERIFY(listener->startListening());
        QVERIFY(SendPayload(listener->serverPort(), QByteArray()));
        // Long before the data time-out.
        QTRY_COMPARE_WITH_TIMEOUT(listener->activeReaders(), 0, Listener::kDataTimeoutMs / 2);
        QVERIFY(SendPayload(listener->serverPort(), Bars("bob|1|after")));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received[0][0].toByteArray(), Bars("bob|1|after"));
    }

    void openPeerHandedOnAtTimeOut()
    {
        auto listener = LoopbackListener();
        listener->setDataTimeout(300);
        QSignalSpy received(listener.get(), &Listener::messageReceived);
        QVERIFY(listener->startListening());
        QTcpSocket lingering;
        lingering.connectToHost(QHostAddress(QHostAddress::LocalHost), listener->serverPort());
        QVERIFY(lingering.waitForConnected(5000));
        lingering.write(Bars("bob|1|never closed"));
        QVERIFY(lingering.waitForBytesWritten(5000));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 5000);
        QCOMPARE(received[0][0].toByteArray(), Bars("bob|1|never closed"));
        QCOMPARE(listener->activeReaders(), 0);
    }

    void readersBoundedPerPort()
    {
        auto listener = LoopbackListener();
        QSignalSpy received(listener.get(), &Listener::messageReceived);
        QVERIFY(listener->startListening());
        // Silent senders from as many addresses as it takes to fill every
        // reader, each address up to its own bound.
        constexpr int kAddresses = Listener::kMaxReadersPerPort / Listener::kMaxReadersPerAddress;
        std::vector<std::unique_ptr<QTcpSocket>> silent;
        for (int i = 0; i < Listener::kMaxReadersPerPort; ++i) {
            silent.push_back(std::make_unique<QTcpSocket>());
            QVERIFY(silent.back()->bind(QHostAddress(u"127.0.1.%1"_s.arg(1 + i % kAddresses))));
            silent.back()->connectToHost(QHostAddress(QHostAddress::LocalHost), listener->serverPort());
            QVERIFY(silent.back()->waitForConnected(5000));
        }
        QTRY_COMPARE(listener->activeReaders(), Listener::kMaxReadersPerPort);

        // One more sender is held, not read and not lost...
        QVERIFY(SendPayload(listener->serverPort(), Bars("bob|1|held"), QHostAddress(u"127.0.0.2"_s)));
        QTRY_COMPARE(listener->waitingConnections(), 1);
        QCOMPARE(listener->activeReaders(), Listener::kMaxReadersPerPort);
        QCOMPARE(received.count(), 0);
        // ...until a reader is free.
        silent.front()->disconnectFromHost();
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received[0][0].toByteArray(), Bars("bob|1|held"));
        QVERIFY(listener->activeReaders() <= Listener::kMaxReadersPerPort);
    }

    void oneAddressCannotTakeEveryReader()
    {
        // A host holding many silent connections gets a few readers; the
        // rest of its connections wait, and another computer is read at once.
        auto listener = LoopbackListener();
        QSignalSpy received(listener.get(), &Listener::messageReceived);
        QVERIFY(listener->startListening());
        std::vector<std::unique_ptr<QTcpSocket>> silent;
        for (int i = 0; i < Listener::kMaxReadersPerPort + 10; ++i) {
            silent.push_back(std::make_unique<QTcpSocket>());
            silent.back()->connectToHost(QHostAddress(QHostAddress::LocalHost), listener->serverPort());
            QVERIFY(silent.back()->waitForConnected(5000));
        }
        QTRY_COMPARE(listener->heldConnections(), Listener::kMaxReadersPerPort + 10);
        QCOMPARE(listener->activeReaders(), Listener::kMaxReadersPerAddress);
        QVERIFY(
            SendPayload(listener->serverPort(), Bars("bob|1|read at once"), QHostAddress(u"127.0.0.2"_s)));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received[0][1].toString(), u"127.0.0.2"_s);
        // The waiting ones still come in their turn, in order.
        for (int i = 0; i < 3; ++i) {
            silent[i]->write(Bars("me|1|") + QByteArray::number(i));
            silent[i]->disconnectFromHost();
        }
        QTRY_COMPARE(received.count(), 4);
        QCOMPARE(received[3][0].toByteArray(), Bars("me|1|2"));
    }

    void finishedReadersAreFreed()
    {
        // More senders than one batch of finished readers, then a pause: no
        // reader (nor its socket) outlives the pause.
        auto listener = LoopbackListener();
        listener->setDataTimeout(200);
        QSignalSpy received(listener.get(), &Listener::messageReceived);
        QVERIFY(listener->startListening());
        constexpr int kSenders = 100;
        for (int i = 0; i < kSenders; ++i)
            QVERIFY(SendPayload(listener->serverPort(), Bars("bob|1|one of many")));
        QTRY_COMPARE(received.count(), kSenders);
        QTRY_COMPARE(listener->findChildren<QTcpSocket *>().size(), 0);
        QCOMPARE(listener->findChildren<ConnectionReader *>().size(), 0);
    }

    void admissionHoldsSendersUntilRoom()
    {
        auto listener = LoopbackListener();
        bool room = false;
        listener->setAdmission([&room] { return room; });
        QSignalSpy received(listener.get(), &Listener::messageReceived);
        QVERIFY(listener->startListening());
        QVERIFY(SendPayload(listener->serverPort(), Bars("bob|1|waits in the kernel")));
        QCOMPARE(listener->activeReaders(), 0);
        room = true;
        listener->updateAccepting();
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received[0][0].toByteArray(), Bars("bob|1|waits in the kernel"));
    }

    void retiredListenerReadsWhatItAccepted()
    {
        // Connections waiting for a reader when the listener retires are
        // read all the same.
        auto *listener = new Listener(QHostAddress(QHostAddress::LocalHost), 0);
        QSignalSpy received(listener, &Listener::messageReceived);
        QSignalSpy destroyed(listener, &QObject::destroyed);
        QVERIFY(listener->startListening());
        std::vector<std::unique_ptr<QTcpSocket>> senders;
        for (int i = 0; i < Listener::kMaxReadersPerAddress + 20; ++i) {
            senders.push_back(std::make_unique<QTcpSocket>());
            senders.back()->connectToHost(QHostAddress(QHostAddress::LocalHost), listener->serverPort());
            QVERIFY(senders.back()->waitForConnected(5000));
        }
        QTRY_COMPARE(listener->heldConnections(), Listener::kMaxReadersPerAddress + 20);
        listener->retire();
        for (auto &sender : senders) {
            sender->write(Bars("bob|1|x"));
            sender->disconnectFromHost();
        }
        QTRY_COMPARE(received.count(), Listener::kMaxReadersPerAddress + 20);
        QTRY_COMPARE(destroyed.count(), 1);
    }

    void retiredListenerFinishesItsReads()
    {
        auto *listener = new Listener(QHostAddress(QHostAddress::LocalHost), 0);
        QSignalSpy received(listener, &Listener::messageReceived);
        QSignalSpy destroyed(listener, &QObject::destroyed);
        QVERIFY(listener->startListening());
        const quint16 port = listener->serverPort();
        QTcpSocket sender;
        sender.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        QVERIFY(sender.waitForConnected(5000));
        QTRY_COMPARE(listener->activeReaders(), 1);

        listener->retire();
        QVERIFY(!listener->isListening());
        // The port is free for the listener that takes over.
        Listener successor(QHostAddress(QHostAddress::LocalHost), port);
        QVERIFY(successor.startListening());

        sender.write(Bars("bob|1|accepted before the change"));
        sender.disconnectFromHost();
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received[0][0].toByteArray(), Bars("bob|1|accepted before the change"));
        QTRY_COMPARE(destroyed.count(), 1);
    }

    void privilegedPortExplained()
    {
        const QString denied = u"The address is protected"_s;
        const QString path = u"/opt/quill/bin/quillbox"_s;
        const QString text = listenErrorDescription(QAbstractSocket::SocketAccessError, denied, 505, path);
        QVERIFY(text.startsWith(denied));
        QVERIFY(text.contains(u"sudo setcap cap_net_bind_service=+ep \"/opt/quill/bin/quillbox\""_s));
        QVERIFY(text.contains(u"Port 505 is below 1024"_s));
        // Other failures, and refusals above 1023, keep the plain description.
        QCOMPARE(listenErrorDescription(QAbstractSocket::AddressInUseError, denied, 505, path), denied);
        QCOMPARE(listenErrorDescription(QAbstractSocket::SocketAccessError, denied, 5000, path), denied);
    }

    void oneAddressKeepsArrivalOrder()
    {
        auto listener = LoopbackListener();
        listener->setDataTimeout(500);
        QSignalSpy received(listener.get(), &Listener::messageReceived);
        QVERIFY(listener->startListening());
        // A connection from this address that is still open holds back the
        // messages that arrived after it, so they keep their order.
        QTcpSocket slow;
        slow.connectToHost(QHostAddress(QHostAddress::LocalHost), listener->serverPort());
        QVERIFY(slow.waitForConnected(5000));
        QTRY_COMPARE(listener->activeReaders(), 1);
        slow.write(Bars("bob|1|first"));
        QVERIFY(slow.waitForBytesWritten(5000));
        QVERIFY(SendPayload(listener->serverPort(), Bars("bob|1|second")));
        QVERIFY(SendPayload(listener->serverPort(), Bars("bob|1|third")));
        QTRY_COMPARE(listener->activeReaders(), 3);
        QCOMPARE(received.count(), 0);
        slow.disconnectFromHost();
        QTRY_COMPARE(received.count(), 3);
        QCOMPARE(received[0][0].toByteArray(), Bars("bob|1|first"));
        QCOMPARE(received[1][0].toByteArray(), Bars("bob|1|second"));
        QCOMPARE(received[2][0].toByteArray(), Bars("bob|1|third"));
        QCOMPARE(listener->activeReaders(), 0);
    }
};

QTEST_MAIN(TestListener)
#include "test_listener.moc"
