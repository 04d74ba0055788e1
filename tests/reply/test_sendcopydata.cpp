// The record as it reaches the window captioned "Send Message": the bytes
// of the three fields and their zeros, counted in bytes of the code page,
// marked as a reply record; the result codes; and a bound on the wait for a
// program that does not answer.
#include "bars.h"
#include "replyrecord.h"
#include "replyrecordsender.h"
#include "senderwindow.h"
#include "textcodec.h"

#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSendCopyData : public QObject
{
    Q_OBJECT

private slots:
    void recordAsItArrives_data();
    void recordAsItArrives();
    void resultCodes();
    void hungSenderDoesNotWaitForEver();
};

void TestSendCopyData::recordAsItArrives_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<qint32>("port");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("bob: 20 characters and the counted zero")
        << u"bob"_s << u"192.168.0.7"_s << 505 << Bars("bob|192.168.0.7|505||");
    QTest::newRow("empty name starts with a zero")
        << QString() << u"10.0.0.5"_s << 505 << Bars("|10.0.0.5|505||");
    QTest::newRow("port 0") << u"al"_s << u"10.0.0.5"_s << 0 << Bars("al|10.0.0.5|0||");
    QTest::newRow("one byte a character in the code page")
        << u"Zo\u00e9"_s << u"10.0.0.5"_s << 505 << Bars("Zo\xe9|10.0.0.5|505||");
    QTest::newRow("filling the buffer exactly")
        << QString(240, u'n') << u"10.0.0.5"_s << 505 << QByteArray(240, 'n') + Bars("|10.0.0.5|505||");
}

void TestSendCopyData::recordAsItArrives()
{
    QFETCH(QString, name);
    QFETCH(QString, ip);
    QFETCH(qint32, port);
    QFETCH(QByteArray, bytes);
    SenderWindow sender;
    QVERIFY(sender.listening());
    const QChar nul(u'\0');
    const QString text = name + nul + ip + nul + QString::number(port) + nul;
    QCOMPARE(sendCopyData(kSenderWindowCaption, text, kWaitMs), qint16(kCopyDataDelivered));
    const QList<Delivered> delivered = sender.delivered();
    QCOMPARE(delivered.size(), 1);
    QCOMPARE(delivered[0].dwData, kReplyRecordKind);
    // cbData counts the text's bytes and one zero.
    QCOMPARE(delivered[0].data.size(), encodeForWire(text).size() + 1);
    QCOMPARE(delivered[0].data, bytes);
    QCOMPARE(std::optional<QByteArray>(delivered[0].data), buildReplyRecord(name, ip, port));
    QVERIFY(delivered[0].data.size() <= kReplyRecordSize);
}

void TestSendCopyData::resultCodes()
{
    const QString record = u"bob\0"
                           "10.0.0.5\0"
                           "505\0"_s;
    QCOMPARE(sendCopyData(kSenderWindowCaption, record, kWaitMs), qint16(kCopyDataNoWindow));
    SenderWindow sender;
    QCOMPARE(sendCopyData(kSenderWindowCaption, QString(), kWaitMs), qint16(kCopyDataEmpty));
    QCOMPARE(sendCopyData(u"Some Other Window"_s, record, kWaitMs), qint16(kCopyDataNoWindow));
    QVERIFY(sender.delivered().isEmpty());
    // 255 bytes with the counted zero fit; one more does not.
    QCOMPARE(sendCopyData(kSenderWindowCaption, QString(254, u'x'), kWaitMs), qint16(kCopyDataDelivered));
    QCOMPARE(sendCopyData(kSenderWindowCaption, QString(255, u'x'), kWaitMs), qint16(kCopyDataFailed));
    // Counted in bytes: 128 characters that need two bytes each.
    QCOMPARE(sendCopyData(kSenderWindowCaption, QString(128, QChar(0x4e2d)), kWaitMs),
             qint16(kCopyDataFailed));
    QCOMPARE(sender.delivered().size(), 1);
    QCOMPARE(sendCopyData(kSenderWindowCaption, record, kWaitMs), qint16(kCopyDataDelivered));
}

void TestSendCopyData::hungSenderDoesNotWaitForEver()
{
    SenderWindow sender(true);
    QElapsedTimer timer;
    timer.start();
    const QString record = u"bob\0"
                           "10.0.0.5\0"
                           "505\0"_s;
    QCOMPARE(sendCopyData(kSenderWindowCaption, record, 300), qint16(kCopyDataFailed));
    QVERIFY(timer.elapsed() < kWaitMs);
    QCOMPARE(sender.delivered().size(), 1);
    sender.release();
}

QTEST_MAIN(TestSendCopyData)
#include "test_sendcopydata.moc"
