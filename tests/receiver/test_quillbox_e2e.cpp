// The real quillbox program on a private X display: its first start fills
// the store, a sender's payload opens a message window, and a second copy
// ends at once.
#include "receivertesthelpers.h"
#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

namespace {

// Every wait on the started programs is bounded by this.
constexpr int kWaitMs = 30000;

using Section = QMap<QString, QString>;

Section ReadSection(const QString &ini, const QString &section)
{
    Section values;
    for (const auto &[key, value] : SettingsStore::atPath(ini).getAll(section))
        values.insert(key, value);
    return values;
}

// A private display for the programs under test, ended with the test.
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
        if (!m_server.waitForStarted(kWaitMs))
            return;
        const bool reported = QTest::qWaitFor(
            [this] { return m_server.canReadLine() || m_server.state() != QProcess::Running; }, kWaitMs);
        if (!reported)
            return;
        const QByteArray line = m_server.readLine().trimmed();
        if (!line.isEmpty())
            m_name = u':' + QString::fromLatin1(line);
    }
    ~XDisplay()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(kWaitMs))
            m_server.kill();
        m_server.waitForFinished(kWaitMs);
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
        if (!info.waitForFinished(kWaitMs))
            info.kill();
        return QString::fromLocal8Bit(info.readAllStandardOutput());
    }

private:
    QProcess m_server;
    QString m_name;
};

// quillbox started with its own configuration and runtime folders.
class Quillbox
{
public:
    Quillbox(const XDisplay &display, const QString &configFolder, const QString &runtimeFolder)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display.name());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(Program(), {});
    }
    ~Quillbox()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(kWaitMs))
            m_process.kill();
        m_process.waitForFinished(kWaitMs);
    }
    Quillbox(const Quillbox &) = delete;
    Quillbox &operator=(const Quillbox &) = delete;

    static QString Program() { return qEnvironmentVariable("QUILL_BIN_DIR") + QStringLiteral("/quillbox"); }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
};

struct Folders
{
    Folders()
    {
        QDir(root.path()).mkpath(QStringLiteral("config/Quillbox"));
        QDir(root.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(runtime(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString config() const { return root.filePath(QStringLiteral("config")); }
    QString runtime() const { return root.filePath(QStringLiteral("runtime")); }
    QString ini() const { return root.filePath(QStringLiteral("config/Quillbox/Quillbox.ini")); }

    QTemporaryDir root;
};

quint16 FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::Any, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

class TestQuillboxEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void firstStartFillsStore();
    void messageOpensWindow();
};

void TestQuillboxEndToEnd::initTestCase()
{
    if (!QFile::exists(Quillbox::Program()))
        QSKIP("quillbox has not been built");
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty())
        QSKIP("Xvfb and xwininfo are needed");
}

void TestQuillboxEndToEnd::firstStartFillsStore()
{
    XDisplay display;
    QVERIFY(!display.name().isEmpty());
    Folders folders;
    Quillbox quillbox(display, folders.config(), folders.runtime());
    QVERIFY(quillbox.process().waitForStarted(kWaitMs));

    // The store is written before the listeners open, so its content does
    // not depend on whether the default port can be listened on here.
    const Section expectedPorts{{QStringLiteral("TestPorts"), QStringLiteral("True")},
                                {QStringLiteral("1_port"), QStringLiteral("505")}};
    QTRY_COMPARE_WITH_TIMEOUT(ReadSection(folders.ini(), QStringLiteral("Ports")), expectedPorts, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(ReadSection(folders.ini(), QStringLiteral("Settings")).size(), 3, kWaitMs);
    const Section settings = ReadSection(folders.ini(), QStringLiteral("Settings"));
    QCOMPARE(settings.value(QStringLiteral("PlayIncomingSound")), QStringLiteral("True"));
    bool xOk = false;
    bool yOk = false;
    QVERIFY(settings.value(QStringLiteral("StartUPX")).toInt(&xOk) >= 0 && xOk);
    QVERIFY(settings.value(QStringLiteral("StartUPY")).toInt(&yOk) >= 0 && yOk);
    QVERIFY(QSettings(folders.ini(), QSettings::IniFormat).childGroups().size() == 2);
}

void TestQuillboxEndToEnd::messageOpensWindow()
{
    XDisplay display;
    QVERIFY(!display.name().isEmpty());
    Folders folders;
    const quint16 port = FreePort();
    QVERIFY(port != 0);
    {
        SettingsStore prepared = SettingsStore::atPath(folders.ini());
        prepared.save(QStringLiteral("Ports"), QStringLiteral("1_port"), QString::number(port));
        QVERIFY(prepared.flush());
    }
    Quillbox quillbox(display, folders.config(), folders.runtime());
    QVERIFY(quillbox.process().waitForStarted(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(display.windowTree().contains(QStringLiteral("\"Message Receiver\"")), kWaitMs);
    QVERIFY(!display.windowTree().contains(QStringLiteral("\"Message \"")));

    // Sent as the sending program does: connect, one write, close.
    QTRY_VERIFY_WITH_TIMEOUT(SendPayload(port, Bars("e2e sender|505|hello from the test")), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(display.windowTree().contains(QStringLiteral("\"Message \"")), kWaitMs);

    // A second copy ends at once, silently, and leaves the first alone.
    Quillbox second(display, folders.config(), folders.runtime());
    QVERIFY(second.process().waitForFinished(kWaitMs));
    QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process().exitCode(), 0);
    QCOMPARE(quillbox.process().state(), QProcess::Running);
    QCOMPARE(display.windowTree().count(QStringLiteral("\"Message Receiver\"")), 1);

    // A restart's store: the list written back alone, without its sentinel.
    const Section ports = ReadSection(folders.ini(), QStringLiteral("Ports"));
    QCOMPARE(ports, Section({{QStringLiteral("1_port"), QString::number(port)}}));
    const Section settings = ReadSection(folders.ini(), QStringLiteral("Settings"));
    QCOMPARE(settings.value(QStringLiteral("PlayIncomingSound")), QStringLiteral("True"));
    QVERIFY(settings.contains(QStringLiteral("StartUPX")));
    QVERIFY(settings.contains(QStringLiteral("StartUPY")));
}

QTEST_GUILESS_MAIN(TestQuillboxEndToEnd)
#include "test_quillbox_e2e.moc"
