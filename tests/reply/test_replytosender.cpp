// "Reply" in Quillbox's message window: delivered at once to a running
// Quillpost, Quillpost started from a given path and asked again in rounds,
// a missing program reported, the rounds bounded, never two handoffs at
// once, and the main window wiring every window it opens.
#include "bars.h"
#include "messagebox.h"
#include "messagerouter.h"
#include "messagewindow.h"
#include "receiversettings.h"
#include "receiverwindow.h"
#include "senderwindow.h"
#include "settingsstore.h"
#include "wireformat.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

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

struct Notice
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
        window->dialognb = 0;
        window->username = name;
        window->userip = u"192.168.0.7"_s;
        window->userport = 4000;
        window->userreplyport = replyPort;
        window->messagetemp = u"hello"_s;
        reply = attachReplyToSender(window, senderProgram);
        reply->setRoundWait(kTestRoundWaitMs);
        reply->setCopyDataTimeout(kWaitMs / 2);
        window->showFirstMessage();
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
    void tooLongRecordRefused();
    void mainWindowWiresReply();

private:
    QList<Notice> m_notices;
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
        w.window->addMessage(0, u"second"_s, 4000, replyPort);
    QSignalSpy finished(w.reply.data(), &ReplyToSender::finished);
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    // Handed over within the click: no program start, no wait.
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished[0][0].value<qint16>(), qint16(0));
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
    QCOMPARE(finished[0][0].value<qint16>(), qint16(0));
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
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished[0][0].value<qint16>(), qint16(1));
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
    QCOMPARE(finished[0][0].value<qint16>(), qint16(1));
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
    bool boxSeen = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        boxSeen = QApplication::activeModalWidget()->windowTitle() == u"Warning"_s;
        delete w.window.data();
    });
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    QVERIFY(boxSeen);
    QVERIFY(w.window.isNull());
    QVERIFY(reply.isNull());
    QCOMPARE(finished.count(), 0);
}

void TestReplyToSender::tooLongRecordRefused()
{
    SenderWindow sender;
    QTemporaryDir folder;
    // A name from the network may be far longer than the record can carry.
    Window w(WriteProgram(folder, u"quillpost"_s), QString(300, u'n'));
    QSignalSpy finished(w.reply.data(), &ReplyToSender::finished);
    QTest::mouseClick(w.replyButton(), Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished[0][0].value<qint16>(), qint16(3));
    QVERIFY(sender.delivered().isEmpty());
    QCOMPARE(w.reply->startsMade(), 0);
    QVERIFY(w.window->isVisible());
    QVERIFY(m_notices.isEmpty());
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

    form.router().processMessage(composeMessage(u"carol"_s, 700, u"hi"_s), 505, u"10.0.0.8"_s);
    QCOMPARE(form.router().openWindowCount(), 1);
    QPointer<MessageWindow> window = form.router().windows().at(0);
    QVERIFY(window);
    auto *button = window->findChild<QPushButton *>(u"Reply2User"_s);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(m_notices.size(), 1);
    QCOMPARE(m_notices[0].title, u"Warning"_s);
    QVERIFY(window);

    SenderWindow sender;
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(sender.delivered().size(), 1);
    QCOMPARE(sender.delivered()[0].data, Bars("carol|10.0.0.8|700||"));
    QTRY_VERIFY(window.isNull());
    form.unload();
}

QTEST_MAIN(TestReplyToSender)
#include "test_replytosender.moc"
