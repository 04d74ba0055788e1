// "Reply" in Quillbox's message window: delivered at once to a running
// Quillpost, Quillpost started from a given path and asked again in rounds,
// a missing program reported, the rounds bounded, never two handoffs at
// once, and the main window wiring every window it opens.
#include "bars.h"
#include "listener.h"
#include "messagebox.h"
#include "messagerouter.h"
#include "messagewindow.h"
#include "receiversettings.h"
#include "receivertesthelpers.h"
#include "receiverwindow.h"
#include "senderwindow.h"
#include "settingsstore.h"
#include "wireformat.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

class PaintCounter : public QObject
{
public:
    explicit PaintCounter(int *count)
        : m_count(count)
    {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++*m_count;
        return false;
    }

private:
    int *m_count;
};

// Rounds shortened for the tests (the program's pause is half a second).
constexpr int kTestRoundWaitMs = 50;

// A stand-in for quillpost: a program that notes each start in a file.
QString WriteProgram(const QTemporaryDir &folder, const QString &name, bool executable = true)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\necho started >> \"$(dirname \"$0\")/starts\"\n");
    file.close();
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (executable)
        permissions |= QFileDevice::ExeOwner;
    file.setPermissions(permissions);
    return path;
}

int StartsNoted(const QTemporaryDir &folder)
{
    QFile file(folder.filePath(u"starts"_s));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<int>(file.readAll().count('\n'));
}

struct ShownNotice
{
    QWidget *owner = nullptr;
    QString title;
    QString text;
};

// A message window of one sender, wired to a handoff as the main window
// wires every window it opens.
struct Window
{
    explicit Window(const QString &senderProgram, const QString &name = u"bob"_s, qint32 replyPort = 505)
    {
        settings.playIncomingSound = false;
        window = new MessageWindow(settings);
        reply = attachReplyToSender(window, senderProgram);
        reply->setRoundWait(kTestRoundWaitMs);
        reply->setRequestTimeout(kWaitMs / 2);
        window->showFirst(0, Message{name, u"192.168.0.7"_s, 4000, replyPort, u"hello"_s});
    }
    ~Window() { delete window.data(); }
    QPushButton *replyButton() const { return window->findChild<QPushButton *>(u"Reply2User"_s); }

    ReceiverSettings settings;
    QPointer<MessageWindow> window;
    QPointer<ReplyToSender> reply;
};

} // namespace

class TestReplyToSender : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void replyDeliveredAtOnce_data();
    void replyDeliveredAtOnce();
    void replyStartsSenderAndAsksAgain();
    void missingSenderProgramReported_data();
    void missingSenderProgramReported();
    void roundsAreBounded();
    void noSecondHandoffWhileOneRuns();
    void windowClosedDuringRounds();
    void windowEndedWhileWarningOpen();
    void tooLongRecordRefused_data();
    void tooLongRecordRefused();
    void mainWindowWiresReply();
    void recordAsItArrives_data();
    void recordAsItArrives();
    void heldAnswerKeepsReceiving();

private:
    QList<ShownNotice> m_notices;
};

void TestReplyToSender::init()
{
    m_notices.clear();
    setMessageHandler([this](QWidget *owner, const QString &title, const QString &text) {
        m_notices.append({owner, title, text});
    });
}

void TestReplyToSender::cleanup()
{
    setMessageHandler({});
}

void TestReplyToSender::replyDeliveredAtOnce_data()
{
    QTest::addColumn<qint32>("replyPort");
    QTest::addColumn<bool>("moreWaiting");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("reply port, nothing else waits: closes") << 600 << false << Bars("bob|192.168.0.7|600||");
    QTest::newRow("no reply port: the arrival port") << -1 << false << Bars("bob|192.168.0.7|4000||");
    QTest::newRow("more messages wait: stays open") << 600 << true << Bars("bob|192.168.0.7|600||");
}

