// The settings store: its four operations, the INI file it lives in, and
// that concurrent writers and a writer killed mid-write never damage it.
#include "settingsstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWriterKeys = 150;

// Child process: writes count keys "<prefix>_<i>", flushing after each.
int RunWriter(const QString &file, const QString &prefix, int count)
{
    SettingsStore store = SettingsStore::atPath(file);
    for (int i = 0; i < count; ++i) {
        store.save(u"Users"_s, prefix + u'_' + QString::number(i), QString(200, u'v') + prefix);
        if (!store.flush())
            return 2;
    }
    return 0;
}

// Child process: rewrites the whole section forever with values that carry
// their own check (the round number repeated), until it is killed.
int RunChurner(const QString &file)
{
    SettingsStore store = SettingsStore::atPath(file);
    for (int round = 0;; ++round) {
        store.deleteSection(u"Users"_s);
        for (int i = 0; i < 50; ++i)
            store.save(u"Users"_s, QString::number(i), QString::number(round).repeated(100));
        store.flush();
    }
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void getSaveDelete()
    {
        {
            SettingsStore store = SettingsStore::atPath(file());
            QCOMPARE(store.get(u"S"_s, u"k"_s, u"dflt"_s), u"dflt"_s);
            store.save(u"S"_s, u"k"_s, u"v"_s);
            store.save(u"S"_s, u"k2"_s, u"v2"_s);
            store.save(u"T"_s, u"k"_s, u"t"_s);
            QCOMPARE(store.get(u"S"_s, u"k"_s, QString()), u"v"_s);
            QVERIFY(store.flush());
        }
        SettingsStore store = SettingsStore::atPath(file());
        QCOMPARE(store.get(u"S"_s, u"k"_s, QString()), u"v"_s);
        store.deleteKey(u"S"_s, u"k"_s);
        QCOMPARE(store.get(u"S"_s, u"k"_s, u"gone"_s), u"gone"_s);
        QCOMPARE(store.getAll(u"S"_s).size(), 1);
        store.deleteSection(u"S"_s);
        QVERIFY(store.getAll(u"S"_s).isEmpty());
        QCOMPARE(store.get(u"T"_s, u"k"_s, QString()), u"t"_s);
        QVERIFY(store.getAll(u"Missing"_s).isEmpty());
    }

    void keysAndValuesKeptExactly_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QString key = u"MyUsername"_s;
        const QString value = u"1"_s;
        QTest::newRow("key: blank inside") << u"Option StartUPX"_s << value;
        QTest::newRow("key: trailing blank prefix") << u"Modify or Add StartUPY"_s << value;
        QTest::newRow("key: letter case") << u"MinimizedWhenSend"_s << value;
        QTest::newRow("key: slash") << u"a/b"_s << value;
        QTest::newRow("key: backslash") << u"a\\b"_s << value;
        QTest::newRow("key: percent") << u"100%2F"_s << value;
        QTest::newRow("key: equals and semicolon") << u"k=v;x"_s << value;
        QTest::newRow("value: comma") << key << u"Smith, John"_s;
        QTest::newRow("value: at sign") << key << u"@Variant(x)"_s;
        QTest::newRow("value: quotes") << key << u"say \"hi\""_s;
        QTest::newRow("value: blanks around") << key << u"  padded  "_s;
        QTest::newRow("value: semicolon") << key << u"a;b"_s;
        QTest::newRow("value: non-ASCII") << key << QString::fromUtf8("Ren\xc3\xa9 \xe5\xb0\x8f");
        QTest::newRow("value: empty") << key << QString();
        QTest::newRow("value: line break") << key << u"a\nb"_s;
    }

    void keysAndValuesKeptExactly()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        {
            SettingsStore store = SettingsStore::atPath(file());
            store.save(u"Settings"_s, key, value);
            // A key differing only in letter case is another key.
            store.save(u"Settings"_s, key.toLower() + u"x"_s, u"2"_s);
            QVERIFY(store.flush());
        }
        SettingsStore store = SettingsStore::atPath(file());
        QCOMPARE(store.get(u"Settings"_s, key, u"?"_s), value);
        const SettingsStore::Entries entries = store.getAll(u"Settings"_s);
        QCOMPARE(entries.size(), 2);
        QVERIFY(entries.contains(qMakePair(key, value)));
    }

    void handEditedListValueReadsAsText()
    {
        QFile ini(file());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Users]\n1_name=Smith, John\n");
        ini.close();
        SettingsStore store = SettingsStore::atPath(file());
        QCOMPARE(store.get(u"Users"_s, u"1_name"_s, QString()), u"Smith, John"_s);
    }

    void userScopeLocation()
    {
        // CTest points XDG_CONFIG_HOME at a folder of this test's own.
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!config.isEmpty());
        SettingsStore store(u"Quillpost"_s);
        QCOMPARE(store.fileName(), config + u"/Quillpost/Quillpost.ini"_s);
    }

    void unwritableStoreReported()
    {
        QVERIFY(QDir(m_dir->path()).mkdir(u"locked"_s));
        const QString folder = m_dir->filePath(u"locked"_s);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (QFileInfo(folder).isWritable())
            QSKIP("running with privileges that ignore folder permissions");
        SettingsStore store = SettingsStore::atPath(folder + u"/store.ini"_s);
        store.save(u"S"_s, u"k"_s, u"v"_s);
        QVERIFY(!store.flush());
    }

    void damagedFileRewritten_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("writable");
        const QByteArray openHeader("[S\nold=1\n");
        QTest::newRow("line without a value")
            << QByteArray("a line that is no setting\n[S]\nold=1\n") << true;
        QTest::newRow("section header not closed") << openHeader << true;
        QTest::newRow("damaged and read-only") << openHeader << false;
    }

    void damagedFileRewritten()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, writable);
        QFile ini(file());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(contents);
        ini.close();
        if (!writable) {
            ini.setPermissions(QFileDevice::ReadOwner);
            if (QFileInfo(ini).isWritable())
                QSKIP("running with privileges that ignore file permissions");
        }
        SettingsStore store = SettingsStore::atPath(file());
        store.save(u"S"_s, u"k"_s, u"v"_s);
        // Only a failed write counts: the parse error of the old file does not.
        QCOMPARE(store.flush(), writable);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll().contains("k=v"), writable);
        ini.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void concurrentWritersLoseNothing()
    {
        QProcess a;
        QProcess b;
        const QString self = QCoreApplication::applicationFilePath();
        a.start(self, {u"--writer"_s, file(), u"a"_s, QString::number(kWriterKeys)});
        b.start(self, {u"--writer"_s, file(), u"b"_s, QString::number(kWriterKeys)});
        QVERIFY(a.waitForFinished(60000));
        QVERIFY(b.waitForFinished(60000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);

        SettingsStore store = SettingsStore::atPath(file());
        const SettingsStore::Entries entries = store.getAll(u"Users"_s);
        QCOMPARE(entries.size(), 2 * kWriterKeys);
        for (const auto &[key, value] : entries)
            QCOMPARE(value, QString(200, u'v') + key.left(1));
    }

    void killedWriterLeavesLoadableStore()
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            QProcess churner;
            churner.start(QCoreApplication::applicationFilePath(), {u"--churner"_s, file()});
            QVERIFY(churner.waitForStarted(10000));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file()), 10000);
            QTest::qWait(20 + attempt * 37);
            churner.kill();
            QVERIFY(churner.waitForFinished(10000));

            // Whatever moment the kill hit, the file holds one complete round.
            SettingsStore store = SettingsStore::atPath(file());
            const SettingsStore::Entries entries = store.getAll(u"Users"_s);
            QCOMPARE(entries.size(), 50);
            const QString round = entries.first().second;
            QVERIFY(!round.isEmpty());
            for (const auto &[key, value] : entries)
                QCOMPARE(value, round);
        }
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString file() const { return m_dir->filePath(u"store.ini"_s); }
};

int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], "--writer") == 0)
        return RunWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), atoi(argv[4]));
    if (argc == 3 && qstrcmp(argv[1], "--churner") == 0)
        return RunChurner(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TestSettingsStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_settingsstore.moc"
