// Both real programs under a Wayland compositor (a headless weston of the
// test's own): Quillbox shows a message, its notification's "Reply" (on a
// private bus, with a stand-in server) starts Quillpost there, and the
// activation token the server sent with the action travels along, so that
// Quillpost's window may come forward.
#include "bars.h"
#include "message.h"
#include "notificationstandin.h"
#include "privatebus.h"
#include "xdisplay.h"

#include <QLibraryInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr auto kToken = "quill-wayland-token"_L1;

} // namespace

class TestWaylandEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString plugin =
            QLibraryInfo::path(QLibraryInfo::PluginsPath) + u"/platforms/libqwayland-generic.so"_s;
        if (QStandardPaths::findExecutable(u"weston"_s).isEmpty() || !QFile::exists(plugin))
            QSKIP("needs weston and Qt's Wayland platform (scripts/deps.sh installs them)");
        QVERIFY(!m_bus.address().isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());
    }

    void replyFromNotificationUnderWayland()
    {
        ProgramFolders folders;
        const QString socket = u"wayland-quill-%1"_s.arg(QCoreApplication::applicationPid());
        QProcess weston;
        weston.setProcessEnvironment(folders.environment({}));
        weston.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        weston.setStandardOutputFile(QProcess::nullDevice());
        weston.start(u"weston"_s, {u"--backend=headless-backend.so"_s, u"--socket="_s + socket,
                                   u"--idle-time=0"_s, u"--shell=kiosk-shell.so"_s});
        const auto stopWeston = qScopeGuard([&weston] { StopProcess(weston); });
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folders.runtime() + u'/' + socket), kXWaitMs);

        QProcessEnvironment environment = folders.environment({});
        environment.insert(u"QT_QPA_PLATFORM"_s, u"wayland"_s);
        environment.insert(u"WAYLAND_DISPLAY"_s, socket);
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_bus.address());
        // The Wayland client library keeps its proxies until the process ends.
        QFile suppressions(folders.root.filePath(u"lsan.supp"_s));
        QVERIFY(suppressions.open(QIODevice::WriteOnly) &&
                suppressions.write("leak:libwayland-client.so\n") > 0);
        suppressions.close();
        environment.insert(u"LSAN_OPTIONS"_s, u"suppressions="_s + suppressions.fileName());

        // A port free on every address, as quillbox listens on all of them,
        // held (bound, its address shared) until quillbox listens there.
        QTcpSocket held;
        QVERIFY(held.bind(QHostAddress::Any, 0, QAbstractSocket::ShareAddress));
        {
            QSettings prepared(folders.config() + u"/Quillbox/Quillbox.ini"_s, QSettings::IniFormat);
            prepared.setValue(u"Ports/1_port"_s, held.localPort());
            prepared.setValue(u"Settings/PlayIncomingSound"_s, u"False"_s);
        }
        StandIn server;
        QProcess quillbox;
        quillbox.setProcessEnvironment(environment);
        quillbox.setProcessChannelMode(QProcess::ForwardedChannels);
        quillbox.start(BuiltProgram(u"quillbox"_s), {});
        const auto stopQuillbox = qScopeGuard([&quillbox] { StopProcess(quillbox); });

        QVERIFY(SendWhenListening(held.localPort(), Bars("wayland sender|6000|hello")));
        QTRY_COMPARE_WITH_TIMEOUT(server.calls.size(), 1, kXWaitMs);
        QVERIFY(quillbox.state() == QProcess::Running);

        emit server.ActivationToken(101, kToken);
        emit server.ActionInvoked(101, u"reply"_s);
        const QString quillpost = BuiltProgram(u"quillpost"_s);
        qint64 pid = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            (pid = RunningWith(quillpost, "XDG_CONFIG_HOME=" + folders.config().toUtf8())) != 0, kXWaitMs);
        const QByteArray ours = "XDG_CONFIG_HOME=" + folders.config().toUtf8();
        // Ended only while that pid is still this test's Quillpost.
        const auto stopQuillpost = qScopeGuard([&] {
            if (RunningWith(quillpost, ours) == pid)
                ::kill(pid_t(pid), SIGKILL);
        });
        // Started on the compositor, with the token of the action.
        QVERIFY(RunningWith(quillpost, "XDG_ACTIVATION_TOKEN=" + QByteArray(kToken.data())) == pid);
        QVERIFY(RunningWith(quillpost, "WAYLAND_DISPLAY=" + socket.toUtf8()) == pid);
        // It took the sender (Quillbox marks the message read once it was
        // handed over); ended by a signal, it keeps him in its list.
        QSqlDatabase history = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"history"_s);
        history.setDatabaseName(folders.data() + u"/Quillbox/history.sqlite"_s);
        history.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
        QVERIFY(history.open());
        QTRY_VERIFY_WITH_TIMEOUT(
            [&history] {
                QSqlQuery fate(u"SELECT fate FROM messages"_s, history);
                return fate.next() && fate.value(0).toInt() == int(MessageFate::Read);
            }(),
            kXWaitMs);
        QVERIFY(::kill(pid_t(pid), SIGTERM) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(RunningWith(quillpost, ours) == 0, kXWaitMs);
        QFile stored(folders.config() + u"/Quillpost/Quillpost.ini"_s);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const QByteArray content = stored.readAll();
        QVERIFY2(content.contains("=wayland sender\n"), content.constData());
    }

private:
    PrivateBus m_bus;
};

QTEST_GUILESS_MAIN(TestWaylandEndToEnd)
#include "moc_notificationstandin.cpp"
#include "test_wayland_e2e.moc"
