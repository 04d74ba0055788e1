// A port the user may not listen on (below the first unprivileged port):
// the real quillbox, run as an ordinary user, shows its error box for it and
// keeps receiving on the other port of its list.
//
// Needs root to start the program as the user "nobody".
#include "faultprocess.h"
#include "receiversettings.h"
#include "settingsstore.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

const char kUser[] = "nobody";
const char kGroup[] = "nogroup";
// Connection attempts to loopback are answered at once; this bounds them.
constexpr int kConnectWaitMs = 3000;
// How long the other port is given while the error box is up.
constexpr int kErrorBoxGraceMs = 5000;

int FirstUnprivilegedPort()
{
    QFile setting(QStringLiteral("/proc/sys/net/ipv4/ip_unprivileged_port_start"));
    if (!setting.open(QIODevice::ReadOnly))
        return 1024;
    bool ok = false;
    const int port = setting.readAll().trimmed().toInt(&ok);
    return ok ? port : 1024;
}

bool Listening(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    const bool connected = socket.waitForConnected(kConnectWaitMs);
    socket.abort();
    return connected;
}

// A low port nothing listens on yet, or 0.
quint16 FreeProtectedPort()
{
    const int first = FirstUnprivilegedPort();
    for (int port = std::min(first - 1, 1000); port >= 600; --port) {
        if (!Listening(static_cast<quint16>(port)))
            return static_cast<quint16>(port);
    }
    return 0;
}

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, 0) ? probe.serverPort() : 0;
}

bool GiveTo(const QString &path, uid_t uid, gid_t gid)
{
    return ::chown(QFile::encodeName(path).constData(), uid, gid) == 0;
}

// Connects, writes one payload and closes, as the sending program does.
bool Send(quint16 port, const QByteArray &payload)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(kConnectWaitMs))
        return false;
    socket.write(payload);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kConnectWaitMs))
            return false;
    }
    socket.disconnectFromHost();
    return true;
}

} // namespace

class TestProtectedPort : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void otherPortKeepsReceiving_data();
    void otherPortKeepsReceiving();
};

void TestProtectedPort::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("needs root to start quillbox as an ordinary user");
    if (FirstUnprivilegedPort() <= 1)
        QSKIP("every port may be listened on by any user here");
    if (!::getpwnam(kUser) || !::getgrnam(kGroup) ||
        QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs setpriv and the user nobody");
    if (!QFile::exists(BuiltProgram(QStringLiteral("quillbox"))))
        QSKIP("quillbox has not been built");
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty())
        QSKIP("Xvfb and xwininfo are needed");
}

void TestProtectedPort::otherPortKeepsReceiving_data()
{
    QTest::addColumn<bool>("refusedFirst");
    QTest::newRow("refused port last") << false;
    QTest::newRow("refused port first") << true;
}

void TestProtectedPort::otherPortKeepsReceiving()
{
    QFETCH(bool, refusedFirst);
    const quint16 low = FreeProtectedPort();
    const quint16 high = FreePort();
    QVERIFY(low != 0 && high != 0);
    XDisplay display;
    QVERIFY(!display.name().isEmpty());
    StoreFolders folders(kReceiverStoreName);
    {
        SettingsStore prepared = SettingsStore::atPath(folders.ini());
        PortList ports;
        ports.append(refusedFirst ? low : high);
        ports.append(refusedFirst ? high : low);
        QVERIFY(savePortList(prepared, ports));
    }
    const passwd *user = ::getpwnam(kUser);
    const group *userGroup = ::getgrnam(kGroup);
    const QStringList owned{folders.root.path(), folders.config(), QFileInfo(folders.ini()).path(),
                            folders.ini(), folders.runtime()};
    for (const QString &path : owned)
        QVERIFY2(GiveTo(path, user->pw_uid, userGroup->gr_gid), qPrintable(path));

    QProcess quillbox;
    // Ended at once, by its handle, however the test ends.
    const auto end = qScopeGuard([&quillbox] {
        quillbox.kill();
        quillbox.waitForFinished(kProgramWaitMs);
    });
    quillbox.setProcessEnvironment(ProgramEnvironment(display, folders));
    quillbox.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    quillbox.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=") + QString::fromLatin1(kUser),
                                               QStringLiteral("--regid=") + QString::fromLatin1(kGroup),
                                               QStringLiteral("--clear-groups"), QStringLiteral("--"),
                                               BuiltProgram(QStringLiteral("quillbox"))});
    QVERIFY(quillbox.waitForStarted(kProgramWaitMs));

    // The refused port gives its error box; the main window comes up all the same.
    QTRY_VERIFY_WITH_TIMEOUT(display.windowTree().contains(QStringLiteral("\"Error\"")), kProgramWaitMs);
    // The other port listens while the box is still open, whichever comes first.
    QVERIFY(QTest::qWaitFor([high] { return Listening(high); }, kErrorBoxGraceMs));
    QVERIFY(!Listening(low));
    QVERIFY(Send(high, QByteArray("protected test\0"
                                  "505\0still here",
                                  30)));
    QTRY_VERIFY_WITH_TIMEOUT(display.windowTree().contains(QStringLiteral("\"Message \"")), kProgramWaitMs);
    QVERIFY(quillbox.state() == QProcess::Running);
}

QTEST_GUILESS_MAIN(TestProtectedPort)
#include "test_protectedport.moc"
