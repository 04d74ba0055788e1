// The settings store: its four operations, the INI file it lives in, and
// that concurrent writers and a writer killed mid-write never damage it.
#include "settingsstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kWriterKeys = 150;

// Child process: writes count keys "<prefix>_<i>", flushing after each.
int RunWriter(const QString &file, const QString &prefix, int count)
{
    SettingsStore store = SettingsStore::atPath(file);
    for (int i = 0; i < count; ++i) {
        store.save(QStringLiteral("Users"), prefix + u'_' + QString::number(i), QString(200, u'v') + prefix);
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
        store.deleteSection(QStringLiteral("Users"));
        for (int i = 0; i < 50; ++i)
            store.save(QStringLiteral("Users"), QString::number(i), QString::number(round).repeated(100));
        store.flush();
    }
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void getSaveDelete();
    void getAllInStoreOrder();
    void keysKeptExactly_data();
    void keysKeptExactly();
    void valuesKeptExactly_data();
    void valuesKeptExactly();
    void handEditedListValueReadsAsText();
    void userScopeLocation();
    void unwritableStoreReported();
    void concurrentWritersLoseNothing();
    void killedWriterLeavesLoadableStore();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString file() const { return m_dir->filePath(QStringLiteral("store.ini")); }
};

void TestSettingsStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSettingsStore::getSaveDelete()
{
    {
        SettingsStore store = SettingsStore::atPath(file());
        QCOMPARE(store.get(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("dflt")),
                 QStringLiteral("dflt"));
        store.save(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
        store.save(QStringLiteral("S"), QStringLiteral("k2"), QStringLiteral("v2"));
        store.save(QStringLiteral("T"), QStringLiteral("k"), QStringLiteral("t"));
        QCOMPARE(store.get(QStringLiteral("S"), QStringLiteral("k"), QString()), QStringLiteral("v"));
        QVERIFY(store.flush());
    }
    SettingsStore store = SettingsStore::atPath(file());
    QCOMPARE(store.get(QStringLiteral("S"), QStringLiteral("k"), QString()), QStringLiteral("v"));
    store.deleteKey(QStringLiteral("S"), QStringLiteral("k"));
    QCOMPARE(store.get(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(store.getAll(QStringLiteral("S")).size(), 1);
    store.deleteSection(QStringLiteral("S"));
    QVERIFY(store.getAll(QStringLiteral("S")).isEmpty());
    QCOMPARE(store.get(QStringLiteral("T"), QStringLiteral("k"), QString()), QStringLiteral("t"));
    QVERIFY(store.getAll(QStringLiteral("Missing")).isEmpty());
}

void TestSettingsStore::getAllInStoreOrder()
{
    SettingsStore store = SettingsStore::atPath(file());
    const QStringList keys = {QStringLiteral("2_name"), QStringLiteral("10_name"), QStringLiteral("1_name")};
    for (const QString &key : keys)
        store.save(QStringLiteral("Users"), key, key.toUpper());
    const SettingsStore::Entries entries = store.getAll(QStringLiteral("Users"));
    QCOMPARE(entries.size(), 3);
    QStringList seen;
    for (const auto &[key, value] : entries) {
        QCOMPARE(value, key.toUpper());
        seen << key;
    }
    seen.sort();
    QStringList expected = keys;
    expected.sort();
    QCOMPARE(seen, expected);
}

void TestSettingsStore::keysKeptExactly_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("blank inside") << QStringLiteral("Option StartUPX");
    QTest::newRow("trailing blank prefix") << QStringLiteral("Modify or Add StartUPY");
    QTest::newRow("letter case") << QStringLiteral("MinimizedWhenSend");
    QTest::newRow("slash") << QStringLiteral("a/b");
    QTest::newRow("backslash") << QStringLiteral("a\\b");
    QTest::newRow("percent") << QStringLiteral("100%2F");
    QTest::newRow("equals and semicolon") << QStringLiteral("k=v;x");
}

void TestSettingsStore::keysKeptExactly()
{
    QFETCH(QString, key);
    {
        SettingsStore store = SettingsStore::atPath(file());
        store.save(QStringLiteral("Settings"), key, QStringLiteral("1"));
        store.save(QStringLiteral("Settings"), key.toLower() + QStringLiteral("x"), QStringLiteral("2"));
        QVERIFY(store.flush());
    }
    SettingsStore store = SettingsStore::atPath(file());
    QCOMPARE(store.get(QStringLiteral("Settings"), key, QString()), QStringLiteral("1"));
    const SettingsStore::Entries entries = store.getAll(QStringLiteral("Settings"));
    QCOMPARE(entries.size(), 2);
    QVERIFY(entries.contains(qMakePair(key, QStringLiteral("1"))));
}

void TestSettingsStore::valuesKeptExactly_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("comma") << QStringLiteral("Smith, John");
    QTest::newRow("at sign") << QStringLiteral("@Variant(x)");
    QTest::newRow("quotes") << QStringLiteral("say \"hi\"");
    QTest::newRow("blanks around") << QStringLiteral("  padded  ");
    QTest::newRow("semicolon") << QStringLiteral("a;b");
    QTest::newRow("non-ASCII") << QString::fromUtf8("Ren\xc3\xa9 \xe5\xb0\x8f");
    QTest::newRow("empty") << QString();
    QTest::newRow("line break") << QStringLiteral("a\nb");
}

void TestSettingsStore::valuesKeptExactly()
{
    QFETCH(QString, value);
    {
        SettingsStore store = SettingsStore::atPath(file());
        store.save(QStringLiteral("Identification"), QStringLiteral("MyUsername"), value);
        QVERIFY(store.flush());
    }
    SettingsStore store = SettingsStore::atPath(file());
    QCOMPARE(store.get(QStringLiteral("Identification"), QStringLiteral("MyUsername"), QStringLiteral("?")),
             value);
}

void TestSettingsStore::handEditedListValueReadsAsText()
{
    QFile ini(file());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Users]\n1_name=Smith, John\n");
    ini.close();
    SettingsStore store = SettingsStore::atPath(file());
    QCOMPARE(store.get(QStringLiteral("Users"), QStringLiteral("1_name"), QString()),
             QStringLiteral("Smith, John"));
}

