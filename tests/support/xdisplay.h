#pragma once
// Shared by the end-to-end tests: a private X display and the built programs
// started on it with folders of their own, every wait bounded, every process
// ended through its own handle.

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

// A healthy run needs a fraction of this, also with the sanitizers on.
constexpr int kXWaitMs = 30000;

inline QString BuiltProgram(const QString &name)
{
    return qEnvironmentVariable("QUILL_BIN_DIR") + u'/' + name;
}

// Asks the process to end, and kills it when it does not.
inline void StopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kXWaitMs))
        process.kill();
    process.waitForFinished(kXWaitMs);
}

// The pid of the program at path whose environment holds entry, or 0.
inline qint64 RunningWith(const QString &path, const QByteArray &entry)
{
    QDirIterator processes(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        const QString folder = processes.next();
        QFile environment(folder + QStringLiteral("/environ"));
        if (QFileInfo(folder + QStringLiteral("/exe")).symLinkTarget() !=
                QFileInfo(path).canonicalFilePath() ||
            !environment.open(QIODevice::ReadOnly))
            continue;
        if (environment.readAll().split('\0').contains(entry))
            return QFileInfo(folder).fileName().toLongLong();
    }
    return 0;
}

// Sends payload to a program that is still coming up on port (loopback),
// trying again until it listens; true once the whole payload went and the
// connection closed.
inline bool SendWhenListening(quint16 port, const QByteArray &payload)
{
    QTcpSocket sender;
    const bool connected = QTest::qWaitFor(
        [&] {
            sender.abort();
            sender.connectToHost(QHostAddress::LocalHost, port);
            return sender.waitForConnected(1000);
        },
        kXWaitMs);
    if (!connected || sender.write(payload) != payload.size())
        return false;
    sender.disconnectFromHost();
    return sender.state() == QAbstractSocket::UnconnectedState || sender.waitForDisconnected(kXWaitMs);
}

inline QProcessEnvironment OnDisplay(const QString &display)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    return environment;
}

// An X tool's standard output, empty when it does not finish in time.
inline QString RunXTool(const QString &program, const QStringList &arguments, const QString &display)
{
    QProcess tool;
    tool.setProcessEnvironment(OnDisplay(display));
    tool.start(program, arguments);
    const bool finished = tool.waitForFinished(kXWaitMs);
    StopProcess(tool);
    return finished ? QString::fromLocal8Bit(tool.readAllStandardOutput()) : QString();
}

// A private display, ended with the object; name() is empty when Xvfb did
// not come up. Xvfb picks a free display number itself and reports it.
class XDisplay
{
public:
    XDisplay()
    {
        m_server.start(QStringLiteral("Xvfb"),
                       QStringLiteral("-displayfd 1 -nolisten tcp -screen 0 1024x768x24").split(u' '));
        if (m_server.waitForStarted(kXWaitMs) && m_server.waitForReadyRead(kXWaitMs))
            m_name = u':' + QString::fromLatin1(m_server.readLine().trimmed());
    }
    ~XDisplay() { StopProcess(m_server); }

    QString name() const { return m_name.size() > 1 ? m_name : QString(); }
    // The window tree of the display, with every window's title.
    QString windowTree() const
    {
        return RunXTool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")},
                        m_name);
    }

private:
    QProcess m_server;
    QString m_name;
};

// Configuration, data and runtime folders of a program's own (the runtime one
// owner-only, as the local endpoint requires), and its environment on a
// display.
struct ProgramFolders
{
    ProgramFolders()
    {
        QDir(root.path()).mkpath(QStringLiteral("config"));
        QDir().mkdir(runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString config() const { return root.filePath(QStringLiteral("config")); }
    QString runtime() const { return root.filePath(QStringLiteral("runtime")); }
    QString data() const { return root.filePath(QStringLiteral("data")); }
    QProcessEnvironment environment(const QString &display) const
    {
        QProcessEnvironment env = OnDisplay(display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        env.insert(QStringLiteral("XDG_DATA_HOME"), data());
        return env;
    }

    QTemporaryDir root;
};

// Starts openbox on the display with home as its home, so that window
// managers of tests running side by side share nothing; one that gives up
// while the display is still settling is started again. Empty when it
// manages the display, else what it said.
inline QString StartWindowManager(QProcess &windowManager, const QString &display, const QString &home)
{
    QProcessEnvironment environment = OnDisplay(display);
    environment.insert(QStringLiteral("HOME"), home);
    windowManager.setProcessEnvironment(environment);
    const bool managed = QTest::qWaitFor(
        [&] {
            if (windowManager.state() == QProcess::NotRunning)
                windowManager.start(QStandardPaths::findExecutable(QStringLiteral("openbox")),
                                    {QStringLiteral("--sm-disable")});
            return RunXTool(QStringLiteral("xprop"),
                            {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")}, display)
                .contains(QStringLiteral("window id"));
        },
        kXWaitMs);
    return managed ? QString()
                   : QStringLiteral("openbox did not come up: ") +
                         QString::fromLocal8Bit(windowManager.readAllStandardError());
}
