// What both programs share besides the store and the local endpoint, a
// table for each unit of what it makes of its input: number reading and
// stored values, the field checks, the numbered keys of stored lists, the
// message payload, window start positions, the key filter of the typed
// boxes and the reply record. Then the About box's contact fields.
#include "aboutbox.h"
#include "conversions.h"
#include "fakerows.h"
#include "fieldchecks.h"
#include "identity.h"
#include "keyfilter.h"
#include "replyintake.h"
#include "replyrecord.h"
#include "storelist.h"
#include "windowposition.h"
#include "wireformat.h"

#include <QDesktopServices>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Inputs and results write a NUL as "|"; result bytes that are not plain
// ASCII are percent-encoded.
QString Bytes(std::optional<QByteArray> b)
{
    return b ? QString::fromLatin1(b->replace('\0', '|').toPercentEncoding(" <>|")) : u"no"_s;
}

QString Apply(const QString &rule, const QByteArray &input)
{
    const QString text = QString::fromUtf8(input);
    const QStringList fields = text.split(QChar(u'\0'));
    QString out, sender = u"stale"_s;
    qint32 port = 0;
    if (rule == u"number")
        return QString::number(readNumber(text));
    if (rule == u"integer")
        return integerOf(text) ? QString::number(*integerOf(text)) : u"no"_s;
    if (rule == u"boolean")
        return booleanOf(text) ? (*booleanOf(text) ? u"true"_s : u"false"_s) : u"no"_s;
    if (rule == u"port") {
        const bool valid = isValidPort(text, port); // sets port: before it is read
        return (valid ? u""_s : u"no "_s) + QString::number(port);
    }
    if (rule == u"name")
        return isValidUserName(text, out) ? out : u"no"_s;
    if (rule == u"ip")
        return isValidIp(text, out) ? out : u"no"_s;
    if (rule == u"key") {
        const NumberedKey key = splitNumberedKey(text);
        return u"%1 %2 %3"_s.arg(key.number).arg(key.field, key.wellFormed ? u"ok"_s : u"no"_s);
    }
    if (rule == u"shown") // a text from the wire as a window shows it
        return fromWireLineBreaks(text).replace(u'\r', u"<CR>"_s).replace(u'\n', u"<LF>"_s);
    if (rule == u"compose") // name, port, text as typed
        return Bytes(composeMessage(fields[0], fields[1].toInt(), fields[2]));
    if (rule == u"payload") { // parsed by a caller with a stale name and port 0
        QString message;
        const bool accepted = parsePayload(input, sender, port, message) == kMessageAccepted;
        const QString fieldsRead = sender + u'|' + QString::number(port);
        // A text holds its characters alone, as the queue's bound counts it.
        const QString held = message.capacity() > message.size() ? u" (holds more)"_s : QString();
        return (accepted ? QString(fieldsRead + u'|' + message + held) : u"no "_s + fieldsRead)
            .replace(QChar(u'\0'), u'|');
    }
    if (rule == u"position") { // a 200 x 100 pixel window placed, its corner then stored
        QTemporaryDir dir;
        SettingsStore store = SettingsStore::atPath(dir.filePath(u"s.ini"_s));
        store.save(u"Settings"_s, u"StartUPX"_s, fields[0]);
        store.save(u"Settings"_s, u"StartUPY"_s, fields.value(1));
        QWidget window;
        window.resize(200, 100);
        placeWindow(&window, store, {});
        storeWindowPosition(&window, store, {});
        return store.get(u"Settings"_s, u"StartUPX"_s, {}) + u' ' +
               store.get(u"Settings"_s, u"StartUPY"_s, {});
    }
    if (rule == u"keys") { // what reaches a port box (5 digits) holding fields[0], all selected in [ ]
        QLineEdit box{QString(fields[0]).remove(u'[').remove(u']')};
        if (fields[0].startsWith(u'['))
            box.selectAll();
        const QStringList key = fields[1].split(u'+'); // "Alt+a": a typed with Alt
        const int modifiers =
            (key[0] == u"Alt") * Qt::AltModifier + (key[0] == u"Ctrl") * Qt::ControlModifier;
        const QKeyEvent event(QEvent::KeyPress, 0, Qt::KeyboardModifiers(modifiers), key.last());
        return mayTypeKey(&box, &event, kPortCharacters, 5) ? u"passes"_s : u"no"_s;
    }
    if (rule == u"listed") { // name and ip in a user list editor's rows
        FakeRows rows;
        rows.rows = {{u"alice"_s, u"10.0.0.2"_s}, {u"bob"_s, u"10.0.0.3"_s}};
        return isUserInList(rows, fields[0], fields.value(1)) ? u"listed"_s : u"no"_s;
    }
    if (rule == u"build") // name, ip, port
        return Bytes(ReplyRecord{fields[0], fields[1], fields[2].toInt()}.encode());
    UserList users; // "record": what Quillpost takes from it, with one user
    users.append({u"bob"_s, u"10.0.0.5"_s, 505, 0});
    const std::optional<ReplyRecord> record = ReplyRecord::decode(input);
    const std::optional<ReplyTarget> target = record ? replyTargetFor(*record, users) : std::nullopt;
    return target ? u"%1 %2 %3 %4"_s.arg(target->name, target->ip).arg(target->port).arg(target->index)
                  : u"no"_s;
}

