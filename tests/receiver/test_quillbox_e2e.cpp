// The real quillbox on an X display of its own: its first start writes the
// store, and a second copy ends at once, leaving the first running alone.
#include "receivertesthelpers.h"
#include "xdisplay.h"

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
        // Its place, the sound and alert options, and the default port, whether
        // or not that can be listened on here.
        QTRY_COMPARE_WITH_TIMEOUT(SettingsStore::atPath(ini).getAll(u"Settings"_s).size(), 4, kXWaitMs);
        const SettingsStore store = SettingsStore::atPath(ini);
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
};

QTEST_GUILESS_MAIN(TestQuillboxEndToEnd)
#include "test_quillbox_e2e.moc"
