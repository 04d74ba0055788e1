// The reply record: how Quillbox lays it out, how Quillpost reads it back
// from its 255-byte buffer, and which target the intake makes of it.
#include "replyintake.h"
#include "replyrecord.h"
#include "storelist.h"

#include <QTest>

namespace {

// A record written as its fields joined by "|", each bar one NUL byte.
QByteArray Bars(const char *text)
{
    QByteArray bytes(text);
    bytes.replace('|', '\0');
    return bytes;
}

UserList Users(std::initializer_list<UserRecord> records)
{
    UserList users;
    for (const UserRecord &record : records)
        users.append(record);
    return users;
}

const UserRecord kBob{QStringLiteral("bob"), QStringLiteral("10.0.0.5"), 505, 0};

} // namespace

class TestReplyRecord : public QObject
{
    Q_OBJECT
private slots:
    void buildLayout();
    void buildTooLong();
    void readSafely_data();
    void readSafely();
    void intake_data();
    void intake();
    void anonymousNumbering();
    void selectUpdatesOrAppends();
    void fullList();
};

void TestReplyRecord::buildLayout()
{
    const std::optional<QByteArray> record = BuildReplyRecord(QStringLiteral("bob"), QStringLiteral("10.0.0.5"), 505);
    QVERIFY(record);
    QCOMPARE(*record, Bars("bob|10.0.0.5|505||"));
    QCOMPARE(record->size(), 18); // cbData counts the terminator
    QCOMPARE(*BuildReplyRecord(QString(), QStringLiteral("1.2.3.4"), -1), Bars("|1.2.3.4|-1||"));
    QCOMPARE(*BuildReplyRecord(QString::fromUtf8("Ren\xc3\xa9"), QStringLiteral("1.2.3.4"), 1),
             Bars("Ren\xe9|1.2.3.4|1||"));
}

void TestReplyRecord::buildTooLong()
{
    // 128 characters of name fit; a record over 255 bytes is refused.
    QVERIFY(BuildReplyRecord(QString(128, u'n'), QStringLiteral("255.255.255.255"), 65535));
    QVERIFY(!BuildReplyRecord(QString(240, u'n'), QStringLiteral("255.255.255.255"), 65535));
    const std::optional<QByteArray> full = BuildReplyRecord(QString(241, u'n'), QStringLiteral("1.2.3.4"), 505);
    QVERIFY(full);
    QCOMPARE(full->size(), 255);
    QVERIFY(!BuildReplyRecord(QString(242, u'n'), QStringLiteral("1.2.3.4"), 505));
}

void TestReplyRecord::readSafely_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("port");
    QTest::newRow("ordinary") << Bars("bob|10.0.0.5|505||") << true << QStringLiteral("bob") << 505;
    QTest::newRow("missing separator: filling supplies it, port 0")
        << Bars("bob|10.0.0.5|") << true << QStringLiteral("bob") << 0;
    QTest::newRow("no zero byte at all") << QByteArray(255, 'x') << false << QString() << 0;
    QTest::newRow("longer than 255 bytes: only the first 255 are read")
        << QByteArray(Bars("bob|10.0.0.5|600||") + QByteArray(1000, 'x')) << true << QStringLiteral("bob") << 600;
    QTest::newRow("800 bytes without zero") << QByteArray(800, 'y') << false << QString() << 0;
    QTest::newRow("empty") << QByteArray() << false << QString() << 0;
    QTest::newRow("Windows-1252 name") << Bars("Ren\xe9|10.0.0.5|1||") << true << QString::fromUtf8("Ren\xc3\xa9") << 1;
}

void TestReplyRecord::readSafely()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, accepted);
    QFETCH(QString, name);
    QFETCH(int, port);
    const std::optional<ReplyTarget> target = HandleReplyRecord(ReadCopyData(data), UserList());
    QCOMPARE(target.has_value(), accepted);
    if (accepted) {
        QCOMPARE(target->name, name);
        QCOMPARE(target->port, port);
        QCOMPARE(target->ip, QStringLiteral("10.0.0.5"));
    }
}

