// Quillpost's store: first start, the sentinel logic of the user list, the
// option conversions and damaged data.
#include "sendersettings.h"
#include "settingsstore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Pairs = QList<QPair<QString, QString>>;

QString S(const char *text)
{
    return QString::fromLatin1(text);
}

UserRecord User(const char *name, const char *ip, qint32 port, qint32 order)
{
    return {S(name), S(ip), port, order};
}

// The load sequence of the main window, as far as the store is concerned.
void StartUp(SettingsStore &store, SenderSettings &settings)
{
    settings.userList = defaultUserList();
    loadSenderSettings(store, settings);
    QVERIFY(saveProgramOptions(store, settings));
    QVERIFY(saveUserList(store, settings.userList));
}

} // namespace

class TestSenderSettings : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        reopen();
    }

    void firstStartThenSecondDropsSentinel()
    {
        SenderSettings settings;
        StartUp(store(), settings);
        reopen();
        QCOMPARE(section("Settings"), (Pairs{{S("DefaultIp"), S("127.0.0.1")},
                                             {S("DefaultPort"), S("505")},
                                             {S("MinimizedWhenSend"), S("True")},
                                             {S("PopupWhenSend"), S("True")}}));
        QCOMPARE(section("Users"), (Pairs{{S("1_ip"), S("127.0.0.1")},
                                          {S("1_name"), S("localhost")},
                                          {S("1_port"), S("505")},
                                          {S("TestUsers"), S("True")}}));
        QVERIFY(section("Identification").isEmpty());
        QCOMPARE(settings.userList, defaultUserList());
        QCOMPARE(settings.myUserName, S("Me"));
        QCOMPARE(settings.myReplyPort, 505);

        SenderSettings second;
        StartUp(store(), second);
        QCOMPARE(second.userList, defaultUserList());
        QCOMPARE(
            section("Users"),
            (Pairs{{S("1_ip"), S("127.0.0.1")}, {S("1_name"), S("localhost")}, {S("1_port"), S("505")}}));
    }

    void twelveUsersWhateverTheOrder()
    {
        Pairs pairs;
        for (int n = 12; n >= 1; --n) {
            pairs.append({QString::number(n) + S("_port"), QString::number(1000 + n)});
            pairs.append({QString::number(n) + S("_name"), S("user") + QString::number(n)});
            pairs.append({QString::number(n) + S("_ip"), S("10.0.0.") + QString::number(n)});
        }
        writeUsers(pairs);
        SenderSettings settings;
        loadSenderSettings(store(), settings);
        QCOMPARE(settings.userList.count(), 12);
        for (int n = 1; n <= 12; ++n) {
            const UserRecord &user = settings.userList.at(n);
            QCOMPARE(user.name, S("user") + QString::number(n));
            QCOMPARE(user.ip, S("10.0.0.") + QString::number(n));
            QCOMPARE(user.port, 1000 + n);
            QCOMPARE(user.order, n);
        }
        QVERIFY(!store().getAll(S("Users")).contains(qMakePair(S("TestUsers"), S("True"))));
    }

    void sentinelOnlyLoadsDefault()
    {
        writeUsers({{S("TestUsers"), S("True")}});
        SenderSettings settings;
        settings.userList.clear();
        loadSenderSettings(store(), settings);
        QCOMPARE(settings.userList, defaultUserList());
        QVERIFY(saveUserList(store(), settings.userList));
        // The sentinel stays beside the default user until the next load.
        QCOMPARE(section("Users"), (Pairs{{S("1_ip"), S("127.0.0.1")},
                                          {S("1_name"), S("localhost")},
                                          {S("1_port"), S("505")},
                                          {S("TestUsers"), S("True")}}));
    }

    void unknownFieldAndEntryZero()
    {
        writeUsers({{S("1_name"), S("a")},
                    {S("1_ip"), S("1.1.1.1")},
                    {S("1_port"), S("1")},
                    {S("2_name"), S("b")},
                    {S("2_ip"), S("2.2.2.2")},
                    {S("2_port"), S("2")},
                    {S("3_note"), S("x")},
                    {S("0_name"), S("ghost")}});
        SenderSettings settings;
        loadSenderSettings(store(), settings);
        // 8 keys / 3 rounds to 3 slots, but the third holds no name and is dropped.
        QCOMPARE(settings.userList.count(), 2);
        QCOMPARE(settings.userList.at(1).name, S("a"));
        QCOMPARE(settings.userList.at(2).name, S("b"));
        QCOMPARE(settings.userList.at(0).name, QString());
        QVERIFY(saveUserList(store(), settings.userList));
        QCOMPARE(section("Users").size(), 6);
    }

    void options_data()
    {
        QTest::addColumn<Pairs>("stored");
        QTest::addColumn<bool>("minimized");
        QTest::addColumn<bool>("popup");
        QTest::addColumn<int>("defaultPort");
        QTest::addColumn<int>("myPort");
        QTest::newRow("absent") << Pairs{} << true << true << 505 << 505;
        QTest::newRow("false lower case and 0")
            << Pairs{{S("MinimizedWhenSend"), S("false")}, {S("PopupWhenSend"), S("0")}} << false << false
            << 505 << 505;
        QTest::newRow("True and -1") << Pairs{{S("MinimizedWhenSend"), S("True")},
                                              {S("PopupWhenSend"), S("-1")}}
                                     << true << true << 505 << 505;
        QTest::newRow("numbers") << Pairs{{S("DefaultPort"), S(" 600 ")}, {S("MyPortnb"), S("700")}} << true
                                 << true << 600 << 700;
        QTest::newRow("damaged numbers take the defaults") << Pairs{{S("DefaultPort"), S("abc")},
                                                                    {S("MyPortnb"), S("9E99")},
                                                                    {S("PopupWhenSend"), S("maybe")}}
                                                           << true << true << 505 << 505;
    }

    void options()
    {
        QFETCH(Pairs, stored);
        QFETCH(bool, minimized);
        QFETCH(bool, popup);
        QFETCH(int, defaultPort);
        QFETCH(int, myPort);
        for (const auto &[key, value] : stored)
            store().save(key == S("MyPortnb") ? S("Identification") : S("Settings"), key, value);
        reopen();
        SenderSettings settings;
        loadSenderSettings(store(), settings);
        QCOMPARE(settings.minimizeWhenSent, minimized);
        QCOMPARE(settings.popupWhenSent, popup);
        QCOMPARE(settings.defaultPort, defaultPort);
        QCOMPARE(settings.myReplyPort, myPort);
    }

    void damagedUsers_data()
    {
        QTest::addColumn<Pairs>("stored");
        QTest::addColumn<QList<UserRecord>>("expected");
        QTest::newRow("key without underscore skipped") << Pairs{{S("1_name"), S("a")},
                                                                 {S("1_ip"), S("1.1.1.1")},
                                                                 {S("1_port"), S("1")},
                                                                 {S("junk"), S("x")}}
                                                        << QList<UserRecord>{User("a", "1.1.1.1", 1, 1)};
        QTest::newRow("number above the count keeps the user")
            << Pairs{{S("1_name"), S("a")},
                     {S("1_ip"), S("1.1.1.1")},
                     {S("1_port"), S("1")},
                     {S("5_name"), S("e")}}
            << QList<UserRecord>{User("a", "1.1.1.1", 1, 1), User("e", "", 505, 2)};
        QTest::newRow("negative and huge numbers skipped") << Pairs{{S("-1_name"), S("neg")},
                                                                    {S("99999_name"), S("big")},
                                                                    {S("1_name"), S("a")},
                                                                    {S("1_port"), S("7")}}
                                                           << QList<UserRecord>{User("a", "", 7, 1)};
        QTest::newRow("port not a number takes the default port")
            << Pairs{{S("1_name"), S("a")}, {S("1_ip"), S("1.1.1.1")}, {S("1_port"), S("x")}}
            << QList<UserRecord>{User("a", "1.1.1.1", 505, 1)};
        QTest::newRow("nameless record dropped, the rest renumbered")
            << Pairs{{S("1_ip"), S("1.1.1.1")},
                     {S("1_port"), S("1")},
                     {S("2_name"), S("b")},
                     {S("2_ip"), S("2.2.2.2")},
                     {S("2_port"), S("2")}}
            << QList<UserRecord>{User("b", "2.2.2.2", 2, 1)};
        QTest::newRow("nothing usable falls back to localhost")
            << Pairs{{S("x"), S("1")}, {S("y"), S("2")}}
            << QList<UserRecord>{User("localhost", "127.0.0.1", 505, 1)};
    }

    void damagedUsers()
    {
        QFETCH(Pairs, stored);
        QFETCH(QList<UserRecord>, expected);
        writeUsers(stored);
        SenderSettings settings;
        loadSenderSettings(store(), settings);
        UserList want;
        for (const UserRecord &user : expected)
            want.append(user);
        QCOMPARE(settings.userList.count(), want.count());
        for (int n = 1; n <= want.count(); ++n) {
            QCOMPARE(settings.userList.at(n).name, want.at(n).name);
            QCOMPARE(settings.userList.at(n).ip, want.at(n).ip);
            QCOMPARE(settings.userList.at(n).port, want.at(n).port);
            QCOMPARE(settings.userList.at(n).order, n);
        }
    }

    void emptyListSaveRemovesSection()
    {
        writeUsers({{S("1_name"), S("a")}, {S("1_ip"), S("1.1.1.1")}, {S("1_port"), S("1")}});
        QVERIFY(saveUserList(store(), UserList()));
        QVERIFY(store().getAll(S("Users")).isEmpty());
        SenderSettings settings;
        loadSenderSettings(store(), settings);
        QCOMPARE(settings.userList, defaultUserList());
    }

    void refillHookRunsLast()
    {
        writeUsers({{S("1_name"), S("a")}, {S("1_ip"), S("1.1.1.1")}, {S("1_port"), S("1")}});
        SenderSettings settings;
        QString seen;
        settings.refillRecipientBox = [&] { seen = settings.userList.at(1).name; };
        loadSenderSettings(store(), settings);
        QCOMPARE(seen, S("a"));
    }

    void writersKeepKeyOrderOfFields()
    {
        SenderSettings settings;
        settings.defaultPort = -3;
        settings.defaultIp = S("10.1.2.3");
        settings.myUserName = S("Smith, John");
        settings.myReplyPort = 0;
        settings.popupWhenSent = false;
        QVERIFY(saveProgramOptions(store(), settings));
        QVERIFY(saveIdentification(store(), settings));
        reopen();
        QCOMPARE(store().get(S("Settings"), S("DefaultPort"), QString()), S("-3"));
        QCOMPARE(store().get(S("Settings"), S("PopupWhenSend"), QString()), S("False"));
        QCOMPARE(store().get(S("Identification"), S("MyUsername"), QString()), S("Smith, John"));
        QCOMPARE(store().get(S("Identification"), S("MyPortnb"), QString()), S("0"));
        SenderSettings loaded;
        loadSenderSettings(store(), loaded);
        QCOMPARE(loaded.defaultIp, S("10.1.2.3"));
        QCOMPARE(loaded.myUserName, S("Smith, John"));
    }

private:
    SettingsStore &store() { return *m_store; }

    void reopen()
    {
        if (m_store)
            QVERIFY(m_store->flush());
        m_store = std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(S("Quillpost.ini"))));
    }

    void writeUsers(const Pairs &pairs)
    {
        for (const auto &[key, value] : pairs)
            store().save(S("Users"), key, value);
        reopen();
    }

    Pairs section(const char *name)
    {
        Pairs pairs = store().getAll(S(name));
        std::sort(pairs.begin(), pairs.end());
        return pairs;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

QTEST_GUILESS_MAIN(TestSenderSettings)
#include "test_sendersettings.moc"
