// Number reading and the conversions of stored values: every caller (store
// loaders, field checks, payload parser) goes through these.
#include "conversions.h"

#include <QTest>
#include <cmath>

using namespace Qt::StringLiterals;

class TestConversions : public QObject
{
    Q_OBJECT
private slots:
    void readNumberCases_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << u"505"_s << 505.0;
        QTest::newRow("empty") << QString() << 0.0;
        QTest::newRow("no number") << u"abc"_s << 0.0;
        QTest::newRow("blanks tabs line feeds dropped") << u" 1 2\t3\n4"_s << 1234.0;
        QTest::newRow("trailing junk") << u"12xy"_s << 12.0;
        QTest::newRow("blank then junk") << u" 12xy"_s << 12.0;
        QTest::newRow("negative") << u"-1"_s << -1.0;
        QTest::newRow("plus") << u"+7"_s << 7.0;
        QTest::newRow("sign alone") << u"-"_s << 0.0;
        QTest::newRow("decimal") << u"2.5"_s << 2.5;
        QTest::newRow("second point ends") << u"1.5.3"_s << 1.5;
        QTest::newRow("leading point") << u".5"_s << 0.5;
        QTest::newRow("exponent") << u"1E3"_s << 1000.0;
        QTest::newRow("exponent lower case, sign") << u"25e-1"_s << 2.5;
        QTest::newRow("exponent without digits ignored") << u"7E"_s << 7.0;
        QTest::newRow("hex") << u"&H1F"_s << 31.0;
        QTest::newRow("hex lower case") << u"&hff"_s << 255.0;
        QTest::newRow("octal") << u"&O17"_s << 15.0;
        QTest::newRow("octal stops at 8") << u"&O78"_s << 7.0;
        QTest::newRow("CR is not dropped") << u"1\r2"_s << 1.0;
        QTest::newRow("non-ASCII digit ends") << QString(u"1"_s + QChar(0x0663)) << 1.0;
    }

    void readNumberCases()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(readNumber(text), expected);
    }

    void roundHalfEvenCases_data()
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

    void roundHalfEvenCases()
    {
        QFETCH(double, value);
        QFETCH(double, expected);
        QCOMPARE(roundHalfEven(value), expected);
    }

    void toInt32OutOfRange()
    {
        QCOMPARE(toInt32(readNumber(u"2147483647")), std::optional<qint32>(2147483647));
        QCOMPARE(toInt32(readNumber(u"-2147483648")), std::optional<qint32>(-2147483647 - 1));
        QVERIFY(!toInt32(readNumber(u"2147483648")));
        QVERIFY(!toInt32(readNumber(u"9E99")));
        QVERIFY(!toInt32(readNumber(u"1234567890123456789012345678901234567890")));
        QVERIFY(!toInt32(readNumber(u"&HFFFFFFFFFFFFFFFFFFFF")));
        QVERIFY(!toInt32(readNumber(u"1E999999999999")));
        QVERIFY(!toInt32(readNumber(u"-1E400")));
        QVERIFY(!toInt32(std::nan("")));
        // Underflow is a tiny number, not an overflow.
        QCOMPARE(toInt32(readNumber(u"1E-400")), std::optional<qint32>(0));
        QCOMPARE(toInt32(readNumber(QString(u"0."_s + QString(400, u'0') + u"1"_s))),
                 std::optional<qint32>(0));
    }

    void integerOfCases_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << u"505"_s << true << 505;
        QTest::newRow("blanks around") << u"  42 "_s << true << 42;
        QTest::newRow("negative") << u"-15"_s << true << -15;
        QTest::newRow("fraction halves to even") << u"10.5"_s << true << 10;
        QTest::newRow("fraction up") << u"11.5"_s << true << 12;
        QTest::newRow("not a number") << u"abc"_s << false << 0;
        QTest::newRow("empty") << QString() << false << 0;
        QTest::newRow("out of range") << u"9E99"_s << false << 0;
    }

    void integerOfCases()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, expected);
        const std::optional<qint32> value = integerOf(text);
        QCOMPARE(value.has_value(), valid);
        if (valid)
            QCOMPARE(*value, expected);
    }

    void booleanOfCases_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // -1: not a Boolean
        QTest::newRow("True") << u"True"_s << 1;
        QTest::newRow("false lower case") << u"false"_s << 0;
        QTest::newRow("TRUE") << u"TRUE"_s << 1;
        QTest::newRow("0") << u"0"_s << 0;
        QTest::newRow("-1") << u"-1"_s << 1;
        QTest::newRow("2") << u"2"_s << 1;
        QTest::newRow("yes") << u"yes"_s << -1;
        QTest::newRow("empty") << QString() << -1;
    }

    void booleanOfCases()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const std::optional<bool> value = booleanOf(text);
        if (expected < 0)
            QVERIFY(!value);
        else
            QCOMPARE(value, std::optional<bool>(expected == 1));
        QCOMPARE(booleanText(true), u"True"_s);
        QCOMPARE(booleanText(false), u"False"_s);
    }
};

QTEST_GUILESS_MAIN(TestConversions)
#include "test_conversions.moc"
