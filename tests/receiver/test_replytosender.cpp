// Quillbox's side of "Reply": the sender handed to Quillpost at once, or
// Quillpost started and asked again in bounded rounds; a missing program or a
// record too long reported; never two handoffs at once; and Quillbox
// receiving and painting on while Quillpost holds its answer back.
#include "localendpoint.h"
#include "receivertesthelpers.h"
#include "replyrecord.h"
#include "replyservice.h"

#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>

namespace {

constexpr int kWaitMs = 10000;

// The window captioned "Send Message" as Quillpost holds it: an endpoint on a
// thread of its own. With hold set it keeps each request waiting for its
// answer, as a program that hangs.
struct SendWindow
{
    explicit SendWindow(bool hold = false)
    {
        endpoint->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, endpoint, &QObject::deleteLater);
        QObject::connect(endpoint, &LocalEndpoint::copyDataReceived, &context,
                         [this](quint32 kind, const QByteArray &data) {
                             records.append(kind == kReplyRecordKind ? data : "of another kind");
                         });
        if (hold) {
            QObject::connect(
                endpoint, &LocalEndpoint::copyDataReceived, endpoint,
                [this] { release.tryAcquire(1, kWaitMs); }, Qt::DirectConnection);
        }
        thread.start();
        QMetaObject::invokeMethod(endpoint, &LocalEndpoint::listen, Qt::BlockingQueuedConnection);
    }
    ~SendWindow()
    {
        release.release(100);
        thread.quit();
        thread.wait();
    }

    QObject context; // the records arrive on the test's thread
    LocalEndpoint *endpoint = new LocalEndpoint(kSendEndpointName);
    QThread thread;
    QSemaphore release;
    QByteArrayList records;
};

// A message window wired to the reply service as the intake wires each one.
struct Window
{
    explicit Window(const QString &program, const QString &name = u"bob"_s, qint32 replyPort = 600)
    {
        replies.setSenderProgram(program);
        replies.setRoundWait(50);
        replies.setMaxRounds(3);
        window->setReplyService(&replies);
        window->showFirst(0, Message{name, u"192.168.0.7"_s, 4000, replyPort, u"hello"_s});
    }
    ~Window() { delete window.data(); }
    QPushButton *button() const { return window->findChild<QPushButton *>(u"Reply2User"_s); }
    // The window's handoff, once "Reply" was pressed.
    ReplyToSender *reply() const { return window->findChild<ReplyToSender *>(); }
    // How the handoff ended; -1 when it did not in time.
    ReplyOutcome outcome()
    {
        return finished.wait(kWaitMs) ? finished[0][1].value<ReplyOutcome>() : ReplyOutcome(-1);
    }

    ReceiverSettings settings;
    ReplyService replies;
    QPointer<MessageWindow> window = new MessageWindow(settings);
    QSignalSpy finished{&replies, &ReplyService::finished};
    NoticeRecorder notices;
};

struct Canvas : QWidget
{
    void paintEvent(QPaintEvent *) override { ++paints; }
    int paints = 0;
};

} // namespace

