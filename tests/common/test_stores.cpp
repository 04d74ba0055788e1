// The settings store and its INI file, the sentinel of the lists kept in it,
// and each program's settings as loaded from a file and written back. Built
// once for each program (QUILL_SENDER): their libraries never meet. Writers
// killed mid-write run as child processes.
#include "settingsstore.h"
#include "storelist.h"
#ifdef QUILL_SENDER
#include "sendersettings.h"
#else
#include "receiversettings.h"
#endif

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

#ifdef QUILL_SENDER
// "minimized popup DefaultPort MyPortnb MyUsername | name ip port, ...",
// after which the settings are written back.
QString LoadAndSave(SettingsStore &store)
{
    SenderSettings settings;
    loadSenderSettings(store, settings);
    QString loaded = QString::asprintf("%d %d %d %d ", settings.minimizeWhenSent, settings.popupWhenSent,
                                       settings.defaultPort, settings.myReplyPort) +
                     settings.myUserName + u" |"_s;
    for (int n = 1; n <= settings.userList.count(); ++n) {
        const UserRecord &user = settings.userList.at(n);
        loaded += (n > 1 ? u", "_s : u" "_s) + user.name + u' ' + user.ip + u' ' + QString::number(user.port);
        loaded += user.key.key.isEmpty() ? u""_s : u" key "_s + pinnedKeyText(user.key).remove(4, 60);
    }
    const bool saved = saveProgramOptions(store, settings) && saveIdentification(store, settings) &&
                       saveUserList(store, settings.userList);
    return saved ? loaded : u"not saved"_s;
}
#else
// "sound | ports [alert] | history kept, its bounds" (the alert when not the
// default), after which the settings are written back.
QString LoadAndSave(SettingsStore &store)
{
    ReceiverSettings settings;
    loadReceiverSettings(store, settings);
    QString loaded = settings.playIncomingSound ? u"1 |"_s : u"0 |"_s;
    for (int n = 1; n <= settings.portList.count(); ++n)
        loaded += u' ' + QString::number(settings.portList.at(n));
    if (settings.messageAlert != MessageAlert::Both)
        loaded += u' ' + messageAlertText(settings.messageAlert);
    const HistoryOptions &history = settings.history;
    loaded += u" | %1 %2 %3"_s.arg(int(history.keep)).arg(history.maxMessages).arg(history.maxMegabytes);
    const bool saved = savePortList(store, settings.portList) &&
                       saveSoundOption(store, settings.playIncomingSound) &&
                       saveMessageAlert(store, settings.messageAlert) && saveHistoryOptions(store, history);
    return saved ? loaded : u"not saved"_s;
}
#endif

} // namespace

class TestStores : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<SettingsStore>(SettingsStore::atPath(file()));
    }

    // The program's settings from a file; written back and loaded again, they
    // stay the same.
    void settings_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("loaded");
        auto row = [](const char *title, const QByteArray &ini, const QString &loaded) {
            QTest::newRow(title) << ini << loaded;
        };
#ifdef QUILL_SENDER
        const QString local = u" | localhost 127.0.0.1 505"_s;
        row("nothing stored", "", u"1 1 505 505 Me"_s + local);
        row("False and 0, numbers, a comma",
            "[Settings]\nMinimizedWhenSend=False\nPopupWhenSend=0\nDefaultPort=\" 600 \"\n"
            "[Identification]\nMyPortnb=700\nMyUsername=Smith, John\n",
            u"0 0 600 700 Smith, John"_s + local);
        row("damaged values: defaults",
            "[Settings]\nDefaultPort=abc\nPopupWhenSend=x\n[Identification]\nMyPortnb=9E99\n",
            u"1 1 505 505 Me"_s + local);
        row("users by number, not key order",
            "[Users]\n10_name=j\n2_name=b\n2_ip=1.1.1.1\n2_port=2\n1_name=a\n1_port=1\n",
            u"1 1 505 505 Me | a  1, b 1.1.1.1 2, j  505"_s);
        row("no port or a bad one: DefaultPort",
            "[Settings]\nDefaultPort=600\n[Users]\n1_name=a\n5_name=e\n5_port=x\n",
            u"1 1 600 505 Me | a  600, e  600"_s);
        row("nameless dropped, bad numbers skipped",
            "[Users]\n1_ip=1.1.1.1\n2_name=b\n3_note=x\njunk=x\n0_name=z\n99999_name=big\n",
            u"1 1 505 505 Me | b  505"_s);
        row("nothing usable", "[Users]\nx=1\n", u"1 1 505 505 Me"_s + local);
        row("pinned keys, a damaged one dropped",
            "[Users]\n1_name=a\n1_port=1\n1_key=" + QByteArray(64, 'e') +
                " verified\n2_name=b\n2_port=2\n2_key=" + QByteArray(64, 'e') +
                "x\n3_name=c\n3_key=" + QByteArray(64, '0') + "\n",
            u"1 1 505 505 Me | a  1 key eeee verified, b  2, c  505 key 0000"_s);
