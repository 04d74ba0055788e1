// The real programs on a private X display with a window manager: a message
// received by quillbox is answered with "Reply", which starts quillpost from
// quillbox's folder and makes the sender its recipient; a second "Reply"
// goes to the running quillpost at once; without quillpost beside quillbox
// the user is told and the message window stays.
#include "bars.h"
#include "settingsstore.h"
#include "xclient.h"
#include "xdisplay.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <signal.h>

using namespace Qt::StringLiterals;

namespace {

// A reply that goes to a running quillpost takes well under this.
constexpr int kAtOnceMs = 10000;

QString Ini(const ProgramFolders &folders, const QString &program)
{
    return folders.config() + u'/' + program + u'/' + program + u".ini"_s;
}

quint16 FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// Connect, one write, close: as quillpost sends.
bool SendPayload(quint16 port, const QByteArray &payload)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(kXWaitMs))
        return false;
    socket.write(payload);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kXWaitMs))
            return false;
    }
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(kXWaitMs);
    return true;
}

// The top-level window with exactly this caption, 0 when there is none.
quint32 WindowByName(const QString &display, const QString &caption)
{
    const QString out = RunXTool(u"xwininfo"_s, {u"-name"_s, caption}, display);
    const QRegularExpressionMatch match = QRegularExpression(u"Window id: (0x[0-9a-fA-F]+)"_s).match(out);
    return match.hasMatch() ? match.captured(1).toUInt(nullptr, 16) : 0;
}

bool Mapped(const QString &display, quint32 window)
{
    return RunXTool(u"xwininfo"_s, {u"-id"_s, QString::number(window)}, display).contains(u"IsViewable"_s);
}

qint64 WindowPid(const QString &display, quint32 window)
{
    const QString out = RunXTool(u"xprop"_s, {u"-id"_s, QString::number(window), u"_NET_WM_PID"_s}, display);
    const QRegularExpressionMatch match = QRegularExpression(u"= (\\d+)"_s).match(out);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

// Gone, or ended and waiting only to be reaped by whoever adopted it.
bool Ended(qint64 pid)
{
    if (::kill(static_cast<pid_t>(pid), 0) != 0)
        return true;
    QFile stat(u"/proc/"_s + QString::number(pid) + u"/stat"_s);
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = stat.readAll();
    const qsizetype afterName = fields.lastIndexOf(')');
    return afterName > 0 && fields.mid(afterName + 2, 1) == "Z";
}

// Asks the window manager to close the window, as its close box does.
bool CloseWindow(const QString &display, quint32 window)
{
    constexpr quint32 kFromPager = 2;
    return SendToWindowManager(display, window, "_NET_CLOSE_WINDOW", XCB_CURRENT_TIME, kFromPager);
}

// Presses "Reply" of the message window as a user does with the keyboard:
// the focus into the text (a click in the middle of the window), Tab to the
// next button that is shown, which is "Reply", and Space.
void PressReply(const QString &display, quint32 window)
{
    const QString id = QString::number(window);
    RunXTool(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, id}, display);
    const QString out = RunXTool(u"xwininfo"_s, {u"-id"_s, id}, display);
    const int width = QRegularExpression(u"Width: (\\d+)"_s).match(out).captured(1).toInt();
    const int height = QRegularExpression(u"Height: (\\d+)"_s).match(out).captured(1).toInt();
    RunXTool(u"xdotool"_s,
             {u"mousemove"_s, u"--window"_s, id, QString::number(width / 2), QString::number(height / 2),
              u"click"_s, u"1"_s},
             display);
    RunXTool(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"100"_s, u"Tab"_s, u"space"_s}, display);
}

} // namespace

class TestReplyEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void replyStartsQuillpostThenDeliversAtOnce();
    void replyWithoutQuillpostWarns();

private:
    // quillbox from the given folder, listening on a port of its own.
    bool startQuillbox(QProcess &process, const QString &program, const ProgramFolders &folders,
                       quint16 &port);
    quint32 waitForMessageWindow(quint16 port, const QByteArray &payload);

    std::unique_ptr<XDisplay> m_xvfb;
    QString m_display;
    QProcess m_windowManager;
    QTemporaryDir m_home;
};

void TestReplyEndToEnd::initTestCase()
{
    for (const char *program : {"quillbox", "quillpost"})
        QVERIFY2(QFile::exists(BuiltProgram(QString::fromLatin1(program))), program);
    for (const char *tool : {"Xvfb", "xwininfo", "xprop", "xdotool", "openbox"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QString::fromLatin1(tool) + u" is not installed"_s));
    }
    m_xvfb = std::make_unique<XDisplay>();
    m_display = m_xvfb->name();
    QVERIFY2(!m_display.isEmpty(), "Xvfb reported no display");

    // A window manager makes activating and closing windows real.
    const QString failure = StartWindowManager(m_windowManager, m_display, m_home.path());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestReplyEndToEnd::cleanupTestCase()
{
    StopProcess(m_windowManager);
    m_xvfb.reset();
}

bool TestReplyEndToEnd::startQuillbox(QProcess &process, const QString &program,
                                      const ProgramFolders &folders, quint16 &port)
{
    port = FreePort();
    if (port == 0 || !QDir(folders.config()).mkpath(u"Quillbox"_s))
        return false;
    SettingsStore prepared = SettingsStore::atPath(Ini(folders, u"Quillbox"_s));
    prepared.save(u"Ports"_s, u"1_port"_s, QString::number(port));
    prepared.save(u"Settings"_s, u"PlayIncomingSound"_s, u"False"_s);
    if (!prepared.flush())
        return false;
    process.setProcessEnvironment(folders.environment(m_display));
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, {});
    return process.waitForStarted(kXWaitMs) &&
           QTest::qWaitFor([&] { return WindowByName(m_display, u"Message Receiver"_s) != 0; }, kXWaitMs);
}

