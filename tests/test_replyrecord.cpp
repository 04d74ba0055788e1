// The reply record: how Quillbox lays it out, how Quillpost reads it back
// from its 255-byte buffer, and which target the intake makes of it.
#include "bars.h"
#include "replyintake.h"
#include "replyrecord.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

UserList Users(std::initializer_list<UserRecord> records)
{
    UserList users;
    for (const UserRecord &record : records)
        users.append(record);
    return users;
}

const UserRecord kBob{u"bob"_s, u"10.0.0.5"_s, 505, 0};

} // namespace

class TestReplyRecord : public QObject
{
    Q_OBJECT
private slots:
    void buildLayout()
    {
        const std::optional<QByteArray> record = buildReplyRecord(u"bob"_s, u"10.0.0.5"_s, 505);
        QVERIFY(record);
        QCOMPARE(*record, Bars("bob|10.0.0.5|505||"));
        QCOMPARE(record->size(), 18); // cbData counts the terminator
        QCOMPARE(*buildReplyRecord(QString(), u"1.2.3.4"_s, -1), Bars("|1.2.3.4|-1||"));
        QCOMPARE(*buildReplyRecord(QString::fromUtf8("Ren\xc3\xa9"), u"1.2.3.4"_s, 1),
                 Bars("Ren\xe9|1.2.3.4|1||"));
    }

    void buildTooLong()
    {
        // 128 characters of name fit; a record over 255 bytes is refused.
        QVERIFY(buildReplyRecord(QString(128, u'n'), u"255.255.255.255"_s, 65535));
        QVERIFY(!buildReplyRecord(QString(240, u'n'), u"255.255.255.255"_s, 65535));
        const std::optional<QByteArray> full = buildReplyRecord(QString(241, u'n'), u"1.2.3.4"_s, 505);
        QVERIFY(full);
        QCOMPARE(full->size(), 255);
        QVERIFY(!buildReplyRecord(QString(242, u'n'), u"1.2.3.4"_s, 505));
    }

    void readSafely_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("port");
        QTest::newRow("ordinary") << Bars("bob|10.0.0.5|505||") << true << u"bob"_s << 505;
        QTest::newRow("missing separator: filling supplies it, port 0")
            << Bars("bob|10.0.0.5|") << true << u"bob"_s << 0;
        QTest::newRow("no zero byte at all") << QByteArray(255, 'x') << false << QString() << 0;
        QTest::newRow("longer than 255 bytes: only the first 255 are read")
            << QByteArray(Bars("bob|10.0.0.5|600||") + QByteArray(1000, 'x')) << true << u"bob"_s << 600;
        QTest::newRow("800 bytes without zero") << QByteArray(800, 'y') << false << QString() << 0;
        QTest::newRow("empty") << QByteArray() << false << QString() << 0;
        QTest::newRow("Windows-1252 name")
            << Bars("Ren\xe9|10.0.0.5|1||") << true << QString::fromUtf8("Ren\xc3\xa9") << 1;
    }

    void readSafely()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, accepted);
        QFETCH(QString, name);
        QFETCH(int, port);
        const std::optional<ReplyTarget> target = checkReplyRecord(readCopyData(data), UserList());
        QCOMPARE(target.has_value(), accepted);
        if (accepted) {
            QCOMPARE(target->name, name);
            QCOMPARE(target->port, port);
            QCOMPARE(target->ip, u"10.0.0.5"_s);
        }
    }

    // What the records of the intake do to the user list is driven through
    // the main window by the reply tests; these rows are what only the
    // function itself shows.
    void intake_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("index");
        QTest::newRow("known user found")
            << Bars("bob|10.0.0.5|600||") << true << u"bob"_s << u"10.0.0.5"_s << 1;
        QTest::newRow("address normalised before the search")
            << Bars("bob|010.000.000.005|505||") << true << u"bob"_s << u"10.0.0.5"_s << 1;
        QTest::newRow("port out of 32 bits ignored")
            << Bars("bob|10.0.0.5|99999999999999999999||") << false << QString() << QString() << -1;
    }

    void intake()
    {
        QFETCH(QByteArray, record);
        QFETCH(bool, accepted);
        QFETCH(QString, name);
        QFETCH(QString, ip);
        QFETCH(int, index);
        const std::optional<ReplyTarget> target = checkReplyRecord(readCopyData(record), Users({kBob}));
        QCOMPARE(target.has_value(), accepted);
        if (accepted) {
            QCOMPARE(target->name, name);
            QCOMPARE(target->ip, ip);
            QCOMPARE(target->index, index);
        }
    }
};

QTEST_GUILESS_MAIN(TestReplyRecord)
#include "test_replyrecord.moc"
