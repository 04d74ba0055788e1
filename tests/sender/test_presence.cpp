// People finding each other: what an announcement carries and how it is
// read, the address forms the user list and the command line take, and, on
// the real Avahi daemon, Quillboxes announcing and Quillpost seeing them.

#include "avahibus.h"
#include "fieldchecks.h"
#include "messagefanout.h"
#include "messageintake.h"
#include "messagerouter.h"
#include "presence.h"
#include "presenceannouncer.h"
#include "presencebrowser.h"
#include "receiversettings.h"
#include "recipientbox.h"
#include "replyrecord.h"
#include "sendcontroller.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "userlisteditor.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSeenMs = 2000; // what "appears within 2 s" allows
constexpr int kProcessMs = 20000;

// A Quillbox core on a loopback port of its own announcing name with id.
struct Box
{
    Box(const QString &name, const QString &id, bool announce = true,
        const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
    {
        settings.portList.clear();
        settings.portList.append(0);
        settings.presenceId = id;
        settings.announce = announce;
        intake.emplace(settings, address, folder.filePath(u"history.sqlite"_s));
        intake->router().setReceiveReady(true);
        intake->listen();
        intake->startPresence(QDBusConnection::systemBus(), [name] { return PresenceRecord{name, {}, 505}; });
    }
    quint16 port() const { return intake->listeningPorts().value(0); }
    QTemporaryDir folder;
    ReceiverSettings settings;
    std::optional<MessageIntake> intake;
};

QStringList lines(const QByteArray &output)
{
    return QString::fromUtf8(output).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestPresence : public QObject
{
    Q_OBJECT

    std::optional<AvahiBus> m_avahi;
    std::optional<PresenceBrowser> m_browser;

    // The daemon and a browser on it, started by the first test that needs them.
    bool needAvahi()
    {
        if (!m_avahi) {
            m_avahi.emplace();
            if (!m_avahi->skipReason()) {
                m_browser.emplace(QDBusConnection::systemBus());
                m_browser->start();
            }
        }
        return !m_avahi->skipReason();
    }
    QStringList seen() const
    {
        QStringList people;
        for (const PresencePerson &person : m_browser->people())
            people << person.record.name + u'@' + QString::number(person.port) + u'#' + person.record.id;
        people.sort();
        return people;
    }
    static QString entry(const QString &name, const Box &box)
    {
        return name + u'@' + QString::number(box.port()) + u'#' + box.settings.presenceId;
    }

private slots:
    void txtRecord_data()
    {
        QTest::addColumn<QByteArrayList>("txt");
        QTest::addColumn<QString>("read"); // name|id|reply[|key], or empty when refused
        const QByteArray longName = "name=" + QByteArray(300, 'n');
        QTest::newRow("ours") << presenceTxt({u"Zoë"_s, u"ab-12"_s, 505, QByteArray(32, '\xab')})
                              << u"Zoë|ab-12|505|abab"_s;
        QTest::newRow("no version") << QByteArrayList{"name=a", "id=x1"} << QString();
        QTest::newRow("other version") << QByteArrayList{"v=2", "id=x1"} << QString();
        QTest::newRow("no id") << QByteArrayList{"v=1", "name=a"} << QString();
        QTest::newRow("id with blank") << QByteArrayList{"v=1", "id=a b"} << QString();
        QTest::newRow("id too long") << QByteArrayList{"v=1", "id=" + QByteArray(65, 'a')} << QString();
        QTest::newRow("long name cut, bad port")
            << QByteArrayList{"v=1", longName, "id=x", "reply=70000"} << QString(128, u'n') + u"|x|0"_s;
        QTest::newRow("late strings ignored") << (QByteArrayList(16, "pad=1") << "v=1"
                                                                              << "id=x")
                                              << QString();
        QTest::newRow("control characters kept")
            << QByteArrayList{"v=1", "id=x", "name=a\nb", "reply=7", "key=" + QByteArray(64, 'A')}
            << u"a\nb|x|7"_s;
    }
    void txtRecord()
    {
        QFETCH(QByteArrayList, txt);
        QFETCH(QString, read);
        const std::optional<PresenceRecord> record = readPresenceTxt(txt);
        QCOMPARE(record ? record->name + u'|' + record->id + u'|' + QString::number(record->replyPort) +
                              (record->key.isEmpty() ? QString() : u'|' + keyText(record->key).left(4))
                        : QString(),
                 read);
    }

    void addressForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address"); // what the user list keeps, empty: refused
        QTest::addColumn<QString>("word");    // what --to reaches; "+port": the address kept, that port
        QTest::newRow("IPv4 as always") << u" 010.0.0.002 "_s << u"10.0.0.2"_s << u"+505"_s;
        QTest::newRow("IPv4 with port") << u"10.0.0.2:7"_s << QString() << u"10.0.0.2:7"_s;
        QTest::newRow("IPv6") << u"FE80:0::1"_s << u"fe80::1"_s << QString();
        QTest::newRow("IPv6 in brackets") << u"[::1]"_s << u"::1"_s << u"+505"_s;
        QTest::newRow("IPv6 with port") << u"[::1]:5050"_s << QString() << u"::1:5050"_s;
        QTest::newRow("IPv4 by IPv6") << u"::ffff:10.0.0.5"_s << u"10.0.0.5"_s << QString();
        QTest::newRow("host name") << u"desk-7.lan"_s << u"desk-7.lan"_s << QString();
        QTest::newRow("host name with port") << u"localhost:5050"_s << QString() << u"localhost:5050"_s;
        QTest::newRow("bad label") << u"desk-.lan"_s << QString() << QString();
        QTest::newRow("mistyped IPv4") << u"10.0.0"_s << QString() << QString();
        QTest::newRow("port 0") << u"[::1]:0"_s << QString() << QString();
        QTest::newRow("unclosed bracket") << u"[::1:5050"_s << QString() << QString();
        QTest::newRow("name too long") << QString(254, u'a') << QString() << QString();
    }
    void addressForms()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(QString, word);
        QString normalised;
        QCOMPARE(isValidAddress(text, normalised) ? normalised : QString(), address);
        const std::optional<Recipient> recipient = addressWord(text, 505);
        QCOMPARE(recipient ? recipient->ip + u':' + QString::number(recipient->port) : QString(),
                 word.startsWith(u'+') ? address + u':' + word.mid(1) : word);
        // A reply to a sender at that address reaches Quillpost as it is.
        const std::optional<ReplyRecord> reply =
            ReplyRecord::decode(ReplyRecord{u"bob"_s, text, 505}.encode().value_or(QByteArray()));
        QCOMPARE(reply ? reply->address : QString(), address);
    }

