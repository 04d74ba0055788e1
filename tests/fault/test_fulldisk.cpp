// A full disk when saving is reported: the store's flush() and every
// program-level writer return false, the file on disk keeps its last whole
// content, and the changes stay pending until there is room again.
//
// Needs root: the test runs itself again inside a private mount namespace
// with a tiny tmpfs as the configuration folder, so no real disk fills up.
#include "receiversettings.h"
#include "sendersettings.h"
#include "settingsstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char kChildSwitch[] = "--in-full-disk";
// The tmpfs size: the disk fills in a few writes, and holds both stores
// once it has room again.
const QString kDiskSize = QStringLiteral("size=64k");
constexpr int kWaitMs = 30000;
// One page: a file of up to this size still fits when it is free.
constexpr int kPageBytes = 4096;
// The user list written on a full disk: more than a page of text.
constexpr int kUsers = 200;

// Fills the folder's file system, leaving one page free when asked.
bool FillDisk(const QString &folder, bool keepOnePage)
{
    if (keepOnePage) {
        QFile spare(folder + QStringLiteral("/spare"));
        if (!spare.open(QIODevice::WriteOnly) || spare.write(QByteArray(kPageBytes, 's')) != kPageBytes)
            return false;
    }
    const int fd = ::open(QFile::encodeName(folder + QStringLiteral("/filler")).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    const QByteArray block(512, 'f');
    while (::write(fd, block.constData(), static_cast<size_t>(block.size())) > 0) {
    }
    ::close(fd);
    return !keepOnePage || QFile::remove(folder + QStringLiteral("/spare"));
}

UserList SomeUsers()
{
    UserList users;
    for (int n = 1; n <= kUsers; ++n)
        users.append(UserRecord{QStringLiteral("colleague number %1").arg(n),
                                QStringLiteral("192.168.1.%1").arg(n), 2000 + n, 0});
    return users;
}

// Runs inside the namespace. Prints one line a check: "name result".
int RunChild(const QString &folder, bool keepOnePage)
{
    const QString senderIni = folder + QStringLiteral("/Quillpost.ini");
    const QString receiverIni = folder + QStringLiteral("/Quillbox.ini");
    auto report = [](const char *what, bool result) { std::printf("%s %d\n", what, result ? 1 : 0); };
    SettingsStore sender = SettingsStore::atPath(senderIni);
    SettingsStore receiver = SettingsStore::atPath(receiverIni);
    sender.save(QStringLiteral("Identification"), QStringLiteral("MyUsername"), QStringLiteral("before"));
    report("flush-with-room", sender.flush());
    report("receiver-with-room", saveSoundOption(receiver, true));
    auto contents = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = contents(senderIni);
    const QByteArray receiverBefore = contents(receiverIni);

    report("filled", FillDisk(folder, keepOnePage));
    sender.save(QStringLiteral("Identification"), QStringLiteral("MyUsername"), QStringLiteral("after"));
    sender.save(QStringLiteral("Padding"), QStringLiteral("text"), QString(2 * kPageBytes, u'p'));
    report("flush", sender.flush());
    SenderSettings settings;
    settings.userList = SomeUsers();
    report("SaveUserList", saveUserList(sender, settings.userList));
    report("SaveProgramOptions", saveProgramOptions(sender, settings));
    report("SaveIdentification", saveIdentification(sender, settings));
    PortList ports;
    for (int n = 1; n <= kUsers * 4; ++n)
        ports.append(1024 + n);
    report("SavePortList", savePortList(receiver, ports));
    report("SaveSoundOption", saveSoundOption(receiver, false));
    report("file-unchanged", contents(senderIni) == before && contents(receiverIni) == receiverBefore);

    // With room again the pending changes are written, none lost.
    QFile::remove(folder + QStringLiteral("/filler"));
    const bool senderWritten = sender.flush();
    report("flush-after-freeing", receiver.flush() && senderWritten);
    // Read from the disk through copies: a store of the same file in this
    // process would answer from Qt's cache.
    QTemporaryDir elsewhere;
    const QString senderCopy = elsewhere.filePath(QStringLiteral("Quillpost.ini"));
    const QString receiverCopy = elsewhere.filePath(QStringLiteral("Quillbox.ini"));
    QFile::copy(senderIni, senderCopy);
    QFile::copy(receiverIni, receiverCopy);
    SettingsStore reread = SettingsStore::atPath(senderCopy);
    SenderSettings loaded;
    loadSenderSettings(reread, loaded);
    report("pending-kept", loaded.userList == settings.userList && loaded.myUserName == settings.myUserName);
    SettingsStore rereadPorts = SettingsStore::atPath(receiverCopy);
    ReceiverSettings loadedPorts;
    loadReceiverSettings(rereadPorts, loadedPorts);
    report("pending-ports-kept", loadedPorts.portList == ports && !loadedPorts.playIncomingSound);
    std::fflush(stdout);
    return 0;
}

bool CanUnshare()
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        return false;
    QTemporaryDir mountPoint;
    QProcess probe;
    probe.start(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("--propagation"), QStringLiteral("private"),
                 QStringLiteral("--"), QStringLiteral("mount"), QStringLiteral("-t"), QStringLiteral("tmpfs"),
                 QStringLiteral("-o"), kDiskSize, QStringLiteral("quillprobe"), mountPoint.path()});
    return probe.waitForFinished(kWaitMs) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

} // namespace

