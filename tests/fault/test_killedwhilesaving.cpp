// The real programs killed (SIGKILL) at varying moments of their start-up,
// while they rewrite a large store: the store must load whole afterwards,
// never half-written, and the next start must get past the stale locks.
#include "faultprocess.h"
#include "receiversettings.h"
#include "sendersettings.h"
#include "settingsstore.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QThread>
#include <functional>
#include <signal.h>

namespace {

// Large enough that each flush of the store takes many milliseconds, so a
// kill lands inside a write rather than between two.
constexpr int kUsers = 10000;
constexpr int kPorts = 10000;
// Starts killed per program; the whole test stays well under a minute.
constexpr int kKills = 6;
// Spacing of the kills that are timed from the process start instead of
// from the first write.
constexpr int kKillStepMs = 60;

UserList LargeUserList()
{
    UserList users;
    for (int n = 1; n <= kUsers; ++n)
        users.append(UserRecord{QStringLiteral("user %1").arg(n),
                                QStringLiteral("10.0.%1.%2").arg(n / 250).arg(n % 250 + 1), 1024 + n, 0});
    return users;
}

PortList LargePortList(qint32 port)
{
    PortList ports;
    for (int n = 1; n <= kPorts; ++n)
        ports.append(port);
    return ports;
}

// Loads a copy of the store with the program's own loader (loaders write
// their sentinels back; the original stays as the kill left it).
template <typename Loaded, typename Load> Loaded LoadCopy(const QString &ini, Load load)
{
    QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("copy.ini"));
    if (!QFile::copy(ini, copy))
        return Loaded{};
    SettingsStore store = SettingsStore::atPath(copy);
    Loaded loaded;
    load(store, loaded);
    return loaded;
}

} // namespace

class TestKilledWhileSaving : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void storeLoadsWhole_data();
    void storeLoadsWhole();
};

void TestKilledWhileSaving::initTestCase()
{
    if (!QFile::exists(BuiltProgram(QStringLiteral("quillpost"))) ||
        !QFile::exists(BuiltProgram(QStringLiteral("quillbox"))))
        QSKIP("the programs have not been built");
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is needed");
}

void TestKilledWhileSaving::storeLoadsWhole_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("quillpost, 10000 users") << QStringLiteral("quillpost");
    QTest::newRow("quillbox, 10000 ports") << QStringLiteral("quillbox");
}

void TestKilledWhileSaving::storeLoadsWhole()
{
    QFETCH(QString, program);
    const bool sender = program == u"quillpost";
    XDisplay display;
    QVERIFY(!display.name().isEmpty());
    StoreFolders folders(sender ? kSenderStoreName : kReceiverStoreName);

    // Quillbox's listeners open after the store is written; one port, taken
    // by this test, keeps them from listening on anything.
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    const UserList users = LargeUserList();
    const PortList ports = LargePortList(taken.serverPort());
    {
        SettingsStore prepared = SettingsStore::atPath(folders.ini());
        QVERIFY(sender ? saveUserList(prepared, users) : savePortList(prepared, ports));
    }
    const QString lockFile = folders.ini() + QStringLiteral(".lock");
    std::function<bool()> loadsWhole = [&] {
        if (sender)
            return LoadCopy<SenderSettings>(folders.ini(), loadSenderSettings).userList == users;
        return LoadCopy<ReceiverSettings>(folders.ini(), loadReceiverSettings).portList == ports;
    };
    QVERIFY(loadsWhole());

    int killedWhileWriting = 0;
    for (int run = 0; run < kKills; ++run) {
        // The lock left by the last kill would pass for a write under way.
        QFile::remove(lockFile);
        QProcess process;
        process.setProcessEnvironment(ProgramEnvironment(display, folders));
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        process.start(BuiltProgram(program), {});
        QVERIFY(process.waitForStarted(kProgramWaitMs));
        const QDeadlineTimer deadline(kProgramWaitMs);
        if (run % 2 == 0) {
            // From the moment the first write holds the store's lock, a little
            // later each run.
            while (!QFile::exists(lockFile) && !deadline.hasExpired() && process.state() == QProcess::Running)
                QThread::usleep(100);
            QThread::usleep(static_cast<unsigned long>(run) * 2000);
        } else {
            while (clock.elapsed() < run * kKillStepMs && process.state() == QProcess::Running)
                QThread::usleep(500);
        }
        if (QFile::exists(lockFile))
            ++killedWhileWriting;
        ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
        QVERIFY(process.waitForFinished(kProgramWaitMs));
        QVERIFY2(loadsWhole(), qPrintable(QStringLiteral("store damaged by the kill of run %1").arg(run)));
    }
    qInfo("%d of %d kills landed while the store was being written", killedWhileWriting, kKills);
    QVERIFY(killedWhileWriting > 0);

    // Stale single-instance and store locks do not keep the next copy out.
    QProcess last;
    last.setProcessEnvironment(ProgramEnvironment(display, folders));
    last.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    last.start(BuiltProgram(program), {});
    QVERIFY(last.waitForStarted(kProgramWaitMs));
    const QString caption =
        sender ? QStringLiteral("\"Send Message\"") : QStringLiteral("\"Message Receiver\"");
    QTRY_VERIFY_WITH_TIMEOUT(display.windowTree().contains(caption), kProgramWaitMs);
    StopProcess(last);
    QVERIFY(loadsWhole());
}

QTEST_GUILESS_MAIN(TestKilledWhileSaving)
#include "test_killedwhilesaving.moc"