void TestReplyToSender::replyDeliveredAtOnce()
{
    QFETCH(qint32, replyPort);
    QFETCH(bool, moreWaiting);
    QFETCH(QByteArray, bytes);
    SenderWindow sender;
    QTemporaryDir folder;
    Window w(WriteProgram(folder, u"quillpost"_s), u"bob"_s, replyPort);
    if (moreWaiting)
        w.window->addMessage(Message{u"bob"_s, u"192.168.0.7"_s, 4000, replyPort, u"second"_s});
    QSignalSpy finished(w.reply.data(), &ReplyToSender::finished);
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    // Handed over without starting a program.
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished[0][0].value<ReplyOutcome>(), ReplyOutcome::Delivered);
    QCOMPARE(sender.delivered().size(), 1);
    QCOMPARE(sender.delivered()[0].data, bytes);
    QCOMPARE(w.reply->startsMade(), 0);
    QCOMPARE(StartsNoted(folder), 0);
    QVERIFY(m_notices.isEmpty());
    if (moreWaiting) {
        QVERIFY(w.window->isVisible());
        QVERIFY(w.replyButton()->isEnabled());
    } else {
        QTRY_VERIFY(w.window.isNull());
    }
}

void TestReplyToSender::replyStartsSenderAndAsksAgain()
{
    QTemporaryDir folder;
    Window w(WriteProgram(folder, u"quillpost"_s));
    QSignalSpy finished(w.reply.data(), &ReplyToSender::finished);
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    QVERIFY(finished.isEmpty());
    QVERIFY(!w.replyButton()->isEnabled());
    // The program was started; its window comes up a little later.
    QTRY_VERIFY_WITH_TIMEOUT(StartsNoted(folder) >= 1, kWaitMs);
    SenderWindow sender;
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished[0][0].value<ReplyOutcome>(), ReplyOutcome::Delivered);
    QCOMPARE(sender.delivered().size(), 1);
    QCOMPARE(sender.delivered()[0].data, Bars("bob|192.168.0.7|505||"));
    QVERIFY(w.reply->startsMade() >= 1);
    QTRY_COMPARE(StartsNoted(folder), w.reply->startsMade());
    QVERIFY(m_notices.isEmpty());
    QTRY_VERIFY(w.window.isNull());
}

void TestReplyToSender::missingSenderProgramReported_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("missing") << u"missing/quillpost"_s;
    QTest::newRow("not executable") << u"plain"_s;
    QTest::newRow("a folder") << u"folder"_s;
    QTest::newRow("empty path") << QString();
}

void TestReplyToSender::missingSenderProgramReported()
{
    QFETCH(QString, program);
    QTemporaryDir folder;
    WriteProgram(folder, u"plain"_s, false);
    QVERIFY(QDir(folder.path()).mkdir(u"folder"_s));
    Window w(program.isEmpty() ? QString() : folder.filePath(program));
    QSignalSpy finished(w.reply.data(), &ReplyToSender::finished);
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished[0][0].value<ReplyOutcome>(), ReplyOutcome::NoSender);
    QCOMPARE(m_notices.size(), 1);
    QCOMPARE(m_notices[0].title, u"Warning"_s);
    QCOMPARE(m_notices[0].text, u"No sender open, so no message could be replied"_s);
    QCOMPARE(m_notices[0].owner, w.window.data());
    QVERIFY(!w.window.isNull());
    QVERIFY(w.window->isVisible());
    QVERIFY(w.replyButton()->isEnabled());
    QCOMPARE(StartsNoted(folder), 0);
}

void TestReplyToSender::roundsAreBounded()
{
    // A program that starts but never opens its window.
    QTemporaryDir folder;
    Window w(WriteProgram(folder, u"quillpost"_s));
    w.reply->setMaxRounds(3);
    QSignalSpy finished(w.reply.data(), &ReplyToSender::finished);
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished[0][0].value<ReplyOutcome>(), ReplyOutcome::NoSender);
    QCOMPARE(w.reply->startsMade(), 3);
    QTRY_COMPARE(StartsNoted(folder), 3);
    QCOMPARE(m_notices.size(), 1);
    QCOMPARE(m_notices[0].title, u"Warning"_s);
    QCOMPARE(m_notices[0].text, u"No sender open, so no message could be replied"_s);
    QVERIFY(!w.window.isNull());
    QVERIFY(w.replyButton()->isEnabled());
    QCOMPARE(ReplyToSender::kRoundWaitMs, 500);
}