void TestReplyRecord::intake_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("index");
    QTest::newRow("known user found") << Bars("bob|10.0.0.5|600||") << true << QStringLiteral("bob")
                                      << QStringLiteral("10.0.0.5") << 1;
    QTest::newRow("case-sensitive name is a new user")
        << Bars("Bob|10.0.0.5|505||") << true << QStringLiteral("Bob") << QStringLiteral("10.0.0.5") << -1;
    QTest::newRow("blanks trimmed before the search")
        << Bars("  bob  |10.0.0.5|505||") << true << QStringLiteral("bob") << QStringLiteral("10.0.0.5") << 1;
    QTest::newRow("address normalised before the search")
        << Bars("bob|010.000.000.005|505||") << true << QStringLiteral("bob") << QStringLiteral("10.0.0.5") << 1;
    QTest::newRow("129-character name ignored")
        << QByteArray(QByteArray(129, 'n') + Bars("|10.0.0.5|505||")) << false << QString() << QString() << -1;
    QTest::newRow("blank name ignored") << Bars("   |10.0.0.5|505||") << false << QString() << QString() << -1;
    QTest::newRow("three-part address ignored") << Bars("bob|10.0.0|505||") << false << QString() << QString() << -1;
    QTest::newRow("part above 255 ignored") << Bars("bob|10.0.0.256|505||") << false << QString() << QString() << -1;
    QTest::newRow("port above 65535 ignored") << Bars("bob|10.0.0.5|65536||") << false << QString() << QString() << -1;
    QTest::newRow("port out of 32 bits ignored")
        << Bars("bob|10.0.0.5|99999999999999999999||") << false << QString() << QString() << -1;
    QTest::newRow("name only ignored") << Bars("bob") << false << QString() << QString() << -1;
}

void TestReplyRecord::intake()
{
    QFETCH(QByteArray, record);
    QFETCH(bool, accepted);
    QFETCH(QString, name);
    QFETCH(QString, ip);
    QFETCH(int, index);
    const std::optional<ReplyTarget> target = HandleReplyRecord(ReadCopyData(record), Users({kBob}));
    QCOMPARE(target.has_value(), accepted);
    if (accepted) {
        QCOMPARE(target->name, name);
        QCOMPARE(target->ip, ip);
        QCOMPARE(target->index, index);
    }
}

void TestReplyRecord::anonymousNumbering()
{
    UserList users = Users({kBob});
    const QString text = ReadCopyData(Bars("|10.0.0.5|505||"));
    std::optional<ReplyTarget> first = HandleReplyRecord(text, users);
    QVERIFY(first);
    QCOMPARE(first->name, QStringLiteral("Anonymous1"));
    QCOMPARE(SelectReplyUser(users, *first), 2);

    std::optional<ReplyTarget> second = HandleReplyRecord(text, users);
    QVERIFY(second);
    QCOMPARE(second->name, QStringLiteral("Anonymous2"));
    QCOMPARE(SelectReplyUser(users, *second), 3);

    // Another address starts again at 1.
    std::optional<ReplyTarget> other = HandleReplyRecord(ReadCopyData(Bars("|10.0.0.6|505||")), users);
    QVERIFY(other);
    QCOMPARE(other->name, QStringLiteral("Anonymous1"));
}

void TestReplyRecord::selectUpdatesOrAppends()
{
    UserList users = Users({kBob});
    std::optional<ReplyTarget> update = HandleReplyRecord(ReadCopyData(Bars("bob|10.0.0.5|600||")), users);
    QVERIFY(update);
    QCOMPARE(SelectReplyUser(users, *update), 1);
    QCOMPARE(users.count(), 1);
    QCOMPARE(users.at(1).port, 600);

    std::optional<ReplyTarget> add = HandleReplyRecord(ReadCopyData(Bars("carol|10.0.0.7|507||")), users);
    QVERIFY(add);
    QCOMPARE(SelectReplyUser(users, *add), 2);
    QCOMPARE(users.at(2).name, QStringLiteral("carol"));
    QCOMPARE(users.at(2).ip, QStringLiteral("10.0.0.7"));
    QCOMPARE(users.at(2).port, 507);
    QCOMPARE(users.at(2).order, 2);
}

void TestReplyRecord::fullList()
{
    UserList users;
    users.resize(kMaxListEntries);
    users[1] = kBob;
    // A known user is still found and updated in a full list...
    std::optional<ReplyTarget> known = HandleReplyRecord(ReadCopyData(Bars("bob|10.0.0.5|700||")), users);
    QVERIFY(known);
    QCOMPARE(SelectReplyUser(users, *known), 1);
    QCOMPARE(users.at(1).port, 700);
    // ...but a new one is ignored, and one that became new later changes nothing.
    QVERIFY(!HandleReplyRecord(ReadCopyData(Bars("dave|10.0.0.9|1||")), users));
    ReplyTarget late{QStringLiteral("dave"), QStringLiteral("10.0.0.9"), 1, -1};
    QCOMPARE(SelectReplyUser(users, late), -1);
    QCOMPARE(users.count(), kMaxListEntries);
}

QTEST_GUILESS_MAIN(TestReplyRecord)
#include "test_replyrecord.moc"
