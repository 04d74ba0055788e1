#pragma once
// Shared by the end-to-end tests: a private X display and the built programs
// started on it with folders of their own, every wait bounded, every process
// ended through its own handle.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
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

// An X tool's standard output, empty when it does not finish in time.
inline QString RunXTool(const QString &program, const QStringList &arguments, const QString &display)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    if (!tool.waitForFinished(kXWaitMs)) {
        StopProcess(tool);
        return {};
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

// A private display, ended with the object; name() is empty when Xvfb did
// not come up.
class XDisplay
{
public:
    XDisplay()
    {
        // Xvfb picks a free display number itself and reports it on stdout.
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1024x768x24")});
        if (!m_server.waitForStarted(kXWaitMs))
            return;
        const bool reported = QTest::qWaitFor(
            [this] { return m_server.canReadLine() || m_server.state() != QProcess::Running; }, kXWaitMs);
        const QByteArray line = reported ? m_server.readLine().trimmed() : QByteArray();
        if (!line.isEmpty())
            m_name = u':' + QString::fromLatin1(line);
    }
    ~XDisplay() { StopProcess(m_server); }
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    QString name() const { return m_name; }

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

// Configuration and runtime folders of a program's own (the runtime one
// owner-only, as the local endpoint requires), and its environment on a
// display.
struct ProgramFolders
{
    ProgramFolders()
    {
        QDir(root.path()).mkpath(QStringLiteral("config"));
        QDir(root.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(runtime(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString config() const { return root.filePath(QStringLiteral("config")); }
    QString runtime() const { return root.filePath(QStringLiteral("runtime")); }
    QProcessEnvironment environment(const QString &display) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        return env;
    }

    QTemporaryDir root;
};

// Starts openbox on the display with folders of its own under home, so that
// window managers of tests running side by side share nothing. One that gives
// up while the display is still settling is started again, a bounded number
// of times. Empty when it manages the display, else what it said.
inline QString StartWindowManager(QProcess &windowManager, const QString &display, const QString &home)
{
    constexpr int kAttempts = 3;
    constexpr int kWaitMs = 10000;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/wm-config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/wm-cache"));
    windowManager.setProcessEnvironment(environment);
    const auto managed = [&display] {
        return RunXTool(QStringLiteral("xprop"),
                        {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")}, display)
            .contains(QStringLiteral("window id"));
    };
    QString failures;
    for (int attempt = 0; attempt < kAttempts && !managed(); ++attempt) {
        windowManager.start(QStandardPaths::findExecutable(QStringLiteral("openbox")),
                            {QStringLiteral("--sm-disable")});
        if (!windowManager.waitForStarted(kWaitMs))
            return QStringLiteral("openbox did not start");
        QDeadlineTimer deadline(kWaitMs);
        while (!managed() && windowManager.state() == QProcess::Running && !deadline.hasExpired())
            QTest::qWait(50);
        if (windowManager.state() != QProcess::Running) {
            windowManager.waitForFinished(kWaitMs);
            failures += QString::fromLocal8Bit(windowManager.readAllStandardError());
        }
    }
    return managed() ? QString() : QStringLiteral("openbox did not come up: ") + failures;
}
