// From the socket to the window: one window per sender (address and name),
// later messages of a sender in its window, the queue when no window can
// open or a modal dialog is up, and the bounds of both.
#include "messagewindow.h"
#include "receiverfixture.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

const QHostAddress kOtherAddress(u"127.0.0.2"_s);

QString Shown(MessageWindow *window)
{
    return window->findChild<QPlainTextEdit *>(u"TxtMessage"_s)->toPlainText();
}

QPushButton *ReadNext(MessageWindow *window)
{
    return window->findChild<QPushButton *>(u"ReadNext"_s);
}

} // namespace

class TestMessageRouting : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { QVERIFY(QApplication::topLevelWidgets().size() < 200); }

    void twoPortsEachReceive()
    {
        ReceiverFixture receiver({0, 0});
        QCOMPARE(receiver.form->listeners().size(), 2);
        QVERIFY(SendPayload(receiver.port(0), Bars("ann|1|first port")));
        QVERIFY(SendPayload(receiver.port(1), Bars("bob|1|second port")));
        QTRY_COMPARE(receiver.windows().size(), 2);
        QCOMPARE(receiver.windows()[0]->userport, receiver.port(0));
        QCOMPARE(receiver.windows()[1]->userport, receiver.port(1));
        QCOMPARE(receiver.notices.notices.size(), 0);
    }

    void takenPortGivesBoxWhileOtherWorks()
    {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress(QHostAddress::LocalHost), 0));
        ReceiverFixture receiver({other.serverPort(), 0});
        QCOMPARE(receiver.notices.notices.size(), 1);
        QCOMPARE(receiver.notices.notices[0].title, u"Error"_s);
        QVERIFY(receiver.notices.notices[0].text.startsWith(u"Winsock Error: "_s));
        QVERIFY(receiver.notices.notices[0].text.size() > u"Winsock Error: "_s.size());
        QVERIFY(!receiver.form->listeners()[0]->isListening());
        QVERIFY(SendPayload(receiver.port(1), Bars("bob|1|still here")));
        QTRY_COMPARE(receiver.windows().size(), 1);
        QCOMPARE(Shown(receiver.windows()[0]), u"still here"_s);
    }

    void portListedTwice()
    {
        ReceiverFixture receiver({0});
        const quint16 port = receiver.port();
        receiver.settings.portList.clear();
        receiver.settings.portList.append(port);
        receiver.settings.portList.append(port);
        receiver.form->startListeners();
        QCOMPARE(receiver.notices.count(u"Error"_s), 1);
        QVERIFY(receiver.form->listeners()[0]->isListening());
        QVERIFY(!receiver.form->listeners()[1]->isListening());
        QVERIFY(SendPayload(port, Bars("bob|1|once")));
        QTRY_COMPARE(receiver.windows().size(), 1);
    }

    void sameSenderJoinsItsWindow()
    {
        ReceiverFixture receiver;
        QVERIFY(SendPayload(receiver.port(), Bars("bob|505|one")));
        QTRY_COMPARE(receiver.windows().size(), 1);
        MessageWindow *window = receiver.windows()[0];
        QVERIFY(window->isVisible());
        QVERIFY(!ReadNext(window)->isVisible());

        QVERIFY(SendPayload(receiver.port(), Bars("bob|505|two")));
        QTRY_COMPARE(window->messages().size(), 2);
        QCOMPARE(receiver.windows().size(), 1);
        QVERIFY(ReadNext(window)->isVisible());
        QCOMPARE(Shown(window), u"one"_s);

        QTest::mouseClick(ReadNext(window), Qt::LeftButton);
        QCOMPARE(Shown(window), u"two"_s);
        QVERIFY(!ReadNext(window)->isVisible());
    }

    void otherSenderOpensSecondWindow_data()
    {
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<bool>("fromOtherAddress");
        QTest::newRow("other name, same address") << Bars("alice|505|x") << false;
        QTest::newRow("same name, other address") << Bars("bob|505|x") << true;
        QTest::newRow("name differing in case") << Bars("Bob|505|x") << false;
        QTest::newRow("empty name beside a named one") << Bars("|505|x") << false;
    }

    void otherSenderOpensSecondWindow()
    {
        QFETCH(QByteArray, second);
        QFETCH(bool, fromOtherAddress);
        ReceiverFixture receiver;
        QVERIFY(SendPayload(receiver.port(), Bars("bob|505|first")));
        QTRY_COMPARE(receiver.windows().size(), 1);
        const QHostAddress from(fromOtherAddress ? kOtherAddress : QHostAddress(QHostAddress::LocalHost));
        QVERIFY(SendPayload(receiver.port(), second, from));
        QTRY_COMPARE(receiver.windows().size(), 2);
        QCOMPARE(receiver.windows()[0]->messages().size(), 1);
        QCOMPARE(receiver.windows()[1]->userip, from.toString());
    }

    void sixtySixthSenderWaitsForAWindow()
    {
        ReceiverFixture receiver;
        for (int i = 0; i < MessageRouter::kMaxMessageWindows + 1; ++i)
            QVERIFY(SendPayload(receiver.port(), Bars("sender" + QByteArray::number(i) + "|1|hello")));
        QTRY_COMPARE(receiver.router().queue().size(), 1);
        QCOMPARE(receiver.windows().size(), MessageRouter::kMaxMessageWindows);
        const QString waiting = u"sender%1"_s.arg(MessageRouter::kMaxMessageWindows);
        for (MessageWindow *window : receiver.windows())
            QVERIFY(window->username != waiting);

        MessageWindow *closing = receiver.router().windows()[10];
        QTest::mouseClick(closing->findChild<QPushButton *>(u"OKButton"_s), Qt::LeftButton);
        QCOMPARE(receiver.router().queue().size(), 0);
        QCOMPARE(receiver.windows().size(), MessageRouter::kMaxMessageWindows);
        MessageWindow *opened = receiver.router().windows()[10];
        QVERIFY(opened && opened != closing);
        QCOMPARE(opened->username, waiting);
        QCOMPARE(opened->dialognb, qint16(10));
    }

    void messagesDuringModalShownInOrder_data()
    {
        QTest::addColumn<bool>("optionsDialog");
        QTest::newRow("About box") << false;
        QTest::newRow("options dialog") << true;
    }

    void messagesDuringModalShownInOrder()
    {
        QFETCH(bool, optionsDialog);
        ReceiverFixture receiver;
        const quint16 port = receiver.port();
        bool queuedWhileOpen = false;
        bool nothingShownWhileOpen = false;
        WhileModal([&](QWidget *) {
            for (const char *text : {"bob|1|first", "bob|1|second", "bob|1|third"})
                SendPayload(port, Bars(text));
            queuedWhileOpen = QTest::qWaitFor(
                [&] {
                    return receiver.router().queue().size() == 3 &&
                           receiver.notices.count(u"Message Waiting"_s) >= 1;
                },
                10000);
            nothingShownWhileOpen = receiver.windows().isEmpty();
            // A window closing meanwhile does not empty the queue either.
            receiver.router().processQueue();
            nothingShownWhileOpen = nothingShownWhileOpen && receiver.windows().isEmpty();
        });
        if (optionsDialog)
            receiver.form->onProgramOptionsTriggered();
        else
            receiver.form->onAboutTriggered();

        QVERIFY(queuedWhileOpen);
        QVERIFY(nothingShownWhileOpen);
        QVERIFY(receiver.notices.count(u"Message Waiting"_s) >= 1);
        for (const Notice &notice : receiver.notices.notices)
            QCOMPARE(notice.text, u"Message Waiting, return to main menu to receive"_s);
        QVERIFY(receiver.router().isReceiveReady());
        QCOMPARE(receiver.router().queue().size(), 0);
        QCOMPARE(receiver.windows().size(), 1);
        QCOMPARE(receiver.windows()[0]->messages(), QStringList({u"first"_s, u"second"_s, u"third"_s}));
    }

    void waitingNoticesNeverPileUp()
    {
        ReceiverFixture receiver;
        const quint16 port = receiver.port();
        // A notice that stays open (its own event loop) while more senders come.
        int open = 0;
        int mostOpen = 0;
        int shown = 0;
        bool allQueued = false;
        setMessageHandler([&](QWidget *, const QString &, const QString &) {
            ++shown;
            mostOpen = std::max(mostOpen, ++open);
            if (shown == 1) {
                SendPayload(port, Bars("bob|1|second"));
                SendPayload(port, Bars("bob|1|third"));
                allQueued = QTest::qWaitFor([&] { return receiver.router().queue().size() == 3; }, 10000);
            }
            --open;
        });
        WhileModal([&](QWidget *) {
            SendPayload(port, Bars("bob|1|first"));
            static_cast<void>(QTest::qWaitFor([&] { return allQueued; }, 20000));
        });
        receiver.form->onAboutTriggered();
        setMessageHandler({});
        QVERIFY(allQueued);
        QCOMPARE(mostOpen, 1);
        QCOMPARE(receiver.windows().size(), 1);
        QCOMPARE(receiver.windows()[0]->messages(), QStringList({u"first"_s, u"second"_s, u"third"_s}));
    }

    void malformedQueuedPayloadDropped()
    {
        ReceiverFixture receiver;
        const quint16 port = receiver.port();
        bool bothQueued = false;
        WhileModal([&](QWidget *) {
            SendPayload(port, Bars("bob|505"));
            SendPayload(port, Bars("alice|1|fine"));
            bothQueued = QTest::qWaitFor([&] { return receiver.router().queue().size() == 2; }, 10000);
        });
        receiver.form->onAboutTriggered();
        QVERIFY(bothQueued);
        QCOMPARE(receiver.router().queue().size(), 0);
        QCOMPARE(receiver.windows().size(), 1);
        QCOMPARE(receiver.windows()[0]->username, u"alice"_s);
        QCOMPARE(Shown(receiver.windows()[0]), u"fine"_s);
    }

    void emptiedWindowSlotsTrimmedAndReused()
    {
        ReceiverSettings settings;
        MessageRouter router(settings);
        for (const char *name : {"a", "b", "c", "d"})
            router.processMessage(Bars(QByteArray(name) + "|1|x"), 505, u"10.0.0.1"_s);
        QCOMPARE(router.windows().size(), 4);
        router.windows()[3]->close();
        router.windows()[2]->close();
        QCOMPARE(router.windows().size(), 2);
        router.windows()[0]->close();
        QCOMPARE(router.windows().size(), 2);
        QVERIFY(router.windows()[0].isNull());
        router.processMessage(Bars("e|1|x"), 505, u"10.0.0.1"_s);
        QCOMPARE(router.windows()[0]->username, u"e"_s);
        QCOMPARE(router.windows().size(), 2);
    }

    void queueBounds()
    {
        ReceiverSettings settings;
        MessageRouter router(settings);
        router.setReceiveReady(false);
        const QByteArray payload = Bars("bob|1|x");
        for (int i = 0; i < MessageRouter::kMaxQueuedMessages - 1; ++i)
            router.enqueue(QueuedMessage{payload, 1, u"10.0.0.1"_s});
        QVERIFY(router.queueHasRoom());
        router.enqueue(QueuedMessage{payload, 1, u"10.0.0.1"_s});
        QVERIFY(!router.queueHasRoom());

        MessageRouter bytes(settings);
        bytes.setReceiveReady(false);
        const QByteArray big(kMaxPayloadBytes, 'x'); // shared, so this costs one buffer
        const qsizetype fill = MessageRouter::kMaxQueuedBytes / kMaxPayloadBytes;
        for (qsizetype i = 0; i < fill - 1; ++i)
            bytes.enqueue(QueuedMessage{big, 1, u"10.0.0.1"_s});
        QVERIFY(bytes.queueHasRoom());
        bytes.enqueue(QueuedMessage{big, 1, u"10.0.0.1"_s});
        QVERIFY(!bytes.queueHasRoom());
        QCOMPARE(bytes.queuedBytes(), MessageRouter::kMaxQueuedBytes);
    }

    void fullQueueHoldsSendersUntilItDrains()
    {
        ReceiverFixture receiver;
        receiver.router().setReceiveReady(false);
        // Payloads that are dropped when their turn comes, so draining is quick.
        for (int i = 0; i < MessageRouter::kMaxQueuedMessages; ++i)
            receiver.router().enqueue(QueuedMessage{Bars("bad|1"), 1, u"10.0.0.1"_s});
        QVERIFY(SendPayload(receiver.port(), Bars("bob|1|held by the kernel")));
        QCOMPARE(receiver.router().queue().size(), MessageRouter::kMaxQueuedMessages);
        receiver.router().setReceiveReady(true);
        receiver.router().processQueue();
        QTRY_COMPARE(receiver.windows().size(), 1);
        QCOMPARE(Shown(receiver.windows()[0]), u"held by the kernel"_s);
        QCOMPARE(receiver.notices.notices.size(), 0);
    }
};

QTEST_MAIN(TestMessageRouting)
#include "test_messagerouting.moc"
