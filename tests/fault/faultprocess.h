#pragma once
// Shared by the fault tests: a private X display and the real programs
// started on it, each wait bounded, each process ended by its own handle.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// Every wait on a started program is bounded by this.
constexpr int kProgramWaitMs = 30000;

inline QString BuiltProgram(const QString &name)
{
    return qEnvironmentVariable("QUILL_BIN_DIR") + u'/' + name;
}

// A private display, ended with the test.
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
        if (!m_server.waitForStarted(kProgramWaitMs))
            return;
        const bool reported = QTest::qWaitFor(
            [this] { return m_server.canReadLine() || m_server.state() != QProcess::Running; },
            kProgramWaitMs);
        if (reported && m_server.canReadLine())
            m_name = u':' + QString::fromLatin1(m_server.readLine().trimmed());
    }
    ~XDisplay()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(kProgramWaitMs))
            m_server.kill();
        m_server.waitForFinished(kProgramWaitMs);
    }
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    QString name() const { return m_name; }

    // The window tree of the display, with every window's title.
    QString windowTree() const
    {
        QProcess info;
        info.start(QStringLiteral("xwininfo"),
                   {QStringLiteral("-root"), QStringLiteral("-tree"), QStringLiteral("-display"), m_name});
        if (!info.waitForFinished(kProgramWaitMs))
            info.kill();
        info.waitForFinished(kProgramWaitMs);
        return QString::fromLocal8Bit(info.readAllStandardOutput());
    }

private:
    QProcess m_server;
    QString m_name;
};

// A configuration and a runtime folder of one program run.
struct ProgramFolders
{
    explicit ProgramFolders(const QString &storeName)
        : store(storeName)
    {
        QDir(root.path()).mkpath(QStringLiteral("config/") + store);
        QDir(root.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(runtime(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString config() const { return root.filePath(QStringLiteral("config")); }
    QString runtime() const { return root.filePath(QStringLiteral("runtime")); }
    QString ini() const { return config() + u'/' + store + u'/' + store + QStringLiteral(".ini"); }

    QTemporaryDir root;
    QString store;
};

inline QProcessEnvironment ProgramEnvironment(const XDisplay &display, const ProgramFolders &folders)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display.name());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folders.config());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folders.runtime());
    return env;
}

// Ends a program the test started, by its own handle.
inline void EndProgram(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kProgramWaitMs))
        process.kill();
    process.waitForFinished(kProgramWaitMs);
}
