// A full disk when saving: the store's flush() and every program's writer
// report failure, the file keeps its last whole content, and the changes stay
// pending until there is room again.
//
// Needs root: the test runs itself again in a private mount namespace with a
// 64 KiB tmpfs over its configuration folder, so no real disk fills up.
#include "receiversettings.h"
#include "sendersettings.h"
#include "settingsstore.h"

#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kFolder = qEnvironmentVariable("XDG_CONFIG_HOME");

QByteArray Contents()
{
    QFile sender(kFolder + u"/Quillpost.ini"_s), receiver(kFolder + u"/Quillbox.ini"_s);
    return sender.open(QIODevice::ReadOnly) && receiver.open(QIODevice::ReadOnly)
               ? sender.readAll() + receiver.readAll()
               : QByteArray();
}

} // namespace

class TestFullDisk : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariableIsSet("QUILL_FULL_DISK"))
            QSKIP("needs root with permission to unshare the mount namespace");
    }

    void failedSaveIsReported_data()
    {
        QTest::addColumn<int>("free");
        QTest::newRow("no byte free") << 0;
        QTest::newRow("one page free: the lock file fits") << 4096;
    }

    void failedSaveIsReported()
    {
        QFETCH(int, free);
        QFile::remove(kFolder + u"/Quillpost.ini"_s);
        QFile::remove(kFolder + u"/Quillbox.ini"_s);
        SettingsStore sender = SettingsStore::atPath(kFolder + u"/Quillpost.ini"_s);
        SettingsStore receiver = SettingsStore::atPath(kFolder + u"/Quillbox.ini"_s);
        sender.save(u"Identification"_s, u"MyUsername"_s, u"before"_s);
        QVERIFY(sender.flush() && saveSoundOption(receiver, true));
        const QByteArray before = Contents();

        QFile filler(kFolder + u"/filler"_s);
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(512, 'f')) > 0) {
        }
        QVERIFY(filler.resize(filler.size() - free));
        SenderSettings settings;
        settings.myUserName = u"after"_s;
        settings.userList.clear();
        PortList ports;
        for (int n = 1; n <= 400; ++n) {
            settings.userList.append({u"colleague %1"_s.arg(n), u"192.168.1.%1"_s.arg(n), 2000 + n, 0});
            ports.append(1024 + n);
        }
        QVERIFY(!saveUserList(sender, settings.userList));
        QVERIFY(!saveProgramOptions(sender, settings));
        QVERIFY(!saveIdentification(sender, settings));
        QVERIFY(!savePortList(receiver, ports));
        QVERIFY(!saveSoundOption(receiver, false));
        QCOMPARE(Contents(), before);

        QVERIFY(filler.remove());
        QVERIFY(sender.flush() && receiver.flush());
        for (const char *kept :
             {"MyUsername=after", "400_name=colleague 400", "400_port=1424", "PlayIncomingSound=False"})
            QVERIFY2(Contents().contains(kept), kept);
    }
};

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QUILL_FULL_DISK") && !kFolder.isEmpty() && ::geteuid() == 0 &&
        std::system("unshare -m true") == 0) {
        qputenv("QUILL_FULL_DISK", "1");
        const char *mount = "mkdir -p \"$XDG_CONFIG_HOME\" && mount -t tmpfs -o size=64k quillfull "
                            "\"$XDG_CONFIG_HOME\" && exec \"$@\"";
        QList<const char *> command{"unshare", "-m", "--propagation", "private", "sh", "-c", mount, "sh"};
        command << QList<const char *>(argv, argv + argc) << nullptr;
        ::execvp("unshare", const_cast<char *const *>(command.data()));
        return 1;
    }
    QCoreApplication app(argc, argv);
    TestFullDisk test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_fulldisk.moc"