void Columns()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("result");
}

void Row(const char *rule, const char *title, QByteArray input, const QString &result)
{
    QTest::addRow("%s: %s", rule, title) << QString::fromLatin1(rule) << input.replace('|', '\0') << result;
}

void Check()
{
    QFETCH(QString, rule);
    QFETCH(QByteArray, input);
    QTEST(Apply(rule, input), "result");
}

} // namespace

class TestCommon : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl &url) { m_opened.append(url.toString()); } // the mail program and browser

private slots:
    // 1000 x 800 pixels at 96 dpi: 15000 x 12000 twips, 15 a pixel; a panel
    // takes the 20 pixels on the left.
    void initTestCase()
    {
        setScreenProvider([] { return ScreenMetrics{QSize(1000, 800), 96.0, QRect(20, 0, 980, 800)}; });
    }

    // Each row: rule, input (a "|" for a NUL), result.
    // Reading numbers and stored values.
    void conversions_data()
    {
        Columns();
        Row("number", "blanks, tabs, LF dropped", " 1 2\t3\n4", u"1234"_s);
        Row("number", "CR is no blank", "1\r2", u"1"_s);
        Row("number", "exponent", "25e-1x", u"2.5"_s);
        Row("number", "E without digits", "7E", u"7"_s);
        Row("number", "&H", "&H1f", u"31"_s);
        Row("number", "&O stops at 8", "&O178", u"15"_s);
        Row("number", "a non-ASCII digit ends it", "1\xd9\xa3", u"1"_s);
        Row("number", "beyond 64 bits", "&HFFFFFFFFFFFFFFFFFFFF", u"inf"_s);
        Row("number", "underflow", "1E-400", u"0"_s);
        Row("integer", "3.5 halves up", "3.5", u"4"_s);
        Row("integer", "2.5 halves down", "2.5", u"2"_s);
        Row("integer", "2^31 - 1", " 2147483647 ", u"2147483647"_s);
        Row("integer", "2^31", "2147483648", u"no"_s);
        Row("integer", "empty", "", u"no"_s);
        Row("boolean", "-1", "-1", u"true"_s);
        Row("boolean", "yes", "yes", u"no"_s);
    }
    void conversions() { Check(); }

    // What the dialogs accept in their fields, and who is in a user list.
    void fieldChecks_data()
    {
        Columns();
        Row("port", "empty reads 0", "", u"0"_s);
        Row("port", "0", "0", u"0"_s);
        Row("port", "65535", "65535", u"65535"_s);
        Row("port", "65536", "65536", u"no 65536"_s);
        Row("port", "2^32 + 505 does not wrap", "4294967801", u"no 0"_s);
        Row("name", "blanks only", "   ", u"no"_s);
        Row("name", "blanks trimmed, tabs kept", "  \tBob  ", u"\tBob"_s);
        Row("name", "128", QByteArray(128, 'a'), QString(128, u'a'));
        Row("name", "129", QByteArray(129, 'a'), u"no"_s);
        Row("name", "NUL", "B|b", u"no"_s);
        Row("ip", "leading zeros, blanks", " 010.001.000.001 ", u"10.1.0.1"_s);
        Row("ip", "empty parts read 0", "1..2.", u"1.0.2.0"_s);
        Row("ip", "255", "255.255.255.255", u"255.255.255.255"_s);
        Row("ip", "256", "256.1.1.1", u"no"_s);
        Row("ip", "two dots", "1.2.3", u"no"_s);
        Row("ip", "four dots", "1.2.3.4.5", u"no"_s);
        Row("ip", "tab", "\t1.2.3.4", u"no"_s);
        Row("listed", "name and ip", "bob|10.0.0.3", u"listed"_s);
        Row("listed", "letter case counts", "Bob|10.0.0.3", u"no"_s);
    }
    void fieldChecks() { Check(); }

    // The numbered keys of the stored lists.
    void storedListKeys_data()
    {
        Columns();
        Row("key", "after the first _", "12_a_b", u"12 a_b ok"_s);
        Row("key", "32767, the most", "32767_ip", u"32767 ip ok"_s);
        Row("key", "32768", "32768_ip", u"-1 ip no"_s);
        Row("key", "0", "0_name", u"0 name no"_s);
        Row("key", "no _", "TestUsers", u"0  no"_s);
    }
    void storedListKeys() { Check(); }

    // The message payload: how it is built and read, and a text as a window shows it.
    void wireFormat_data()
    {
        Columns();
        Row("shown", "CR LF read as LF", "a\r\nb\r\n", u"a<LF>b<LF>"_s);
        Row("shown", "other CRs kept", "\ra\r\r\nb\n\r", u"<CR>a<CR><LF>b<LF><CR>"_s);
        Row("compose", "LF travels as CR LF", "bob|-1|l1\n\nl2\r\n", u"bob|-1|l1%0D%0A%0D%0Al2%0D%0A"_s);
        Row("compose", "Windows-1252", "Ren\xc3\xa9|0|\xe2\x82\xac <b>", u"Ren%E9|0|%80 <b>"_s);
        Row("compose", "UTF-8 when 1252 lacks one", "a|1|\xd0\x96\xc3\xa9", u"a|1|%D0%96%C3%A9"_s);
        Row("payload", "fields", "bob|505|hi", u"bob|505|hi"_s);
        Row("payload", "no NUL: text alone", "just text", u"|-1|just text"_s);
        Row("payload", "one NUL", "bob|505", u"no bob|0"_s);
        Row("payload", "empty", "", u"no stale|0"_s);
        Row("payload", "later NULs are text", "b||a|b", u"b|0|a|b"_s);
        Row("payload", "port: junk ends it, beyond 32 bits", "b| 9E99xy|t", u"b|-1|t"_s);
        Row("payload", "name not trimmed, CR LF kept", " b |1|l1\r\nl2", u" b |1|l1\r\nl2"_s);
        Row("payload", "Windows-1252", "Ren\xe9|1|\x80", u"Ren\u00e9|1|\u20ac"_s);
        // Only the size limit is read; an end cut there inside a UTF-8
        // character is still UTF-8, the same bytes short of it Windows-1252.
        const qsizetype limit = kMaxPayloadBytes;
        const QByteArray a(limit - 5, 'a');
        const QString as(limit - 5, u'a'), cut(QChar::ReplacementCharacter);
        Row("payload", "beyond the limit", QByteArray(limit + 9, 'x'), u"|-1|"_s + QString(limit, u'x'));
        Row("payload", "cut at the limit", "\xd0\x96" + a + "\xf0\x9f\x98", u"|-1|\u0416"_s + as + cut);
        Row("payload", "short of it", "\xd0\x96\xf0\x9f\x98", u"|-1|\u00d0\u2013\u00f0\u0178\u02dc"_s);
        Row("payload", "fault first", "\xe9" + a + "ab\xe2\x82", u"|-1|\u00e9"_s + as + u"ab\u00e2\u201a"_s);
    }
    void wireFormat() { Check(); }

    // Where a window starts, and what is stored of it.
    void windowPosition_data()
    {
        Columns();
        Row("position", "on the screen", "1500|3000", u"1500 3000"_s);
        Row("position", "corner on the edges: window moved in", "15000|12000", u"12000 10500"_s);
        Row("position", "inside a panel's edge", "15|7500", u"300 7500"_s);
        Row("position", "x -1", "-1|3000", u"6000 5250"_s);
        Row("position", "y beyond", "1500|12001", u"6000 5250"_s);
        Row("position", "damaged: centred", "left|9E99", u"6000 5250"_s);
    }
    void windowPosition() { Check(); }

    // What a typed box lets through.
    void keyFilter_data()
    {
        Columns();
        Row("keys", "the last digit that fits", "1234|5", u"passes"_s);
        Row("keys", "a letter", "1234|a", u"no"_s);
        Row("keys", "one digit too many", "12345|6", u"no"_s);
        Row("keys", "over a selection", "[12345]|6", u"passes"_s);
        Row("keys", "Backspace when full", "12345|\b", u"passes"_s);
        Row("keys", "Ctrl+V when full", "12345|Ctrl+\x16", u"passes"_s);
        Row("keys", "Alt+letter types", "1234|Alt+a", u"no"_s);
    }
    void keyFilter() { Check(); }

    // The reply record: built, and what Quillpost takes from it.
    void replyRecord_data()
    {
        Columns();
        Row("build", "fields", "Ren\xc3\xa9|1.2.3.4|-1", u"Ren%E9|1.2.3.4|-1||"_s);
        Row("build", "255 fit", QByteArray(243, 'n') + "|1.2.3.4|5", QString(243, u'n') + u"|1.2.3.4|5||");
        Row("build", "256 do not", QByteArray(244, 'n') + "|1.2.3.4|5", u"no"_s);
        Row("record", "the zero filling ends it", "Ren\xe9|10.0.0.6|", u"Ren\u00e9 10.0.0.6 0 -1"_s);
        Row("record", "255 read", "ann|10.0.0.6|7||" + QByteArray(4000, 'x'), u"ann 10.0.0.6 7 -1"_s);
        Row("record", "no zero byte", QByteArray(800, 'y'), u"no"_s);
    }
    void replyRecord() { Check(); }

    // The user's key: made owner-only, read back as made, a new one unlike
    // it, and a file that holds no matching key and certificate refused.
    void identity()
    {
        QCOMPARE(Identity::verificationCode(QByteArray::fromHex("000102030405060708090a0b0c0d0e0f10")),
                 u"0001 0203 0405 0607 0809 0a0b 0c0d 0e0f"_s);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Quill/identity.pem"_s);
        QCOMPARE(Identity::load(path).state(), Identity::State::Missing);
        const Identity made = Identity::create(path);
        QCOMPARE(made.state(), Identity::State::Ready);
        QVERIFY(QRegularExpression(u"^([0-9a-f]{4} ){7}[0-9a-f]{4}$"_s)
                    .match(made.verificationCode())
                    .hasMatch());
        const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                            QFileDevice::WriteOther | QFileDevice::ExeGroup | QFileDevice::ExeOther;
        QCOMPARE(QFile::permissions(path) & others, QFileDevice::Permissions());
        QCOMPARE(QFile::permissions(dir.filePath(u"Quill"_s)) & others, QFileDevice::Permissions());
        QCOMPARE(Identity::load(path).verificationCode(), made.verificationCode());
        QCOMPARE(Identity::load(path).keyPem(), made.keyPem());

        const QString otherPath = dir.filePath(u"other.pem"_s);
        const Identity other = Identity::create(otherPath);
        QVERIFY(other.verificationCode() != made.verificationCode());
        const auto write = [&](const QByteArray &bytes) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        const QByteArray mismatched = made.keyPem() + other.certificatePem();
        for (const QByteArray &damaged :
             {QByteArray("garbage"), made.keyPem(), mismatched, QByteArray(70000, 'x')}) {
            QVERIFY(write(damaged));
            const Identity read = Identity::load(path);
            QCOMPARE(read.state(), Identity::State::Damaged);
            QVERIFY(!read.error().isEmpty());
        }
    }

    void aboutBox()
    {
        for (const QString &scheme : {u"mailto"_s, u"https"_s})
            QDesktopServices::setUrlHandler(scheme, this, "open");
        QTemporaryDir dir;
        SettingsStore store = SettingsStore::atPath(dir.filePath(u"s.ini"_s));
        AboutBox box(u"Quillbox"_s, store, nullptr);
        QCOMPARE(box.findChild<QLabel *>(u"lbl"_s)->text() + box.findChild<QLabel *>(u"appversion"_s)->text(),
                 u"Quillbox"_s + versionText());
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        auto *email = box.findChild<QLineEdit *>(u"email"_s);
        auto *website = box.findChild<QLineEdit *>(u"website"_s);
        QTest::mouseClick(email, Qt::LeftButton);
        QTest::mouseClick(website, Qt::LeftButton);
        // The links are reached from the keyboard too, and opened with Enter
        // without closing the box.
        website->setFocus();
        QTest::keyClick(website, Qt::Key_Return);
        QVERIFY(box.isVisible() && website->focusPolicy() & Qt::TabFocus);
        QCOMPARE(m_opened,
                 (QStringList{u"mailto:"_s + AboutBox::kEmail, AboutBox::kWebsite, AboutBox::kWebsite}));
        // In the theme's link colour, also after a change to a dark palette.
        QPalette dark = box.palette();
        dark.setColor(QPalette::Window, Qt::black);
        dark.setColor(QPalette::Link, QColor(0x8a, 0xb4, 0xf8));
        box.setPalette(dark);
        QCOMPARE(email->palette().color(QPalette::Text), QColor(0x8a, 0xb4, 0xf8));
        QCOMPARE(email->palette().color(QPalette::Base), QColor(Qt::black));
        for (const QString &scheme : {u"mailto"_s, u"https"_s})
            QDesktopServices::unsetUrlHandler(scheme);
    }

private:
    QStringList m_opened;
};

QTEST_MAIN(TestCommon)
#include "test_common.moc"