class TestReplyToSender : public QObject
{
    Q_OBJECT
private slots:
    void handedOver_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint32>("replyPort");
        QTest::addColumn<bool>("moreWaiting");
        QTest::addColumn<bool>("running");      // else started, then asked again
        QTest::addColumn<QByteArray>("record"); // empty: none can be made
        const QByteArray record = Bars("bob|192.168.0.7|600||");
        QTest::newRow("reply port; closes") << u"bob"_s << 600 << false << true << record;
        QTest::newRow("no reply port: the arrival port")
            << u"bob"_s << -1 << false << true << Bars("bob|192.168.0.7|4000||");
        QTest::newRow("more texts wait: stays") << u"bob"_s << 600 << true << true << record;
        QTest::newRow("Quillpost started first") << u"bob"_s << 600 << false << false << record;
        QTest::newRow("name too long for the record")
            << QString(300, u'n') << 600 << false << true << QByteArray();
    }

    void handedOver()
    {
        QFETCH(QString, name);
        QFETCH(qint32, replyPort);
        QFETCH(bool, moreWaiting);
        QFETCH(bool, running);
        QFETCH(QByteArray, record);
        std::optional<SendWindow> sender;
        if (running)
            sender.emplace();
        Window w(QStandardPaths::findExecutable(u"true"_s), name, replyPort);
        w.replies.setRoundWait(250);
        w.replies.setMaxRounds(ReplyToSender::kMaxRounds);
        if (moreWaiting)
            w.window->addMessage(Message{name, u"192.168.0.7"_s, 4000, replyPort, u"second"_s});
        QTest::mouseClick(w.button(), Qt::LeftButton);
        QVERIFY(!w.button()->isEnabled());
        if (!running) {
            // Its window comes up a little after the program was started.
            QTRY_VERIFY_WITH_TIMEOUT(w.reply()->startsMade() >= 1, kWaitMs);
            sender.emplace();
        }
        QCOMPARE(w.outcome(), record.isEmpty() ? ReplyOutcome::Failed : ReplyOutcome::Delivered);
        QTRY_COMPARE(sender->records, record.isEmpty() ? QByteArrayList() : QByteArrayList{record});
        QCOMPARE(w.notices.notices.size(), record.isEmpty() ? 1 : 0);
        // Closed once the sender has it, unless more texts wait.
        if (record.isEmpty() || moreWaiting)
            QVERIFY(w.window->isVisible() && w.button()->isEnabled());
        else
            QTRY_VERIFY(w.window.isNull());
    }

    void noQuillpost()
    {
        QTemporaryFile plain;
        QVERIFY(plain.open());
        // Missing, a folder, not executable, none, and one that starts but
        // never answers: the rounds are bounded.
        const QString started = QStandardPaths::findExecutable(u"true"_s);
        for (const QString &program : QStringList{plain.fileName() + u"-missing"_s, QDir::tempPath(),
                                                  plain.fileName(), QString(), started}) {
            Window w(program);
            QTest::mouseClick(w.button(), Qt::LeftButton);
            // A press that gets through all the same starts no second handoff.
            QVERIFY(!w.replies.reply(w.window->sender(), w.window));
            QCOMPARE(w.outcome(), ReplyOutcome::NoSender);
            QCOMPARE(w.reply()->startsMade(), program == started ? 3 : 0);
            QCOMPARE(w.notices.notices.size(), 1);
            QCOMPARE(w.notices.notices[0][1], u"No sender open, so no message could be replied"_s);
            QVERIFY(w.window->isVisible() && w.button()->isEnabled());
        }
    }

    void heldAnswerKeepsReceiving()
    {
        // Quillpost holds its answer back for the whole of the handoff's time
        // limit: Quillbox keeps painting and shows what arrives meanwhile.
        SendWindow sender(true);
        Receiver r;
        QVERIFY(SendPayload(r.port(), Bars("bob|505|first")));
        QTRY_COMPARE(r.windows().size(), 1);
        r.form->intake().replies().setRequestTimeout(3000);
        Canvas canvas;
        canvas.show();
        QTimer repaint;
        connect(&repaint, &QTimer::timeout, &canvas, qOverload<>(&QWidget::update));
        repaint.start(20);

        auto *button = r.windows()[0]->findChild<QPushButton *>(u"Reply2User"_s);
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE(sender.records.size(), 1);
        QVERIFY(SendPayload(r.port(), Bars("carol|505|meanwhile")));
        QTRY_VERIFY_WITH_TIMEOUT(r.windows().size() == 2, 1000);
        QVERIFY(!button->isEnabled());
        // Then the handoff ends as failed, and "Reply" can be pressed again.
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), kWaitMs);
        QVERIFY2(canvas.paints >= 40, qPrintable(QString::number(canvas.paints)));
        QCOMPARE(r.notices.notices.value(0).value(1),
                 u"The sending program did not take the reply, so no message could be replied"_s);
    }
};

QTEST_MAIN(TestReplyToSender)
#include "test_replytosender.moc"
