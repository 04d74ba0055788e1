// The real quillbox on an X display of its own: its first start writes the
// store, and a second copy ends at once, leaving the first running alone; its
// history keeps every message through a window closed unread and a kill.
#include "receivertesthelpers.h"
#include "xdisplay.h"

#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <csignal>

namespace {

// How many messages of the history file have each fate (in the order of
// MessageFate), read through a connection of the test's own.
QList<int> FateCounts(const QString &path)
{
    QList<int> counts(4, 0);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"look"_s);
        db.setDatabaseName(path);
        QSqlQuery query(db);
        if (db.open() && query.exec(u"SELECT fate, count(*) FROM messages GROUP BY fate"_s)) {
            while (query.next())
                counts[qBound(0, query.value(0).toInt(), 3)] += query.value(1).toInt();
        }
    }
    QSqlDatabase::removeDatabase(u"look"_s);
    return counts;
}

} // namespace

class TestQuillboxEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void firstStartThenSecondCopy()
    {
        if (!QFile::exists(BuiltProgram(u"quillbox"_s)) ||
            QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"xwininfo"_s).isEmpty())
            QSKIP("needs the built quillbox, Xvfb and xwininfo");
        XDisplay display;
        QVERIFY(!display.name().isEmpty());
        ProgramFolders folders;
        const QString ini = folders.config() + u"/Quillbox/Quillbox.ini"_s;
        QProcess first; // killed, if still running, when the test ends
        first.setProcessEnvironment(folders.environment(display.name()));
        first.start(BuiltProgram(u"quillbox"_s));
        // Its place, the sound, alert and announcement options with the id it
        // announces, and the default port, whether or not that can be
        // listened on here.
        QTRY_COMPARE_WITH_TIMEOUT(SettingsStore::atPath(ini).getAll(u"Settings"_s).size(), 6, kXWaitMs);
        const SettingsStore store = SettingsStore::atPath(ini);
        QCOMPARE(store.get(u"Settings"_s, u"Announce"_s, QString()), u"True"_s);
        QVERIFY(!store.get(u"Settings"_s, u"AnnounceId"_s, QString()).isEmpty());
        QCOMPARE(store.get(u"Settings"_s, u"PlayIncomingSound"_s, QString()), u"True"_s);
        QCOMPARE(store.get(u"Settings"_s, u"MessageAlert"_s, QString()), u"Both"_s);
        QCOMPARE(store.getAll(u"Ports"_s),
                 SettingsStore::Entries({{u"1_port"_s, u"505"_s}, {u"TestPorts"_s, u"True"_s}}));
        QTRY_VERIFY_WITH_TIMEOUT(display.windowTree().contains(u"\"Message Receiver\""_s), kXWaitMs);

        QProcess second;
        second.setProcessEnvironment(folders.environment(display.name()));
        second.start(BuiltProgram(u"quillbox"_s));
        QVERIFY(second.waitForFinished(kXWaitMs));
        QVERIFY(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(display.windowTree().count(u"\"Message Receiver\""_s), 1);
    }

    void historyKeepsEveryMessageThroughAKill()
    {
        if (!QFile::exists(BuiltProgram(u"quillbox"_s)) ||
            QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"xdotool"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"openbox"_s).isEmpty())
            QSKIP("needs the built quillbox, Xvfb, xdotool and openbox");
        XDisplay display;
        QVERIFY(!display.name().isEmpty());
        ProgramFolders folders;
        QProcess windowManager; // closing a window needs one
        const auto stopWindowManager = qScopeGuard([&] { StopProcess(windowManager); });
        const QString failure = StartWindowManager(windowManager, display.name(), folders.root.path());
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const QString database = folders.data() + u"/Quillbox/history.sqlite"_s;

        // A port the system found free on every address, as quillbox listens
        // on all of them; quillbox is asked to listen there, and another is
        // tried should it have been taken meanwhile.
        QProcess quillbox;
        const auto stopQuillbox = qScopeGuard([&] { StopProcess(quillbox); });
        quint16 port = 0;
        const auto start = [&] {
            quillbox.setProcessEnvironment(folders.environment(display.name()));
            quillbox.start(BuiltProgram(u"quillbox"_s), {u"-V"_s});
            return WaitListening(port, kXWaitMs);
        };
        for (int attempt = 0; attempt < 3 && !port; ++attempt) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::Any));
            port = probe.serverPort();
            probe.close();
            QDir().mkpath(folders.config() + u"/Quillbox"_s);
            QFile ini(folders.config() + u"/Quillbox/Quillbox.ini"_s);
            QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ini.write("[Ports]\n1_port=" + QByteArray::number(port) + "\n");
            ini.close();
            if (!start()) {
                StopProcess(quillbox);
                port = 0;
            }
        }
        QVERIFY2(port, "quillbox did not listen on a free loopback port");

        // One sender's 300 messages: the window holds 256, the rest wait in
        // the history only.
        constexpr int kSent = 300;
        // Name and reply port, each ended by a NUL.
        const QByteArray kPayloadStart("bob\0"
                                       "505\0",
                                       8);
        // Sent one after another, each waiting for quillbox to close it (a
        // sanitized build on a busy machine may take a while for one).
        const auto send = [port](const QByteArray &payload) {
            const std::unique_ptr<QTcpSocket> socket = Connect(port);
            if (!socket)
                return false;
            socket->write(payload);
            socket->disconnectFromHost();
            return socket->state() == QAbstractSocket::UnconnectedState ||
                   socket->waitForDisconnected(kXWaitMs);
        };
        for (int i = 0; i < kSent; ++i)
            QVERIFY2(send(kPayloadStart + "message " + QByteArray::number(i)),
                     qPrintable(QString::number(i)));
        QTRY_COMPARE_WITH_TIMEOUT(FateCounts(database), (QList<int>{kSent - 44, 0, 0, 44}), kXWaitMs);

        // Closed unread: the first text was on the screen, the others were not.
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(window = RunXTool(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^Message $"_s},
                                display.name())
                           .trimmed())
                 .isEmpty(),
            kXWaitMs);
        RunXTool(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, window, u"key"_s, u"alt+F4"_s},
                 display.name());
        QTRY_COMPARE_WITH_TIMEOUT(FateCounts(database), (QList<int>{0, 1, 255, 44}), kXWaitMs);

        QCOMPARE(::kill(pid_t(quillbox.processId()), SIGKILL), 0);
        QVERIFY(quillbox.waitForFinished(kXWaitMs));
        QVERIFY(start());
        QVERIFY(send(kPayloadStart + "after the restart"));
        QTRY_COMPARE_WITH_TIMEOUT(FateCounts(database), (QList<int>{1, 1, 255, 44}), kXWaitMs);
    }
};

QTEST_GUILESS_MAIN(TestQuillboxEndToEnd)
#include "test_quillbox_e2e.moc"
