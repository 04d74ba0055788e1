// From the socket to the window: one window per sender (address and name),
// later messages of a sender in its window, the queue when no window can
// open or a modal dialog is up, and the bounds of both.
#include "messagewindow.h"
#include "receiverfixture.h"

#include <QLabel>
#include <QMessageBox>
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

Message Text(const QString &name, const QString &text = u"x"_s)
{
    return Message{name, u"10.0.0.1"_s, 505, 1, text};
}

// A window as the router sees it, without widgets.
struct FakeView : MessageView
{
    explicit FakeView(const Message &message)
        : first(message)
    {}
    bool showsSender(const Message &message) const override { return first.sameSender(message); }
    void addMessage(const Message &message) override { added.append(message); }
    Message first;
    QList<Message> added;
};

FakeView *View(const MessageRouter &router, int slot)
{
    return static_cast<FakeView *>(router.windows().at(slot));
}

// Closes the view of slot as a window closing would.
void Close(MessageRouter &router, int slot)
{
    std::unique_ptr<MessageView> view(router.windows().at(slot));
    router.windowClosed(slot);
}

void UseFakeViews(MessageRouter &router)
{
    router.setWindowFactory([](int, const Message &first) { return new FakeView(first); });
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
        QCOMPARE(receiver.windows()[0]->sender().localPort, receiver.port(0));
        QCOMPARE(receiver.windows()[1]->sender().localPort, receiver.port(1));
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
        // Listened on once, with no error box for the second entry.
        QCOMPARE(receiver.notices.notices.size(), 0);
        QCOMPARE(receiver.form->listeners().size(), 1);
        QVERIFY(receiver.form->listeners()[0]->isListening());
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
        QCOMPARE(receiver.windows()[1]->sender().address, from.toString());
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
            QVERIFY(window->sender().name != waiting);

        auto *closing = static_cast<MessageWindow *>(receiver.router().windows()[10]);
        QTest::mouseClick(closing->findChild<QPushButton *>(u"OKButton"_s), Qt::LeftButton);
        QCOMPARE(receiver.router().queue().size(), 0);
        QCOMPARE(receiver.windows().size(), MessageRouter::kMaxMessageWindows);
        auto *opened = static_cast<MessageWindow *>(receiver.router().windows()[10]);
        QVERIFY(opened && opened != closing);
        QCOMPARE(opened->sender().name, waiting);
        QCOMPARE(opened->slot(), 10);
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
        // Real boxes: a notice that is open stands for every message that
        // waits, however many senders come meanwhile.
        ReceiverFixture receiver;
        setMessageHandler({});
        const quint16 port = receiver.port();
        int boxes = -1;
        WhileModal([&](QWidget *) {
            for (const char *text : {"bob|1|first", "bob|1|second", "bob|1|third"}) {
                SendPayload(port, Bars(text));
                QTest::qWait(20);
            }
            static_cast<void>(QTest::qWaitFor([&] { return receiver.router().queue().size() == 3; }, 10000));
            const QList<QMessageBox *> open = receiver.form->findChildren<QMessageBox *>();
            boxes = static_cast<int>(std::count_if(open.cbegin(), open.cend(), [](QMessageBox *box) {
                return box->isVisible() && box->windowTitle() == u"Message Waiting"_s;
            }));
        });
        receiver.form->onAboutTriggered();
        QCOMPARE(boxes, 1);
        QCOMPARE(receiver.windows().size(), 1);
        QCOMPARE(receiver.windows()[0]->messages(), QStringList({u"first"_s, u"second"_s, u"third"_s}));
    }

    void malformedQueuedPayloadDropped()
    {
        ReceiverFixture receiver;
        const quint16 port = receiver.port();
        bool fineQueued = false;
        WhileModal([&](QWidget *) {
            SendPayload(port, Bars("bob|505"));
            SendPayload(port, Bars("alice|1|fine"));
            // The malformed one is dropped as it arrives.
            fineQueued = QTest::qWaitFor([&] { return receiver.router().queue().size() == 1; }, 10000);
        });
        receiver.form->onAboutTriggered();
        QVERIFY(fineQueued);
        QCOMPARE(receiver.router().queue().size(), 0);
        QCOMPARE(receiver.windows().size(), 1);
        QCOMPARE(receiver.windows()[0]->sender().name, u"alice"_s);
        QCOMPARE(Shown(receiver.windows()[0]), u"fine"_s);
    }

    void emptiedWindowSlotsTrimmedAndReused()
    {
        MessageRouter router;
        UseFakeViews(router);
        for (const QString &name : {u"a"_s, u"b"_s, u"c"_s, u"d"_s})
            router.route(Text(name));
        QCOMPARE(router.windows().size(), 4);
        Close(router, 3);
        Close(router, 2);
        QCOMPARE(router.windows().size(), 2);
        Close(router, 0);
        QCOMPARE(router.windows().size(), 2);
        QVERIFY(!router.windows()[0]);
        router.route(Text(u"e"_s));
        QCOMPARE(View(router, 0)->first.name, u"e"_s);
        QCOMPARE(router.windows().size(), 2);
        router.route(Text(u"b"_s, u"again"_s));
        QCOMPARE(View(router, 1)->added.size(), 1);
        QCOMPARE(View(router, 1)->added[0].text, u"again"_s);
    }

    void queueBounds()
    {
        MessageRouter router;
        router.setReceiveReady(false);
        for (int i = 0; i < MessageRouter::kMaxQueuedMessages - 1; ++i)
            router.enqueue(Text(u"bob"_s));
        QVERIFY(router.queueHasRoom());
        router.enqueue(Text(u"bob"_s));
        QVERIFY(!router.queueHasRoom());

        MessageRouter bytes;
        bytes.setReceiveReady(false);
        const Message big =
            Text(QString(), QString(kMaxPayloadBytes, u'x')); // shared, so this costs one buffer
        int added = 0;
        while (bytes.queueHasRoom() && added < MessageRouter::kMaxQueuedMessages) {
            bytes.enqueue(big);
            ++added;
        }
        // Full before the count is: room is kept for the largest message only.
        QVERIFY(added > 400 && added < 600);
        QVERIFY(bytes.queuedBytes() <= MessageRouter::kMaxQueuedBytes);
        QVERIFY(bytes.queuedBytes() + kMaxMessageHeldBytes > MessageRouter::kMaxQueuedBytes);
    }

    void queueBoundIsExact()
    {
        // Senders let in are counted against the queue before they are read,
        // so however many arrive the queue stops at its bound.
        ReceiverFixture receiver;
        // Activating the main window works off the queue; let that pass first.
        QTRY_VERIFY(receiver.form->isActiveWindow());
        receiver.router().setReceiveReady(false);
        constexpr int kRoom = 5;
        for (int i = 0; i < MessageRouter::kMaxQueuedMessages - kRoom; ++i)
            receiver.router().enqueue(Text(u"a"_s));
        constexpr int kSenders = 40;
        for (int i = 0; i < kSenders; ++i)
            QVERIFY(SendPayload(receiver.port(), Bars("bob|1|over"),
                                QHostAddress(u"127.0.0.%1"_s.arg(2 + i % 8))));
        QTRY_COMPARE(receiver.router().queue().size(), MessageRouter::kMaxQueuedMessages);
        QTest::qWait(300);
        QCOMPARE(receiver.router().queue().size(), MessageRouter::kMaxQueuedMessages);
        QCOMPARE(receiver.form->listeners()[0]->heldConnections(), 0);
        // Room again: the senders the kernel held come in.
        receiver.router().setReceiveReady(true);
        receiver.router().processQueue();
        QTRY_VERIFY(receiver.windows().size() >= 2);
        QTRY_COMPARE(receiver.windows().last()->sender().name, u"bob"_s);
    }

    void fullQueueHoldsSendersUntilItDrains()
    {
        ReceiverFixture receiver;
        receiver.router().setReceiveReady(false);
        // Payloads that are dropped when their turn comes, so draining is quick.
        for (int i = 0; i < MessageRouter::kMaxQueuedMessages; ++i)
            receiver.router().enqueue(Text(u"a"_s + QString::number(i % 64)));
        QVERIFY(SendPayload(receiver.port(), Bars("bob|1|held by the kernel")));
        QCOMPARE(receiver.router().queue().size(), MessageRouter::kMaxQueuedMessages);
        receiver.router().setReceiveReady(true);
        receiver.router().processQueue();
        // The queued senders fill 64 windows; the one the kernel held gets the 65th.
        QTRY_COMPARE(receiver.windows().size(), 65);
        QCOMPARE(Shown(receiver.windows()[64]), u"held by the kernel"_s);
        QCOMPARE(receiver.notices.notices.size(), 0);
    }
};

QTEST_MAIN(TestMessageRouting)
#include "test_messagerouting.moc"