void TestReplyToSender::noSecondHandoffWhileOneRuns()
{
    QTemporaryDir folder;
    Window w(WriteProgram(folder, u"quillpost"_s));
    w.reply->setMaxRounds(4);
    QSignalSpy finished(w.reply.data(), &ReplyToSender::finished);
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    QVERIFY(w.reply->isBusy());
    QVERIFY(!w.replyButton()->isEnabled());
    // A press that gets through anyway starts nothing new.
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    QVERIFY(!w.reply->start(u"bob"_s, u"192.168.0.7"_s, 505));
    w.window->onReplyClicked();
    QVERIFY(!w.replyButton()->isEnabled());
    QVERIFY(finished.wait(kWaitMs));
    QTest::qWait(4 * kTestRoundWaitMs);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(w.reply->startsMade(), 4);
    QTRY_COMPARE(StartsNoted(folder), 4);
    QCOMPARE(m_notices.size(), 1);
}

void TestReplyToSender::windowClosedDuringRounds()
{
    QTemporaryDir folder;
    auto w = std::make_unique<Window>(WriteProgram(folder, u"quillpost"_s));
    QPointer<ReplyToSender> reply = w->reply;
    QTest::mouseClick(w->replyButton(), Qt::LeftButton);
    QVERIFY(reply->isBusy());
    w->window->onOkClicked();
    QTRY_VERIFY(reply.isNull());
    w.reset();
    const int starts = StartsNoted(folder);
    QTest::qWait(4 * kTestRoundWaitMs);
    QVERIFY(m_notices.isEmpty());
    QVERIFY(StartsNoted(folder) <= starts + 1);
}

void TestReplyToSender::windowEndedWhileWarningOpen()
{
    // The real notice this time, and the message window ended under it, as
    // "Exit" from the notification area ends every message window.
    setMessageHandler({});
    QTemporaryDir folder;
    Window w(folder.filePath(u"absent"_s));
    QPointer<ReplyToSender> reply = w.reply;
    QSignalSpy finished(reply.data(), &ReplyToSender::finished);
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    QVERIFY(finished.wait(kWaitMs));
    QPointer<QMessageBox> box = w.window->findChild<QMessageBox *>();
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), u"Warning"_s);
    QTRY_VERIFY(box->isVisible());
    delete w.window.data();
    QVERIFY(box.isNull());
    QVERIFY(reply.isNull());
}

void TestReplyToSender::tooLongRecordRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("300 letters") << QString(300, u'n');
    // Outside the code page the name travels as UTF-8, three bytes each.
    QTest::newRow("80 CJK characters") << QString(80, QChar(0x4e2d));
}

void TestReplyToSender::tooLongRecordRefused()
{
    QFETCH(QString, name);
    SenderWindow sender;
    QTemporaryDir folder;
    // A name from the network may be far longer than the record can carry.
    Window w(WriteProgram(folder, u"quillpost"_s), name);
    QSignalSpy finished(w.reply.data(), &ReplyToSender::finished);
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished[0][0].value<ReplyOutcome>(), ReplyOutcome::Failed);
    QVERIFY(sender.delivered().isEmpty());
    QCOMPARE(w.reply->startsMade(), 0);
    QVERIFY(w.window->isVisible());
    // Said, not silent.
    QCOMPARE(m_notices.size(), 1);
    QCOMPARE(m_notices[0].title, u"Warning"_s);
    QVERIFY(m_notices[0].text.contains(u"too long"_s));
}

void TestReplyToSender::mainWindowWiresReply()
{
    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(u"r.ini"_s));
    ReceiverSettings settings;
    settings.playIncomingSound = false;
    settings.portList = PortList();
    ReceiverWindowOptions options;
    options.listenAddress = QHostAddress::LocalHost;
    options.trayIcon = false;
    options.loadSettings = false;
    ReceiverWindow form(store, settings, options);
    // quillpost beside the running program by default.
    QCOMPARE(form.senderProgram(),
             QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(u"quillpost"_s));
    form.setSenderProgram(folder.filePath(u"absent"_s));
    form.start(QString());

    form.router().route(Message{u"carol"_s, u"10.0.0.8"_s, 505, 700, u"hi"_s});
    QCOMPARE(form.router().openWindowCount(), 1);
    QPointer<MessageWindow> window = static_cast<MessageWindow *>(form.router().windows().at(0));
    QVERIFY(window);
    auto *button = window->findChild<QPushButton *>(u"Reply2User"_s);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE(m_notices.size(), 1);
    QCOMPARE(m_notices[0].title, u"Warning"_s);
    QVERIFY(window);

    SenderWindow sender;
    QTRY_VERIFY(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE(sender.delivered().size(), 1);
    QCOMPARE(sender.delivered()[0].data, Bars("carol|10.0.0.8|700||"));
    QTRY_VERIFY(window.isNull());
    form.unload();
}

