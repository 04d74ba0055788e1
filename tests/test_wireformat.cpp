// The message payload: composing, decoding and splitting, byte for byte.
#include "bars.h"
#include "textcodec.h"
#include "wireformat.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString BarsText(const char *text)
{
    return decodePayload(Bars(text));
}

} // namespace

class TestWireFormat : public QObject
{
    Q_OBJECT
private slots:
    void composeFields_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("worked example")
            << u"bob"_s << 505 << u"hi"_s << QByteArray::fromHex("626F6200353035006869");
        QTest::newRow("empty text ends after the second NUL")
            << u"Me"_s << 505 << QString() << Bars("Me|505|");
        QTest::newRow("negative port") << u"a"_s << -1 << u"x"_s << Bars("a|-1|x");
        QTest::newRow("port 0") << u"a"_s << 0 << u"x"_s << Bars("a|0|x");
        QTest::newRow("empty name") << QString() << 7 << u"x"_s << Bars("|7|x");
        QTest::newRow("NUL inside the text is kept")
            << u"a"_s << 1 << QString(u"x"_s + QChar(u'\0') + u"y"_s) << Bars("a|1|x|y");
    }

    void composeFields()
    {
        QFETCH(QString, name);
        QFETCH(int, port);
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(composeMessage(name, port, text), expected);
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("text");
        const QString none;
        QTest::newRow("bob|505|hi") << Bars("bob|505|hi") << 0 << u"bob"_s << 505 << u"hi"_s;
        QTest::newRow("empty name") << Bars("|505|hi") << 0 << none << 505 << u"hi"_s;
        QTest::newRow("no separator: bare text")
            << QByteArray("just text") << 0 << none << -1 << u"just text"_s;
        QTest::newRow("one separator rejected") << Bars("bob|505") << 1 << u"bob"_s << 0 << none;
        QTest::newRow("empty rejected") << QByteArray() << 1 << none << 0 << none;
        QTest::newRow("empty port field") << Bars("bob||hi") << 0 << u"bob"_s << 0 << u"hi"_s;
        QTest::newRow("empty text") << Bars("bob|505|") << 0 << u"bob"_s << 505 << none;
        QTest::newRow("later separators belong to the text")
            << Bars("bob|505|a|b") << 0 << u"bob"_s << 505 << QString(u"a"_s + QChar(u'\0') + u"b"_s);
        QTest::newRow("blank then 12xy") << Bars("bob| 12xy|t") << 0 << u"bob"_s << 12 << u"t"_s;
        QTest::newRow("port halves to even") << Bars("b|2.5|t") << 0 << u"b"_s << 2 << u"t"_s;
        QTest::newRow("40-digit port becomes -1")
            << Bars("b|1234567890123456789012345678901234567890|t") << 0 << u"b"_s << -1 << u"t"_s;
        QTest::newRow("9E99 port becomes -1") << Bars("b|9E99|t") << 0 << u"b"_s << -1 << u"t"_s;
        QTest::newRow("CR LF kept") << Bars("b|1|l1\r\nl2") << 0 << u"b"_s << 1 << u"l1\r\nl2"_s;
        QTest::newRow("name not trimmed") << Bars(" b |1|t") << 0 << u" b "_s << 1 << u"t"_s;
        QTest::newRow("only separators") << Bars("||") << 0 << none << 0 << none;
    }

    void parse()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, status);
        QFETCH(QString, name);
        QFETCH(int, port);
        QFETCH(QString, text);
        QString message = decodePayload(payload);
        QString sender;
        qint32 replyPort = 0;
        QCOMPARE(parseMessage(message, sender, replyPort), qint16(status));
        QCOMPARE(sender, name);
        QCOMPARE(replyPort, port);
        if (status == kMessageAccepted)
            QCOMPARE(message, text);
    }

    void parseKeepsReplyPortOnRejection()
    {
        QString message = BarsText("bob|505");
        QString sender;
        qint32 replyPort = 77;
        QCOMPARE(parseMessage(message, sender, replyPort), kMessageRejected);
        QCOMPARE(replyPort, 77);
    }

    void lineBreaks()
    {
        QCOMPARE(composeMessage(u"a"_s, 1, u"l1\nl2\n"_s), Bars("a|1|l1\r\nl2\r\n"));
        // Text already holding CR LF (pasted) is not doubled.
        QCOMPARE(toWireLineBreaks(u"x\r\ny"_s), u"x\r\ny"_s);
        QCOMPARE(fromWireLineBreaks(u"x\r\ny\r\n"_s), u"x\ny\n"_s);
        QCOMPARE(fromWireLineBreaks(toWireLineBreaks(u"a\n\nb"_s)), u"a\n\nb"_s);
    }

    void encodingChoice_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ASCII") << u"hi"_s << QByteArray("hi");
        QTest::newRow("Latin in Windows-1252")
            << QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac") << QByteArray("caf\xe9 \x80");
        QTest::newRow("Cyrillic falls back to UTF-8")
            << QString::fromUtf8("\xd0\x96\xc3\xa9") << QByteArray("\xd0\x96\xc3\xa9");
    }

    void encodingChoice()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(encodeForWire(text), bytes);
        QCOMPARE(decodeFromWire(bytes), text);
    }

    void cutCharacterOrForeignEnd_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString cut(QChar::ReplacementCharacter);
        // head, filler and tail making a payload that fills the limit.
        const qsizetype filler = kMaxPayloadBytes - 5;
        const QByteArray a(filler, 'a');
        const QString as(filler, u'a');
        QTest::newRow("UTF-8 cut inside a character at the limit")
            << QByteArray("\xe2\x82\xac").repeated(kMaxPayloadBytes / 3 + 1)
            << QString::fromUtf8("\xe2\x82\xac").repeated(kMaxPayloadBytes / 3) + cut;
        QTest::newRow("three bytes of four at the limit")
            << "\xd0\x96" + a + "\xf0\x9f\x98" << QString::fromUtf8("\xd0\x96") + as + cut;
        QTest::newRow("the same end short of the limit is Windows-1252")
            << QByteArray("\xd0\x96\xf0\x9f\x98")
            << QString::fromUtf8("\xc3\x90\xe2\x80\x93\xc3\xb0\xc5\xb8\xcb\x9c");
        QTest::newRow("ASCII and a high byte at the limit is Windows-1252")
            << "abcd" + a + "\xc3" << u"abcd"_s + as + QChar(0xc3);
        QTest::newRow("a fault before the cut makes it Windows-1252")
            << "\xe9\xe2\x82" + a + "\xe2\x82"
            << QString::fromUtf8("\xc3\xa9\xc3\xa2\xe2\x80\x9a") + as +
                   QString::fromUtf8("\xc3\xa2\xe2\x80\x9a");
    }

    void cutCharacterOrForeignEnd()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(decodePayload(bytes), text);
    }

    void undefinedWindows1252BytesSurvive()
    {
        // 0x81 has no character in Windows-1252; it must still decode to
        // something and not end the text, and invalid UTF-8 is read as 1252.
        const QByteArray bytes("a\x81"
                               "b\xff");
        const QString text = decodeFromWire(bytes);
        QCOMPARE(text.size(), 4);
        QCOMPARE(text.at(0), QChar(u'a'));
        QCOMPARE(text.at(2), QChar(u'b'));
        QCOMPARE(text.at(3), QChar(0x00FF));
    }

    void sizeLimit()
    {
        QByteArray big = Bars("n|1|");
        big.append(QByteArray(kMaxPayloadBytes, 'x'));
        const QString text = decodePayload(big);
        QCOMPARE(text.size(), kMaxPayloadBytes);
        QString message = text;
        QString sender;
        qint32 port = 0;
        QCOMPARE(parseMessage(message, sender, port), kMessageAccepted);
        QCOMPARE(message.size(), kMaxPayloadBytes - 4);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << u"Ann"_s << u"see you at 5"_s;
        QTest::newRow("accents") << QString::fromUtf8("Ren\xc3\xa9")
                                 << QString::fromUtf8("d\xc3\xa9j\xc3\xa0 vu\n\xe2\x80\x94 ok");
        QTest::newRow("other scripts")
            << QString::fromUtf8("\xe5\xb0\x8f\xe6\x98\x8e")
            << QString::fromUtf8("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 \xf0\x9f\x98\x80");
        QTest::newRow("markup stays text") << u"<b>x</b>"_s << u"<a href=\"y\">z</a>"_s;
    }

    void roundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QString message = decodePayload(composeMessage(name, 505, text));
        QString sender;
        qint32 port = 0;
        QCOMPARE(parseMessage(message, sender, port), kMessageAccepted);
        QCOMPARE(sender, name);
        QCOMPARE(port, 505);
        QCOMPARE(fromWireLineBreaks(message), text);
    }
};

QTEST_GUILESS_MAIN(TestWireFormat)
#include "test_wireformat.moc"
