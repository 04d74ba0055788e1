// The real quillbox program on a private X display: its first start fills
// the store, a sender's payload opens a message window, and a second copy
// ends at once.
#include "receivertesthelpers.h"
#include "settingsstore.h"
#include "xdisplay.h"

#include <QMap>
#include <QStandardPaths>
#include <QTcpServer>

using namespace Qt::StringLiterals;

namespace {

using Section = QMap<QString, QString>;

Section ReadSection(const QString &ini, const QString &section)
{
    Section values;
    for (const auto &[key, value] : SettingsStore::atPath(ini).getAll(section))
        values.insert(key, value);
    return values;
}

// quillbox started on the display with the folders given.
class Quillbox
{
public:
    Quillbox(const XDisplay &display, const ProgramFolders &folders)
    {
        m_process.setProcessEnvironment(folders.environment(display.name()));
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(BuiltProgram(u"quillbox"_s), {});
    }
    ~Quillbox() { StopProcess(m_process); }
    Quillbox(const Quillbox &) = delete;
    Quillbox &operator=(const Quillbox &) = delete;

    QProcess &process() { return m_process; }

private:
    QProcess m_process;
};

QString Ini(const ProgramFolders &folders)
{
    return folders.config() + u"/Quillbox/Quillbox.ini"_s;
}

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
    void initTestCase()
    {
        if (!QFile::exists(BuiltProgram(u"quillbox"_s)))
            QSKIP("quillbox has not been built");
        if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"xwininfo"_s).isEmpty())
            QSKIP("Xvfb and xwininfo are needed");
    }

    void firstStartFillsStore()
    {
        XDisplay display;
        QVERIFY(!display.name().isEmpty());
        ProgramFolders folders;
        Quillbox quillbox(display, folders);
        QVERIFY(quillbox.process().waitForStarted(kXWaitMs));

        // The store is written before the listeners open, so its content does
        // not depend on whether the default port can be listened on here.
        const Section expectedPorts{{u"TestPorts"_s, u"True"_s}, {u"1_port"_s, u"505"_s}};
        QTRY_COMPARE_WITH_TIMEOUT(ReadSection(Ini(folders), u"Ports"_s), expectedPorts, kXWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(ReadSection(Ini(folders), u"Settings"_s).size(), 3, kXWaitMs);
        const Section settings = ReadSection(Ini(folders), u"Settings"_s);
        QCOMPARE(settings.value(u"PlayIncomingSound"_s), u"True"_s);
        bool xOk = false;
        bool yOk = false;
        QVERIFY(settings.value(u"StartUPX"_s).toInt(&xOk) >= 0 && xOk);
        QVERIFY(settings.value(u"StartUPY"_s).toInt(&yOk) >= 0 && yOk);
        QVERIFY(QSettings(Ini(folders), QSettings::IniFormat).childGroups().size() == 2);
    }

    void messageOpensWindow()
    {
        XDisplay display;
        QVERIFY(!display.name().isEmpty());
        ProgramFolders folders;
        const quint16 port = FreePort();
        QVERIFY(port != 0);
        QVERIFY(QDir(folders.config()).mkpath(u"Quillbox"_s));
        {
            SettingsStore prepared = SettingsStore::atPath(Ini(folders));
            prepared.save(u"Ports"_s, u"1_port"_s, QString::number(port));
            QVERIFY(prepared.flush());
        }
        Quillbox quillbox(display, folders);
        QVERIFY(quillbox.process().waitForStarted(kXWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(display.windowTree().contains(u"\"Message Receiver\""_s), kXWaitMs);
        QVERIFY(!display.windowTree().contains(u"\"Message \""_s));

        // Sent as the sending program does: connect, one write, close.
        QTRY_VERIFY_WITH_TIMEOUT(SendPayload(port, Bars("e2e sender|505|hello from the test")), kXWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(display.windowTree().contains(u"\"Message \""_s), kXWaitMs);

        // A second copy ends at once, silently, and leaves the first alone.
        Quillbox second(display, folders);
        QVERIFY(second.process().waitForFinished(kXWaitMs));
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process().exitCode(), 0);
        QCOMPARE(quillbox.process().state(), QProcess::Running);
        QCOMPARE(display.windowTree().count(u"\"Message Receiver\""_s), 1);

        // A restart's store: the list written back alone, without its sentinel.
        const Section ports = ReadSection(Ini(folders), u"Ports"_s);
        QCOMPARE(ports, Section({{u"1_port"_s, QString::number(port)}}));
        const Section settings = ReadSection(Ini(folders), u"Settings"_s);
        QCOMPARE(settings.value(u"PlayIncomingSound"_s), u"True"_s);
        QVERIFY(settings.contains(u"StartUPX"_s));
        QVERIFY(settings.contains(u"StartUPY"_s));
    }
};

QTEST_GUILESS_MAIN(TestQuillboxEndToEnd)
#include "test_quillbox_e2e.moc"