void TestSettingsStore::userScopeLocation()
{
    // CTest points XDG_CONFIG_HOME at a folder of this test's own.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY(!config.isEmpty());
    SettingsStore store(QStringLiteral("Quillpost"));
    QCOMPARE(store.fileName(), config + QStringLiteral("/Quillpost/Quillpost.ini"));
}

void TestSettingsStore::unwritableStoreReported()
{
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("locked")));
    const QString folder = m_dir->filePath(QStringLiteral("locked"));
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (QFileInfo(folder).isWritable())
        QSKIP("running with privileges that ignore folder permissions");
    SettingsStore store = SettingsStore::atPath(folder + QStringLiteral("/store.ini"));
    store.save(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
    QVERIFY(!store.flush());
}

void TestSettingsStore::concurrentWritersLoseNothing()
{
    QProcess a;
    QProcess b;
    const QString self = QCoreApplication::applicationFilePath();
    a.start(self, {QStringLiteral("--writer"), file(), QStringLiteral("a"), QString::number(kWriterKeys)});
    b.start(self, {QStringLiteral("--writer"), file(), QStringLiteral("b"), QString::number(kWriterKeys)});
    QVERIFY(a.waitForFinished(60000));
    QVERIFY(b.waitForFinished(60000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);

    SettingsStore store = SettingsStore::atPath(file());
    const SettingsStore::Entries entries = store.getAll(QStringLiteral("Users"));
    QCOMPARE(entries.size(), 2 * kWriterKeys);
    for (const auto &[key, value] : entries)
        QCOMPARE(value, QString(200, u'v') + key.left(1));
}

void TestSettingsStore::killedWriterLeavesLoadableStore()
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        QProcess churner;
        churner.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--churner"), file()});
        QVERIFY(churner.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file()), 10000);
        QTest::qWait(20 + attempt * 37);
        churner.kill();
        QVERIFY(churner.waitForFinished(10000));

        // Whatever moment the kill hit, the file holds one complete round.
        SettingsStore store = SettingsStore::atPath(file());
        const SettingsStore::Entries entries = store.getAll(QStringLiteral("Users"));
        QCOMPARE(entries.size(), 50);
        const QString round = entries.first().second;
        QVERIFY(!round.isEmpty());
        for (const auto &[key, value] : entries)
            QCOMPARE(value, round);
    }
}

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
