// Quillbox under load and hostile peers, on loopback: nothing that was sent
// is lost while there is room, silent peers never lock others out, and
// oversize, malformed, empty or reset connections change nothing else.
#include "messagewindow.h"
#include "rawsender.h"
#include "receiverfixture.h"

#include <QTest>
#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr int kSenders = 200;
constexpr int kMessagesPerSender = 50;
constexpr int kSilentPeers = 500;
constexpr int kShortTimeoutMs = 300;

QByteArray Payload(const QString &name, int sequence)
{
    return composeMessage(name, 505, QStringLiteral("message %1").arg(sequence));
}

int HeldMessages(const ReceiverFixture &receiver)
{
    int held = static_cast<int>(receiver.router().queue().size());
    for (MessageWindow *window : receiver.windows())
        held += static_cast<int>(window->messages().size());
    return held;
}

bool WindowOf(const ReceiverFixture &receiver, const QString &name)
{
    for (MessageWindow *window : receiver.windows()) {
        if (window->sender().name == name)
            return true;
    }
    return false;
}

} // namespace

class TestReceiverStress : public QObject
{
    Q_OBJECT
private slots:
    void burstFromManySendersLosesNothing();
    void silentPeersDoNotLockOthersOut();
    void hostilePayloads_data();
    void hostilePayloads();
};

void TestReceiverStress::burstFromManySendersLosesNothing()
{
    ReceiverFixture receiver;
    const quint16 port = receiver.port();
    std::atomic<int> refused{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&, s] {
            for (int m = 0; m < kMessagesPerSender; ++m) {
                switch (RawSend(port, Payload(QStringLiteral("sender%1").arg(s), m))) {
                case SendResult::Sent:
                    break;
                case SendResult::Refused:
                    ++refused;
                    break;
                case SendResult::Failed:
                    ++failed;
                    break;
                }
            }
        });
    }
    QTRY_COMPARE_WITH_TIMEOUT(HeldMessages(receiver), kSenders * kMessagesPerSender, 100000);
    for (std::thread &sender : senders)
        sender.join();
    QCOMPARE(refused.load(), 0);
    QCOMPARE(failed.load(), 0);
    QCOMPARE(receiver.windows().size(), MessageRouter::kMaxMessageWindows);

    // Every open window holds its sender's texts in the order they were sent.
    for (MessageWindow *window : receiver.windows()) {
        const QStringList &texts = window->messages();
        // The peer's address is known even for senders that had closed
        // before their connection was read.
        QCOMPARE(window->sender().address, QStringLiteral("127.0.0.1"));
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(texts.at(i), QStringLiteral("message %1").arg(i));
    }
}

void TestReceiverStress::silentPeersDoNotLockOthersOut()
{
    ReceiverFixture receiver({0}, kShortTimeoutMs);
    const quint16 port = receiver.port();
    std::vector<int> silent;
    std::thread opener([&] {
        for (int i = 0; i < kSilentPeers; ++i) {
            const int fd = RawConnectSilently(port);
            if (fd >= 0)
                silent.push_back(fd);
        }
    });
    // While the silent peers hold the port, a sender on another computer
    // still gets through.
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        QThread::msleep(50);
        sent = RawSend(port, Payload(QStringLiteral("patient"), 0), false, INADDR_LOOPBACK + 1) ==
               SendResult::Sent;
    });
    QTRY_VERIFY_WITH_TIMEOUT(WindowOf(receiver, QStringLiteral("patient")), 60000);
    opener.join();
    sender.join();
    QVERIFY(sent);
    QCOMPARE(static_cast<int>(silent.size()), kSilentPeers);

    // Each silent peer is dropped after the time-out: the receiver closes its end.
    QTRY_COMPARE_WITH_TIMEOUT(receiver.form->listeners().at(0)->activeReaders(), 0, 60000);
    int closedByReceiver = 0;
    for (int fd : silent) {
        char byte = 0;
        timeval timeout{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (::recv(fd, &byte, 1, 0) <= 0)
            ++closedByReceiver;
        ::close(fd);
    }
    QCOMPARE(closedByReceiver, kSilentPeers);
    // Nothing was shown for them.
    QCOMPARE(HeldMessages(receiver), 1);
}

void TestReceiverStress::hostilePayloads_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("reset");
    QTest::addColumn<int>("held"); // messages it leaves behind
    QByteArray oversize = Bars("big|1|");
    oversize.append(QByteArray(3 * kMaxPayloadBytes, 'x'));
    QTest::newRow("beyond 65,536 bytes: the first 65,536 are kept") << oversize << false << 1;
    QTest::newRow("one separator: dropped") << Bars("bob|505") << false << 0;
    QTest::newRow("empty: dropped") << QByteArray() << false << 0;
    QTest::newRow("reset before anything arrives") << QByteArray() << true << 0;
    QTest::newRow("NUL bytes only") << QByteArray(1000, '\0') << false << 1;
    QTest::newRow("not text at all") << QByteArray::fromHex("fffefdfc00ff00c0c1") << false << 1;
}

void TestReceiverStress::hostilePayloads()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, reset);
    QFETCH(int, held);
    ReceiverFixture receiver({0}, kShortTimeoutMs);
    const quint16 port = receiver.port();
    std::thread peer([&] { RawSend(port, payload, reset); });
    peer.join();
    // A well-formed message afterwards is still taken, and is the only other one.
    std::thread after([&] { RawSend(port, Payload(QStringLiteral("after"), 0)); });
    after.join();
    QTRY_VERIFY_WITH_TIMEOUT(WindowOf(receiver, QStringLiteral("after")), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.form->listeners().at(0)->activeReaders(), 0, 20000);
    QCOMPARE(HeldMessages(receiver), held + 1);
    for (MessageWindow *window : receiver.windows()) {
        for (const QString &text : window->messages())
            QVERIFY(text.size() <= kMaxPayloadBytes);
    }
}

QTEST_MAIN(TestReceiverStress)
#include "test_receiverstress.moc"
