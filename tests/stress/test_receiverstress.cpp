// Quillbox under load on loopback: a burst of senders at once, with hostile
// payloads among them; every message arrives, each sender's in order, and
// the hostile ones are dropped or cut to 64 KiB.
#include "receivertesthelpers.h"

#include <thread>

class TestReceiverStress : public QObject
{
    Q_OBJECT
private slots:
    void burstWithHostilePayloads()
    {
        Receiver r;
        const quint16 port = r.port();
        // The whole burst fits the connections a port holds (256) and the
        // kernel's backlog (1024): beyond that the kernel drops handshakes and
        // may complete a sender's later connection before its earlier one.
        constexpr int kSenders = 100;
        constexpr int kTexts = 12;
        // Three of these make a message each; the other two are dropped.
        const QByteArrayList hostile = {Bars("big|1|") + QByteArray(3 * kMaxPayloadBytes, 'x'),
                                        Bars("bob|505"), QByteArray(1000, '\0'),
                                        QByteArray::fromHex("fffefdfc00ff00c0c1"), QByteArray()};
        // Every text held, after its sender's address and name: those of the
        // windows, then those queued while every window was taken.
        const auto held = [&] {
            QStringList texts;
            for (const MessageWindow *window : r.windows()) {
                for (const QString &text : window->messages())
                    texts.append(window->sender().address + window->sender().name + u'|' + text);
            }
            for (const Message &message : r.router().queue())
                texts.append(message.address + message.name + u'|' + message.text);
            return texts;
        };
        {
            std::vector<std::jthread> senders;
            senders.emplace_back([&] {
                for (const QByteArray &payload : hostile)
                    SendPayload(port, payload, u"127.0.0.2"_s);
            });
            for (int s = 0; s < kSenders; ++s) {
                senders.emplace_back([&, s] {
                    for (int t = 0; t < kTexts; ++t)
                        SendPayload(port, composeMessage(u"s%1"_s.arg(s), 505, QString::number(t)));
                });
            }
            QVERIFY(QTest::qWaitFor([&] { return held().size() == 3 + kSenders * kTexts; }, 120000));
        }
        const QStringList texts = held();
        for (int s = 0; s < kSenders; ++s) {
            QStringList inOrder;
            for (int t = 0; t < kTexts; ++t)
                inOrder.append(u"127.0.0.1s%1|%2"_s.arg(s).arg(t));
            QCOMPARE(texts.filter(u"127.0.0.1s%1|"_s.arg(s)), inOrder);
        }
        QVERIFY(texts.contains(u"127.0.0.2big|"_s + QString(kMaxPayloadBytes - 6, u'x')));
    }
};

QTEST_MAIN(TestReceiverStress)
#include "test_receiverstress.moc"