class TestFullDisk : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void failedSaveIsReported_data();
    void failedSaveIsReported();
};

void TestFullDisk::initTestCase()
{
    if (!CanUnshare())
        QSKIP("needs root with permission to unshare the mount namespace and mount a tmpfs");
}

void TestFullDisk::failedSaveIsReported_data()
{
    QTest::addColumn<bool>("keepOnePage");
    // Nothing free: even the store's lock file cannot be made.
    QTest::newRow("no byte free") << false;
    // The lock file fits, the new content does not.
    QTest::newRow("one page free") << true;
}

void TestFullDisk::failedSaveIsReported()
{
    QFETCH(bool, keepOnePage);
    QTemporaryDir mountPoint;
    QVERIFY(mountPoint.isValid());
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The tmpfs exists only in the child's namespace: the folder stays
    // empty out here.
    child.start(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("--propagation"), QStringLiteral("private"),
                 QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("mount -t tmpfs -o %1 quillfull \"$1\" && exec \"$2\" %3 \"$1\" \"$3\"")
                     .arg(kDiskSize, QString::fromLatin1(kChildSwitch)),
                 QStringLiteral("sh"), mountPoint.path(), QCoreApplication::applicationFilePath(),
                 keepOnePage ? QStringLiteral("1") : QStringLiteral("0")});
    QVERIFY(child.waitForFinished(kWaitMs));
    QCOMPARE(child.exitCode(), 0);
    QMap<QString, bool> results;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            results.insert(QString::fromLatin1(parts[0]), parts[1] == "1");
    }
    const QMap<QString, bool> expected{
        {QStringLiteral("flush-with-room"), true},
        {QStringLiteral("receiver-with-room"), true},
        {QStringLiteral("filled"), true},
        {QStringLiteral("flush"), false},
        {QStringLiteral("SaveUserList"), false},
        {QStringLiteral("SaveProgramOptions"), false},
        {QStringLiteral("SaveIdentification"), false},
        {QStringLiteral("SavePortList"), false},
        {QStringLiteral("SaveSoundOption"), false},
        {QStringLiteral("file-unchanged"), true},
        {QStringLiteral("flush-after-freeing"), true},
        {QStringLiteral("pending-kept"), true},
        {QStringLiteral("pending-ports-kept"), true},
    };
    QCOMPARE(results, expected);
    QVERIFY(QDir(mountPoint.path()).isEmpty());
}

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], kChildSwitch) == 0) {
        QCoreApplication app(argc, argv);
        return RunChild(QString::fromLocal8Bit(argv[2]), qstrcmp(argv[3], "1") == 0);
    }
    QCoreApplication app(argc, argv);
    TestFullDisk test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_fulldisk.moc"