#else
        row("nothing stored", "", u"1 | 505 | 1 100000 256"_s);
        row("sound off, ports by number, not key order",
            "[Settings]\nPlayIncomingSound=false\n[Ports]\n10_port=5010\n2_port=5002\n1_port=5001\n",
            u"0 | 5001 5002 5010 | 1 100000 256"_s);
        row("outside 1..65535 or no number: dropped",
            "[Ports]\n1_port=0\n2_port=65536\n3_port=-5\n4_port=9E99\n5_port=abc\n6_port=65535\n",
            u"1 | 65535 | 1 100000 256"_s);
        row("damaged sound: on; other keys make no port",
            "[Settings]\nPlayIncomingSound=loud\n[Ports]\n2_name=x\n0_port=1\n40000_port=2\n1_port=5000\n",
            u"1 | 5000 | 1 100000 256"_s);
        row("duplicates kept", "[Ports]\n1_port=6003\n2_port=6003\n", u"1 | 6003 6003 | 1 100000 256"_s);
        row("nothing usable: 505", "[Ports]\n1_port=0\n", u"1 | 505 | 1 100000 256"_s);
        row("history off, bounds kept",
            "[Settings]\nKeepHistory=False\nHistoryMaxMessages=500\nHistoryMaxMB=2\n",
            u"1 | 505 | 0 500 2"_s);
        row("history bounds out of range or damaged: defaults",
            "[Settings]\nKeepHistory=maybe\nHistoryMaxMessages=99\nHistoryMaxMB=16385\n",
            u"1 | 505 | 1 100000 256"_s);
        row("alert by notification", "[Settings]\nMessageAlert= notification\n",
            u"1 | 505 Notification | 1 100000 256"_s);
        row("alert in a window", "[Settings]\nMessageAlert=Window\n", u"1 | 505 Window | 1 100000 256"_s);
        row("unknown alert: both", "[Settings]\nMessageAlert=Popup\n", u"1 | 505 | 1 100000 256"_s);
#endif
    }

    void settings()
    {
        QFETCH(QByteArray, ini);
        m_store.reset();
        QFile file(this->file());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
        file.close();
        for (int load = 1; load <= 2; ++load) {
            reopen();
            QTEST(LoadAndSave(store()), "loaded");
        }
    }

    // A file QSettings cannot parse is rewritten whole by the next write, and
    // that counts as written.
    void damagedFileRewritten()
    {
        QFile ini(file());
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("no setting\n[S\nold=1\n") > 0);
        ini.close();
        reopen();
        store().save(u"S"_s, u"k"_s, u"v"_s);
        QVERIFY(store().flush());
        QVERIFY(contents().contains("k=v") && !contents().contains("no setting"));
    }

    // Two writers at once lose nothing; a writer killed at some moment leaves
    // the file whole, and its lock does not block the next write.
    void concurrentAndKilledWriters()
    {
        QProcess a, b;
        a.start(QCoreApplication::applicationFilePath(), {u"--writer"_s, file(), u"a"_s, u"40"_s});
        b.start(QCoreApplication::applicationFilePath(), {u"--writer"_s, file(), u"b"_s, u"40"_s});
        QVERIFY(a.waitForFinished(60000) && b.waitForFinished(60000));
        QCOMPARE(a.exitCode() + b.exitCode(), 0);
        reopen();
        QCOMPARE(store().getAll(u"Users"_s).size(), 80);
        for (int attempt = 1; attempt <= 4; ++attempt) {
            QProcess writer;
            writer.start(QCoreApplication::applicationFilePath(), {u"--writer"_s, file(), u"c"_s, u"0"_s});
            const QByteArray reached = "c_" + QByteArray::number(attempt * 7) + '=';
            // A loaded machine may start the writer slowly.
            QTRY_VERIFY_WITH_TIMEOUT(contents().contains(reached), 90000);
            writer.kill();
            QVERIFY(writer.waitForFinished(10000));
            reopen();
            const SettingsStore::Entries entries = store().getAll(u"Users"_s);
            QVERIFY(entries.size() >= 80 + attempt * 7);
            for (const auto &[key, value] : entries)
                QCOMPARE(value, QString(200, u'v'));
        }
        store().save(u"S"_s, u"k"_s, u"v"_s);
        QVERIFY(store().flush());
    }

    // A section holding nothing but the sentinel gives no list and keeps it;
    // one with a list loses it; a writer clears the list first.
    void listSection()
    {
        const SettingsStore::Entries sentinel{{u"TestL"_s, u"True"_s}}, list{{u"1_port"_s, u"7"_s}};
        QVERIFY(!readListSection(store(), u"L"_s, u"TestL"_s));
        QCOMPARE(store().getAll(u"L"_s), sentinel);
        store().save(u"L"_s, u"1_port"_s, u"7"_s);
        QCOMPARE(readListSection(store(), u"L"_s, u"TestL"_s).value_or(sentinel), list);
        QCOMPARE(store().getAll(u"L"_s), list);
        clearListSection(store(), u"L"_s, u"TestL"_s);
        QVERIFY(store().getAll(u"L"_s).isEmpty());
    }

private:
    QString file() const
    {
        return m_dir->filePath(u"store.ini"_s);
    }
    SettingsStore &store()
    {
        return *m_store;
    }
    QByteArray contents() const
    {
        QFile ini(file());
        return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray();
    }

    void reopen()
    {
        if (m_store)
            QVERIFY(m_store->flush());
        m_store = std::make_unique<SettingsStore>(SettingsStore::atPath(file()));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], "--writer") == 0) {
        // Adds count keys "<prefix>_<n>" (0: until killed), one write each.
        SettingsStore store = SettingsStore::atPath(QString::fromLocal8Bit(argv[2]));
        for (int n = 0; n < atoi(argv[4]) || atoi(argv[4]) == 0; ++n) {
            store.save(u"Users"_s, QString::fromLocal8Bit(argv[3]) + u'_' + QString::number(n),
                       QString(200, u'v'));
            if (!store.flush())
                return 1;
        }
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestStores test;
#ifndef QUILL_SENDER
    // Quillbox's settings alone: the store itself is tested once, in Quillpost's build.
    if (argc == 1)
        return QTest::qExec(&test, {QString::fromLocal8Bit(argv[0]), u"settings"_s});
#endif
    return QTest::qExec(&test, argc, argv);
}

#include "test_stores.moc"