quint32 TestReplyEndToEnd::waitForMessageWindow(quint16 port, const QByteArray &payload)
{
    if (!QTest::qWaitFor([&] { return SendPayload(port, payload); }, kXWaitMs))
        return 0;
    quint32 window = 0;
    const bool shown = QTest::qWaitFor(
        [&] { return (window = WindowByName(m_display, u"Message "_s)) != 0 && Mapped(m_display, window); },
        kXWaitMs);
    return shown ? window : 0;
}

void TestReplyEndToEnd::replyStartsQuillpostThenDeliversAtOnce()
{
    ProgramFolders folders;
    QProcess quillbox;
    auto stopQuillbox = qScopeGuard([&] { StopProcess(quillbox); });
    quint16 port = 0;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(startQuillbox(quillbox, BuiltProgram(u"quillbox"_s), folders, port));
    qInfo("quillbox up after %lld ms", static_cast<long long>(timer.elapsed()));
    QCOMPARE(WindowByName(m_display, u"Send Message"_s), 0u);

    // No quillpost runs: "Reply" starts the one beside quillbox.
    const quint32 first = waitForMessageWindow(port, Bars("first sender|6000|hello"));
    QVERIFY(first != 0);
    PressReply(m_display, first);
    quint32 sendForm = 0;
    QTRY_VERIFY_WITH_TIMEOUT((sendForm = WindowByName(m_display, u"Send Message"_s)) != 0, kXWaitMs);
    qInfo("quillpost up after %lld ms", static_cast<long long>(timer.elapsed()));
    const qint64 quillpostPid = WindowPid(m_display, sendForm);
    QVERIFY(quillpostPid > 0);
    // quillbox started it, so the test ends it if it is still up at the end.
    auto stopQuillpost = qScopeGuard([quillpostPid] { ::kill(static_cast<pid_t>(quillpostPid), SIGKILL); });
    // Handed over: the message window (with nothing more to read) closes.
    QTRY_VERIFY_WITH_TIMEOUT(WindowByName(m_display, u"Message "_s) == 0, kXWaitMs);

    // With quillpost running, the next "Reply" is taken at once.
    const quint32 second = waitForMessageWindow(port, Bars("second sender|6001|again"));
    QVERIFY(second != 0);
    timer.start();
    PressReply(m_display, second);
    QTRY_VERIFY_WITH_TIMEOUT(WindowByName(m_display, u"Message "_s) == 0, kAtOnceMs);
    qInfo("second reply handed over after %lld ms", static_cast<long long>(timer.elapsed()));
    QCOMPARE(WindowByName(m_display, u"Send Message"_s), sendForm);
    QCOMPARE(WindowPid(m_display, sendForm), quillpostPid);

    // Closing quillpost writes its user list: both senders are in it, at
    // the address they wrote from and on their reply ports.
    QVERIFY(CloseWindow(m_display, sendForm));
    QTRY_VERIFY_WITH_TIMEOUT(Ended(quillpostPid), kXWaitMs);
    stopQuillpost.dismiss();
    QMap<QString, QString> users;
    for (const auto &[key, value] : SettingsStore::atPath(Ini(folders, u"Quillpost"_s)).getAll(u"Users"_s))
        users.insert(key, value);
    QCOMPARE(users.value(u"1_name"_s), u"localhost"_s);
    QCOMPARE(users.value(u"2_name"_s), u"first sender"_s);
    QCOMPARE(users.value(u"2_ip"_s), u"127.0.0.1"_s);
    QCOMPARE(users.value(u"2_port"_s), u"6000"_s);
    QCOMPARE(users.value(u"3_name"_s), u"second sender"_s);
    QCOMPARE(users.value(u"3_ip"_s), u"127.0.0.1"_s);
    QCOMPARE(users.value(u"3_port"_s), u"6001"_s);
    QVERIFY(!users.contains(u"4_name"_s));
    QCOMPARE(quillbox.state(), QProcess::Running);
}

void TestReplyEndToEnd::replyWithoutQuillpostWarns()
{
    // quillbox alone in a folder of its own.
    QTemporaryDir bin;
    const QString program = bin.filePath(u"quillbox"_s);
    QVERIFY(QFile::copy(BuiltProgram(u"quillbox"_s), program));
    QVERIFY(QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QVERIFY(!QFile::exists(bin.filePath(u"quillpost"_s)));

    ProgramFolders folders;
    QProcess quillbox;
    auto stopQuillbox = qScopeGuard([&] { StopProcess(quillbox); });
    quint16 port = 0;
    QVERIFY(startQuillbox(quillbox, program, folders, port));
    const quint32 window = waitForMessageWindow(port, Bars("lonely sender|6000|anyone?"));
    QVERIFY(window != 0);
    PressReply(m_display, window);
    QTRY_VERIFY_WITH_TIMEOUT(WindowByName(m_display, u"Warning"_s) != 0, kXWaitMs);
    QCOMPARE(WindowByName(m_display, u"Message "_s), window);
    QVERIFY(Mapped(m_display, window));
    QCOMPARE(WindowByName(m_display, u"Send Message"_s), 0u);
    QCOMPARE(quillbox.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestReplyEndToEnd)
#include "test_reply_e2e.moc"