    void peopleComeAndGo()
    {
        if (!needAvahi())
            QSKIP(m_avahi->skipReason());
        std::optional<Box> anna(std::in_place, u"anna"_s, u"id-anna"_s);
        Box ben(u"ben"_s, u"id-ben"_s);
        Box quiet(u"quiet"_s, u"id-quiet"_s, false);
        QTRY_COMPARE_WITH_TIMEOUT(seen(), QStringList({entry(u"anna"_s, *anna), entry(u"ben"_s, ben)}),
                                  kSeenMs);
        QCOMPARE(anna->intake->presence()->state(), PresenceAnnouncer::State::Established);
        QCOMPARE(quiet.intake->presence()->state(), PresenceAnnouncer::State::Off);

        // The same name with another id: a person of their own, under the name the daemon proposes.
        Box twin(u"ben"_s, u"id-twin"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_browser->peopleNamed(u"ben"_s).size(), 2, kSeenMs * 2);
        QVERIFY(twin.intake->presence()->instanceName() != u"ben"_s);

        // One quits: gone within 2 s.
        anna.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_browser->personWithId(u"id-anna"_s), nullptr, kSeenMs);

        // The option turned on announces, turned off withdraws.
        quiet.settings.announce = true;
        quiet.intake->updatePresence();
        QTRY_VERIFY_WITH_TIMEOUT(m_browser->personWithId(u"id-quiet"_s), kSeenMs);
        quiet.settings.announce = false;
        quiet.intake->updatePresence();
        QTRY_COMPARE_WITH_TIMEOUT(m_browser->personWithId(u"id-quiet"_s), nullptr, kSeenMs);
    }

    // A person re-announced at another address gets the next message there,
    // and the stored address follows.
    void addressFollows()
    {
        if (!needAvahi())
            QSKIP(m_avahi->skipReason());
        std::optional<Box> before(std::in_place, u"carl"_s, u"id-carl"_s);
        SenderSettings settings;
        settings.userList.append({u"carl"_s, u"127.0.0.1"_s, before->port(), 0, u"id-carl"_s});
        const int carl = settings.userList.count();
        before.reset();
        Box after(u"carl"_s, u"id-carl"_s);
        QTRY_COMPARE_WITH_TIMEOUT(
            m_browser->personWithId(u"id-carl"_s) ? m_browser->personWithId(u"id-carl"_s)->port : 0,
            after.port(), kSeenMs * 2);
        SendController sending(settings);
        sending.setPresence(&*m_browser);
        QSignalSpy moved(&sending, &SendController::userMoved);
        QSignalSpy finished(&sending, &SendController::finished);
        QSignalSpy arrived(&*after.intake, &MessageIntake::messageHandled);
        connect(&sending, &SendController::connected, &sending, [&sending] { sending.sendText(u"hi"_s); });
        QString error;
        QVERIFY(sending.sendToUser(carl, u"hi"_s, error));
        QCOMPARE(moved.size(), 1);
        QCOMPARE(settings.userList.at(carl).port, after.port());
        QVERIFY(arrived.wait(kProcessMs) || arrived.size() == 1);
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(finished.at(0).at(1).toString().contains(u"carl is now at 127.0.0.1:"_s));
    }

    // "People..." in the user list editor adds a person online in one step,
    // with their id; the recipient box marks them online.
    void addFromPeople()
    {
        if (!needAvahi())
            QSKIP(m_avahi->skipReason());
        Box fay(u"fay\tx"_s, u"id-fay"_s);
        QTRY_VERIFY_WITH_TIMEOUT(m_browser->personWithId(u"id-fay"_s), kSeenMs);
        SenderSettings settings;
        QTemporaryDir folder;
        SettingsStore store = SettingsStore::atPath(folder.filePath(u"Quillpost.ini"_s));
        UserListEditor editor(settings, store, nullptr);
        editor.setPeople(&*m_browser);
        // Twice: the second time finds the row of that id already there.
        for (int round = 0; round < 2; ++round) {
            QTimer::singleShot(0, &editor, [] {
                QWidget *dialog = QApplication::activeModalWidget();
                auto *list = dialog->findChild<QListWidget *>(u"peopleList"_s);
                const QList<QListWidgetItem *> fays = list->findItems(u"fay"_s, Qt::MatchStartsWith);
                QCOMPARE(fays.size(), 1);
                QVERIFY(!fays.first()->text().contains(u'\t'));
                list->setCurrentItem(fays.first());
                QTest::mouseClick(dialog->findChild<QPushButton *>(u"addPerson"_s), Qt::LeftButton);
            });
            QTest::mouseClick(editor.findChild<QPushButton *>(u"addPeople"_s), Qt::LeftButton);
        }
        QTest::mouseClick(editor.findChild<QPushButton *>(u"SaveOption"_s), Qt::LeftButton);
        QCOMPARE(settings.userList.count(), 2);
        const UserRecord &added = settings.userList.at(2);
        QCOMPARE(added.name + u'|' + added.ip + u'|' + QString::number(added.port) + u'|' + added.id,
                 u"fay\tx|127.0.0.1|"_s + QString::number(fay.port()) + u"|id-fay"_s);
        RecipientBox box;
        box.fill(settings.userList, 0, &*m_browser);
        QVERIFY(!box.itemText(0).endsWith(RecipientBox::onlineMark()));
        QVERIFY(box.itemText(1).endsWith(RecipientBox::onlineMark()));
    }

    // quillpost --list and --to by the name of a person online, by [IPv6]:port
    // and by host:port.
    void commandLine()
    {
        if (!needAvahi())
            QSKIP(m_avahi->skipReason());
        Box dana(u"dana"_s, u"id-dana"_s, false);
        Box v6(u"v6"_s, u"id-v6"_s, false, QHostAddress(QHostAddress::LocalHostIPv6));
        AvahiBus::Published *erin =
            m_avahi->publish({u"-s"_s, u"erin"_s, u"_quill._tcp"_s, QString::number(dana.port()), u"v=1"_s,
                              u"name=erin"_s, u"id=id-erin"_s, u"reply=505"_s});
        QVERIFY(erin->waitPublished());
        QSignalSpy toDana(&*dana.intake, &MessageIntake::messageHandled);
        QSignalSpy toV6(&*v6.intake, &MessageIntake::messageHandled);
        const auto run = [](const QStringList &arguments) {
            QProcess quillpost;
            quillpost.start(qEnvironmentVariable("QUILL_BIN_DIR") + u"/quillpost"_s, arguments);
            // The process runs while the event loop turns: the boxes read.
            [[maybe_unused]] const bool ended = QTest::qWaitFor(
                [&quillpost] { return quillpost.state() == QProcess::NotRunning; }, kProcessMs);
            return QString(QString::number(quillpost.exitCode()) + u' ' +
                           lines(quillpost.readAllStandardOutput()).join(u'|'));
        };
        const QString erinAt = u"127.0.0.1\t"_s + QString::number(dana.port()) + u"\tid-erin"_s;
        QVERIFY2(run({u"--list"_s}).contains(u"erin\t"_s + erinAt), qPrintable(run({u"--list"_s})));
        QCOMPARE(run({u"--to"_s, u"erin"_s, u"--message"_s, u"hi"_s}),
                 u"0 delivered: erin (127.0.0.1:"_s + QString::number(dana.port()) + u')');
        QCOMPARE(run({u"--to"_s, u"[::1]:"_s + QString::number(v6.port()), u"--message"_s, u"hi"_s}),
                 u"0 delivered: [::1]:"_s + QString::number(v6.port()));
        QCOMPARE(run({u"--to"_s, u"localhost:"_s + QString::number(dana.port()), u"--message"_s, u"hi"_s}),
                 u"0 delivered: localhost:"_s + QString::number(dana.port()));
        QCOMPARE(run({u"--to"_s, u"nobody-here"_s, u"--wait"_s, u"0"_s, u"--message"_s, u"hi"_s}).left(2),
                 u"2 "_s);
        QTRY_COMPARE(toDana.size(), 2);
        QTRY_COMPARE(toV6.size(), 1);
        m_avahi->unpublish(erin);
    }

    // A flood of announcements leaves the list at its bound.
    void flood()
    {
        if (!needAvahi())
            QSKIP(m_avahi->skipReason());
        QDBusConnection bus = QDBusConnection::systemBus();
        const QDBusMessage group = bus.call(QDBusMessage::createMethodCall(
            u"org.freedesktop.Avahi"_s, u"/"_s, u"org.freedesktop.Avahi.Server"_s, u"EntryGroupNew"_s));
        const QString path = group.arguments().value(0).value<QDBusObjectPath>().path();
        QVERIFY(!path.isEmpty());
        const int flood = PresenceBrowser::kMaxPeople + 50;
        for (int n = 0; n < flood; ++n) {
            QDBusMessage add = QDBusMessage::createMethodCall(
                u"org.freedesktop.Avahi"_s, path, u"org.freedesktop.Avahi.EntryGroup"_s, u"AddService"_s);
            add << -1 << -1 << 0u << u"flood %1"_s.arg(n) << kPresenceServiceType << QString() << QString()
                << QVariant::fromValue(quint16(1000 + n))
                << QVariant::fromValue(presenceTxt({u"flood %1"_s.arg(n), u"f%1"_s.arg(n), 505}));
            bus.asyncCall(add);
        }
        const QDBusMessage commit = bus.call(QDBusMessage::createMethodCall(
            u"org.freedesktop.Avahi"_s, path, u"org.freedesktop.Avahi.EntryGroup"_s, u"Commit"_s));
        QCOMPARE(commit.errorMessage(), QString());
        qsizetype most = 0;
        connect(&*m_browser, &PresenceBrowser::changed, this,
                [this, &most] { most = std::max(most, m_browser->people().size()); });
        QTRY_VERIFY_WITH_TIMEOUT(m_browser->servicesSeen() == flood && !m_browser->isResolving(), kProcessMs);
        QCOMPARE(most, PresenceBrowser::kMaxPeople);
        bus.call(QDBusMessage::createMethodCall(u"org.freedesktop.Avahi"_s, path,
                                                u"org.freedesktop.Avahi.EntryGroup"_s, u"Free"_s));
        QTRY_COMPARE_WITH_TIMEOUT(m_browser->people().size(), 0, kProcessMs);
        disconnect(&*m_browser, &PresenceBrowser::changed, this, nullptr);
    }

    void cleanupTestCase()
    {
        m_browser.reset();
        m_avahi.reset();
    }
};

QTEST_MAIN(TestPresence)
#include "test_presence.moc"
