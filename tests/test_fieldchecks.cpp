// The checks on what a user types or a reply record carries.
#include "fieldchecks.h"
#include "userrows.h"

#include <QTest>

namespace {

class FakeRows : public UserRows
{
public:
    QList<QPair<QString, QString>> rows;
    int rowCount() const override { return static_cast<int>(rows.size()); }
    QString rowName(int row) const override { return rows.at(row).first; }
    QString rowIp(int row) const override { return rows.at(row).second; }
};

} // namespace

class TestFieldChecks : public QObject
{
    Q_OBJECT
private slots:
    void port_data();
    void port();
    void userName_data();
    void userName();
    void ip_data();
    void ip();
    void userInList();
};

void TestFieldChecks::port_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("port");
    QTest::newRow("empty reads 0") << QString() << true << 0;
    QTest::newRow("0") << QStringLiteral("0") << true << 0;
    QTest::newRow("505") << QStringLiteral("505") << true << 505;
    QTest::newRow("65535") << QStringLiteral("65535") << true << 65535;
    QTest::newRow("65536") << QStringLiteral("65536") << false << 65536;
    QTest::newRow("-1") << QStringLiteral("-1") << false << -1;
    QTest::newRow("9E99 does not wrap") << QStringLiteral("9E99") << false << 0;
    QTest::newRow("40 digits") << QString(40, u'9') << false << 0;
    QTest::newRow("4294967296 + 505 does not wrap") << QStringLiteral("4294967801") << false << 0;
    QTest::newRow("rounded") << QStringLiteral("504.5") << true << 504;
}

void TestFieldChecks::port()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, port);
    qint32 out = 12345;
    QCOMPARE(IsValidPort(text, out), valid);
    QCOMPARE(out, port);
}

void TestFieldChecks::userName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("empty") << QString() << false << QString();
    QTest::newRow("blanks only") << QStringLiteral("   ") << false << QString();
    QTest::newRow("Me") << QStringLiteral("Me") << true << QStringLiteral("Me");
    QTest::newRow("blanks around") << QStringLiteral("  Bob  ") << true << QStringLiteral("Bob");
    QTest::newRow("tabs stay") << QStringLiteral("\tBob") << true << QStringLiteral("\tBob");
    QTest::newRow("128") << QString(128, u'a') << true << QString(128, u'a');
    QTest::newRow("129") << QString(129, u'a') << false << QString(129, u'a');
    QTest::newRow("129 trimming to 128") << QString(QString(128, u'a') + u' ') << true << QString(128, u'a');
    QTest::newRow("NUL") << QString(QStringLiteral("Bo") + QChar(u'\0') + QStringLiteral("b")) << false
                         << QString(QStringLiteral("Bo") + QChar(u'\0') + QStringLiteral("b"));
}

void TestFieldChecks::userName()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, trimmed);
    QString out;
    QCOMPARE(IsValidUserName(text, out), valid);
    QCOMPARE(out, trimmed);
}

void TestFieldChecks::ip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("normalised");
    QTest::newRow("loopback") << QStringLiteral("127.0.0.1") << true << QStringLiteral("127.0.0.1");
    QTest::newRow("leading zeros") << QStringLiteral("010.001.000.001") << true << QStringLiteral("10.1.0.1");
    QTest::newRow("192.168.001.010") << QStringLiteral("192.168.001.010") << true
                                     << QStringLiteral("192.168.1.10");
    QTest::newRow("blanks around") << QStringLiteral("  10.0.0.1 ") << true << QStringLiteral("10.0.0.1");
    QTest::newRow("three dots") << QStringLiteral("...") << true << QStringLiteral("0.0.0.0");
    QTest::newRow("trailing dot") << QStringLiteral("1.2.3.") << true << QStringLiteral("1.2.3.0");
    QTest::newRow("leading dot") << QStringLiteral(".1.2.3") << true << QStringLiteral("0.1.2.3");
    QTest::newRow("empty part") << QStringLiteral("1..2.3") << true << QStringLiteral("1.0.2.3");
    QTest::newRow("long part") << QStringLiteral("0000000001.2.3.4") << true << QStringLiteral("1.2.3.4");
    QTest::newRow("two dots") << QStringLiteral("1.2.3") << false << QString();
    QTest::newRow("four dots") << QStringLiteral("1.2.3.4.5") << false << QString();
    QTest::newRow("256") << QStringLiteral("256.1.1.1") << false << QString();
    QTest::newRow("huge part") << QString(QString(400, u'9') + QStringLiteral(".1.1.1")) << false
                               << QString();
    QTest::newRow("letter") << QStringLiteral("1.2.3.a") << false << QString();
    QTest::newRow("inner blank") << QStringLiteral("1. 2.3.4") << false << QString();
    QTest::newRow("sign") << QStringLiteral("-1.2.3.4") << false << QString();
    QTest::newRow("empty") << QString() << false << QString();
}

void TestFieldChecks::ip()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, normalised);
    QString out;
    QCOMPARE(IsValidIp(text, out), valid);
    if (valid)
        QCOMPARE(out, normalised);
}

void TestFieldChecks::userInList()
{
    FakeRows rows;
    QVERIFY(!IsUserInList(rows, QStringLiteral("localhost"), QStringLiteral("127.0.0.1")));
    rows.rows = {{QStringLiteral("alice"), QStringLiteral("10.0.0.2")},
                 {QStringLiteral("localhost"), QStringLiteral("127.0.0.1")}};
    QVERIFY(IsUserInList(rows, QStringLiteral("localhost"), QStringLiteral("127.0.0.1")));
    QVERIFY(!IsUserInList(rows, QStringLiteral("Localhost"), QStringLiteral("127.0.0.1")));
    QVERIFY(!IsUserInList(rows, QStringLiteral("localhost"), QStringLiteral("127.0.0.2")));
    QVERIFY(!IsUserInList(rows, QStringLiteral("alice"), QStringLiteral("10.0.0.02")));
    QVERIFY(!IsUserInList(rows, QStringLiteral("alice "), QStringLiteral("10.0.0.2")));
}

QTEST_GUILESS_MAIN(TestFieldChecks)
#include "test_fieldchecks.moc"
