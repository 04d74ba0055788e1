// Number reading and the conversions of stored values: every caller (store
// loaders, field checks, payload parser) goes through these.
#include "conversions.h"

#include <QTest>
#include <cmath>

class TestConversions : public QObject
{
    Q_OBJECT
private slots:
    void readNumber_data();
    void readNumber();
    void roundHalfEven_data();
    void roundHalfEven();
    void toInt32OutOfRange();
    void integerOf_data();
    void integerOf();
    void booleanOf_data();
    void booleanOf();
};

void TestConversions::readNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << QStringLiteral("505") << 505.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("no number") << QStringLiteral("abc") << 0.0;
    QTest::newRow("blanks tabs line feeds dropped") << QStringLiteral(" 1 2\t3\n4") << 1234.0;
    QTest::newRow("trailing junk") << QStringLiteral("12xy") << 12.0;
    QTest::newRow("blank then junk") << QStringLiteral(" 12xy") << 12.0;
    QTest::newRow("negative") << QStringLiteral("-1") << -1.0;
    QTest::newRow("plus") << QStringLiteral("+7") << 7.0;
    QTest::newRow("sign alone") << QStringLiteral("-") << 0.0;
    QTest::newRow("decimal") << QStringLiteral("2.5") << 2.5;
    QTest::newRow("second point ends") << QStringLiteral("1.5.3") << 1.5;
    QTest::newRow("leading point") << QStringLiteral(".5") << 0.5;
    QTest::newRow("exponent") << QStringLiteral("1E3") << 1000.0;
    QTest::newRow("exponent lower case, sign") << QStringLiteral("25e-1") << 2.5;
    QTest::newRow("exponent without digits ignored") << QStringLiteral("7E") << 7.0;
    QTest::newRow("hex") << QStringLiteral("&H1F") << 31.0;
    QTest::newRow("hex lower case") << QStringLiteral("&hff") << 255.0;
    QTest::newRow("octal") << QStringLiteral("&O17") << 15.0;
    QTest::newRow("octal stops at 8") << QStringLiteral("&O78") << 7.0;
    QTest::newRow("CR is not dropped") << QStringLiteral("1\r2") << 1.0;
    QTest::newRow("non-ASCII digit ends") << QString(QStringLiteral("1") + QChar(0x0663)) << 1.0;
}

void TestConversions::readNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(ReadNumber(text), expected);
}

void TestConversions::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("-3.5") << -3.5 << -4.0;
    QTest::newRow("2.4999") << 2.4999 << 2.0;
    QTest::newRow("2.5001") << 2.5001 << 3.0;
}

void TestConversions::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(double, expected);
    QCOMPARE(RoundHalfEven(value), expected);
}

void TestConversions::toInt32OutOfRange()
{
    QCOMPARE(ToInt32(ReadNumber(u"2147483647")), std::optional<qint32>(2147483647));
    QCOMPARE(ToInt32(ReadNumber(u"-2147483648")), std::optional<qint32>(-2147483647 - 1));
    QVERIFY(!ToInt32(ReadNumber(u"2147483648")));
    QVERIFY(!ToInt32(ReadNumber(u"9E99")));
    QVERIFY(!ToInt32(ReadNumber(u"1234567890123456789012345678901234567890")));
    QVERIFY(!ToInt32(ReadNumber(u"&HFFFFFFFFFFFFFFFFFFFF")));
    QVERIFY(!ToInt32(ReadNumber(u"1E999999999999")));
    QVERIFY(!ToInt32(ReadNumber(u"-1E400")));
    QVERIFY(!ToInt32(std::nan("")));
    // Underflow is a tiny number, not an overflow.
    QCOMPARE(ToInt32(ReadNumber(u"1E-400")), std::optional<qint32>(0));
    QCOMPARE(ToInt32(ReadNumber(QString(QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1")))),
             std::optional<qint32>(0));
}

void TestConversions::integerOf_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << QStringLiteral("505") << true << 505;
    QTest::newRow("blanks around") << QStringLiteral("  42 ") << true << 42;
    QTest::newRow("negative") << QStringLiteral("-15") << true << -15;
    QTest::newRow("fraction halves to even") << QStringLiteral("10.5") << true << 10;
    QTest::newRow("fraction up") << QStringLiteral("11.5") << true << 12;
    QTest::newRow("not a number") << QStringLiteral("abc") << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("out of range") << QStringLiteral("9E99") << false << 0;
}

void TestConversions::integerOf()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, expected);
    const std::optional<qint32> value = IntegerOf(text);
    QCOMPARE(value.has_value(), valid);
    if (valid)
        QCOMPARE(*value, expected);
}

void TestConversions::booleanOf_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // -1: not a Boolean
    QTest::newRow("True") << QStringLiteral("True") << 1;
    QTest::newRow("false lower case") << QStringLiteral("false") << 0;
    QTest::newRow("TRUE") << QStringLiteral("TRUE") << 1;
    QTest::newRow("0") << QStringLiteral("0") << 0;
    QTest::newRow("-1") << QStringLiteral("-1") << 1;
    QTest::newRow("2") << QStringLiteral("2") << 1;
    QTest::newRow("yes") << QStringLiteral("yes") << -1;
    QTest::newRow("empty") << QString() << -1;
}

void TestConversions::booleanOf()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    const std::optional<bool> value = BooleanOf(text);
    if (expected < 0)
        QVERIFY(!value);
    else
        QCOMPARE(value, std::optional<bool>(expected == 1));
    QCOMPARE(BooleanText(true), QStringLiteral("True"));
    QCOMPARE(BooleanText(false), QStringLiteral("False"));
}

QTEST_GUILESS_MAIN(TestConversions)
#include "test_conversions.moc"