void TestReplyToSender::recordAsItArrives_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<qint32>("port");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("bob: 20 characters and the counted zero")
        << u"bob"_s << u"192.168.0.7"_s << 505 << Bars("bob|192.168.0.7|505||");
    QTest::newRow("empty name starts with a zero")
        << QString() << u"10.0.0.5"_s << 505 << Bars("|10.0.0.5|505||");
    QTest::newRow("port 0") << u"al"_s << u"10.0.0.5"_s << 0 << Bars("al|10.0.0.5|0||");
    QTest::newRow("one byte a character in the code page")
        << u"Zo\u00e9"_s << u"10.0.0.5"_s << 505 << Bars("Zo\xe9|10.0.0.5|505||");
    QTest::newRow("filling the buffer exactly")
        << QString(240, u'n') << u"10.0.0.5"_s << 505 << QByteArray(240, 'n') + Bars("|10.0.0.5|505||");
}

void TestReplyToSender::recordAsItArrives()
{
    QFETCH(QString, name);
    QFETCH(QString, ip);
    QFETCH(qint32, port);
    QFETCH(QByteArray, bytes);
    SenderWindow sender;
    QVERIFY(sender.listening());
    QWidget owner;
    auto *reply = new ReplyToSender(&owner);
    QSignalSpy finished(reply, &ReplyToSender::finished);
    QVERIFY(reply->start(name, ip, port));
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished[0][0].value<ReplyOutcome>(), ReplyOutcome::Delivered);
    const QList<Delivered> delivered = sender.delivered();
    QCOMPARE(delivered.size(), 1);
    QCOMPARE(delivered[0].dwData, kReplyRecordKind);
    QCOMPARE(delivered[0].data, bytes);
}

void TestReplyToSender::heldAnswerKeepsReceiving()
{
    // Quillpost holds its answer back (as a hung program would) for the whole
    // of the handoff's time limit: Quillbox keeps running its event loop,
    // painting, and showing what arrives meanwhile.
    SenderWindow sender(true);
    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(u"r.ini"_s));
    ReceiverSettings settings;
    settings.playIncomingSound = false;
    settings.portList = PortList();
    settings.portList.append(0);
    ReceiverWindowOptions options;
    options.listenAddress = QHostAddress::LocalHost;
    options.trayIcon = false;
    options.loadSettings = false;
    ReceiverWindow form(store, settings, options);
    form.start(QString());
    const quint16 port = form.listeners().at(0)->serverPort();
    QVERIFY(SendPayload(port, Bars("bob|505|first")));
    QTRY_COMPARE(form.router().openWindowCount(), 1);
    QPointer<MessageWindow> first = static_cast<MessageWindow *>(form.router().windows().at(0));
    auto *button = first->findChild<QPushButton *>(u"Reply2User"_s);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE(sender.delivered().size(), 1);

    // Paints are counted on a window that repaints itself every 20 ms.
    int paints = 0;
    QWidget canvas;
    canvas.resize(50, 50);
    canvas.show();
    PaintCounter counter(&paints);
    canvas.installEventFilter(&counter);
    QTimer repaint;
    connect(&repaint, &QTimer::timeout, &canvas, qOverload<>(&QWidget::update));
    repaint.start(20);

    QElapsedTimer timer;
    timer.start();
    QVERIFY(SendPayload(port, QByteArray("carol\0"
                                         "505\0meanwhile",
                                         19)));
    QTRY_VERIFY_WITH_TIMEOUT(form.router().openWindowCount() == 2, 1000);
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QTest::qWait(2000);
    // Still waiting for the answer, and painting all along.
    QVERIFY(!button->isEnabled());
    QVERIFY2(paints >= 40, qPrintable(QString::number(paints)));
    sender.release();
    // Handed over at last: the window had nothing more to show.
    QTRY_VERIFY(first.isNull());
    form.unload();
}

QTEST_MAIN(TestReplyToSender)
#include "test_replytosender.moc"
