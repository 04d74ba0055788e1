// The checks on what a user types or a reply record carries.
#include "fakerows.h"
#include "fieldchecks.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFieldChecks : public QObject
{
    Q_OBJECT
private slots:
    void port_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("port");
        QTest::newRow("empty reads 0") << QString() << true << 0;
        QTest::newRow("0") << u"0"_s << true << 0;
        QTest::newRow("505") << u"505"_s << true << 505;
        QTest::newRow("65535") << u"65535"_s << true << 65535;
        QTest::newRow("65536") << u"65536"_s << false << 65536;
        QTest::newRow("-1") << u"-1"_s << false << -1;
        QTest::newRow("9E99 does not wrap") << u"9E99"_s << false << 0;
        QTest::newRow("40 digits") << QString(40, u'9') << false << 0;
        QTest::newRow("4294967296 + 505 does not wrap") << u"4294967801"_s << false << 0;
        QTest::newRow("rounded") << u"504.5"_s << true << 504;
    }

    void port()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, port);
        qint32 out = 12345;
        QCOMPARE(isValidPort(text, out), valid);
        QCOMPARE(out, port);
    }

    void userName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("empty") << QString() << false << QString();
        QTest::newRow("blanks only") << u"   "_s << false << QString();
        QTest::newRow("Me") << u"Me"_s << true << u"Me"_s;
        QTest::newRow("blanks around") << u"  Bob  "_s << true << u"Bob"_s;
        QTest::newRow("tabs stay") << u"\tBob"_s << true << u"\tBob"_s;
        QTest::newRow("128") << QString(128, u'a') << true << QString(128, u'a');
        QTest::newRow("129") << QString(129, u'a') << false << QString(129, u'a');
        QTest::newRow("129 trimming to 128")
            << QString(QString(128, u'a') + u' ') << true << QString(128, u'a');
        QTest::newRow("NUL") << QString(u"Bo"_s + QChar(u'\0') + u"b"_s) << false
                             << QString(u"Bo"_s + QChar(u'\0') + u"b"_s);
    }

    void userName()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, trimmed);
        QString out;
        QCOMPARE(isValidUserName(text, out), valid);
        QCOMPARE(out, trimmed);
    }

    void ip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("normalised");
        QTest::newRow("loopback") << u"127.0.0.1"_s << true << u"127.0.0.1"_s;
        QTest::newRow("leading zeros") << u"010.001.000.001"_s << true << u"10.1.0.1"_s;
        QTest::newRow("192.168.001.010") << u"192.168.001.010"_s << true << u"192.168.1.10"_s;
        QTest::newRow("blanks around") << u"  10.0.0.1 "_s << true << u"10.0.0.1"_s;
        QTest::newRow("three dots") << u"..."_s << true << u"0.0.0.0"_s;
        QTest::newRow("trailing dot") << u"1.2.3."_s << true << u"1.2.3.0"_s;
        QTest::newRow("leading dot") << u".1.2.3"_s << true << u"0.1.2.3"_s;
        QTest::newRow("empty part") << u"1..2.3"_s << true << u"1.0.2.3"_s;
        QTest::newRow("long part") << u"0000000001.2.3.4"_s << true << u"1.2.3.4"_s;
        QTest::newRow("two dots") << u"1.2.3"_s << false << QString();
        QTest::newRow("four dots") << u"1.2.3.4.5"_s << false << QString();
        QTest::newRow("256") << u"256.1.1.1"_s << false << QString();
        QTest::newRow("huge part") << QString(QString(400, u'9') + u".1.1.1"_s) << false << QString();
        QTest::newRow("letter") << u"1.2.3.a"_s << false << QString();
        QTest::newRow("inner blank") << u"1. 2.3.4"_s << false << QString();
        QTest::newRow("sign") << u"-1.2.3.4"_s << false << QString();
        QTest::newRow("empty") << QString() << false << QString();
    }

    void ip()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, normalised);
        QString out;
        QCOMPARE(isValidIp(text, out), valid);
        if (valid)
            QCOMPARE(out, normalised);
    }

    void userInList()
    {
        FakeRows rows;
        QVERIFY(!isUserInList(rows, u"localhost"_s, u"127.0.0.1"_s));
        rows.rows = {{u"alice"_s, u"10.0.0.2"_s}, {u"localhost"_s, u"127.0.0.1"_s}};
        QVERIFY(isUserInList(rows, u"localhost"_s, u"127.0.0.1"_s));
        QVERIFY(!isUserInList(rows, u"Localhost"_s, u"127.0.0.1"_s));
        QVERIFY(!isUserInList(rows, u"localhost"_s, u"127.0.0.2"_s));
        QVERIFY(!isUserInList(rows, u"alice"_s, u"10.0.0.02"_s));
        QVERIFY(!isUserInList(rows, u"alice "_s, u"10.0.0.2"_s));
    }
};

QTEST_GUILESS_MAIN(TestFieldChecks)
#include "test_fieldchecks.moc"
