// The network computer picker: resolving a name to its first IPv4 address,
// the list filling from a computer source, and what a choice returns. Only
// "localhost" and names under the reserved ".invalid" domain are looked up.

#include "computerpicker.h"
#include "computersource.h"
#include "dialogdriver.h"
#include "fakeavahi.h"
#include "fakecomputersource.h"

#include <QDBusConnection>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(QList<QHostAddress>)

namespace {

QStringList Listed(const ComputerPicker &picker)
{
    QStringList names;
    const auto *list = picker.findChild<QListWidget *>(u"computerList"_s);
    for (int row = 0; row < list->count(); ++row)
        names.append(list->item(row)->text());
    return names;
}

std::unique_ptr<ComputerSource> Source(QList<FakeComputer> computers, QString note = QString())
{
    return std::make_unique<FakeComputerSource>(std::move(computers), std::move(note));
}

} // namespace

class TestGetNetworkUser : public QObject
{
    Q_OBJECT

private slots:
    void init() { ModalDriver::GaveUp() = false; }

    void cleanup()
    {
        setComputerSourceFactory({});
        QVERIFY2(!ModalDriver::GaveUp(), "a modal dialog did not open or was not answered");
    }

    void resolveHostAddressCases_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("trimmed");
        QTest::addColumn<QString>("address");
        QTest::newRow("localhost") << u"localhost"_s << u"localhost"_s << u"127.0.0.1"_s;
        QTest::newRow("blanks around") << u"  localhost "_s << u"localhost"_s << u"127.0.0.1"_s;
        QTest::newRow("an address") << u"127.0.0.1"_s << u"127.0.0.1"_s << u"127.0.0.1"_s;
        QTest::newRow("unknown name")
            << u"no-such-computer.invalid"_s << u"no-such-computer.invalid"_s << QString();
        QTest::newRow("empty") << u"   "_s << QString() << QString();
    }

    void resolveHostAddressCases()
    {
        QFETCH(QString, name);
        QFETCH(QString, trimmed);
        QFETCH(QString, address);
        QCOMPARE(resolveHostAddress(name), address);
        QCOMPARE(name, trimmed);
    }

    void firstIpv4AddressCases_data()
    {
        QTest::addColumn<QList<QHostAddress>>("addresses");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<QString>("first");
        const QHostAddress v6(u"fe80::1"_s);
        QTest::newRow("IPv6 first") << QList<QHostAddress>{v6, QHostAddress(u"10.0.0.7"_s),
                                                           QHostAddress(u"10.0.0.8"_s)}
                                    << false << u"10.0.0.7"_s;
        QTest::newRow("IPv6 only") << QList<QHostAddress>{v6} << false << QString();
        QTest::newRow("mapped IPv4") << QList<QHostAddress>{QHostAddress(u"::ffff:192.168.0.7"_s)} << false
                                     << u"192.168.0.7"_s;
        QTest::newRow("lookup failed")
            << QList<QHostAddress>{QHostAddress(u"10.0.0.7"_s)} << true << QString();
        QTest::newRow("no address") << QList<QHostAddress>{} << false << QString();
    }

    void firstIpv4AddressCases()
    {
        QFETCH(QList<QHostAddress>, addresses);
        QFETCH(bool, failed);
        QFETCH(QString, first);
        QHostInfo info;
        info.setAddresses(addresses);
        if (failed)
            info.setError(QHostInfo::HostNotFound);
        QCOMPARE(firstIpv4Address(info), first);
    }

    void lookupReportsOnceAndCanBeAborted()
    {
        HostLookup lookup;
        QSignalSpy finished(&lookup, &HostLookup::finished);
        lookup.start(u"localhost"_s);
        QVERIFY(lookup.busy());
        lookup.abort();
        QVERIFY(!lookup.busy());
        lookup.start(u"localhost"_s);
        QVERIFY(finished.wait(kHostLookupTimeoutMs + 1000));
        QCOMPARE(finished.count(), 1); // the aborted lookup never answered
        QCOMPARE(finished.first().first().toString(), u"127.0.0.1"_s);
        QVERIFY(!lookup.busy());
    }

    void listFillsAsAnswersCome()
    {
        ComputerPicker picker(Source({{u"desk"_s, u"desk.local"_s, u"192.0.2.10"_s},
                                      {u"attic"_s, u"attic.local"_s, QString()},
                                      {u"Desk"_s, u"desk.local"_s, u"192.0.2.10"_s},
                                      {u"  "_s, u"blank.local"_s, QString()}}),
                              nullptr);
        picker.show();
        QCOMPARE(Listed(picker), QStringList()); // nothing yet: answers arrive later
        QTRY_COMPARE(Listed(picker), (QStringList{u"attic"_s, u"desk"_s}));

        auto *list = picker.findChild<QListWidget *>(u"computerList"_s);
        list->setCurrentRow(1);
        QCOMPARE(picker.findChild<QLineEdit *>(u"computerName"_s)->text(), u"desk"_s);
    }

    void unavailableSourceLeavesANote()
    {
        ComputerPicker picker(Source({}, u"no daemon"_s), nullptr);
        picker.show();
        const auto *note = picker.findChild<QLabel *>(u"note"_s);
        QTRY_COMPARE(note->text(), u"no daemon"_s);
        QCOMPARE(note->textFormat(), Qt::PlainText);
        QCOMPARE(Listed(picker), QStringList());
    }

    void choosingResolves_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        // "box" is listed with host name localhost; "ghost" with a host name
        // that does not resolve but an address the network announced.
        QTest::newRow("listed computer") << u"box"_s << u"box"_s << u"127.0.0.1"_s;
        QTest::newRow("announced address") << u"ghost"_s << u"ghost"_s << u"127.0.0.2"_s;
        QTest::newRow("typed name") << u" localhost "_s << u"localhost"_s << u"127.0.0.1"_s;
        QTest::newRow("typed unknown name") << u"nobody.invalid"_s << u"nobody.invalid"_s << QString();
    }

    void choosingResolves()
    {
        QFETCH(QString, typed);
        QFETCH(QString, name);
        QFETCH(QString, address);
        ComputerPicker picker(
            Source({{u"box"_s, u"localhost"_s, QString()}, {u"ghost"_s, u"ghost.invalid"_s, u"127.0.0.2"_s}}),
            nullptr);
        picker.show();
        QTRY_COMPARE(Listed(picker).size(), 2);
        picker.findChild<QLineEdit *>(u"computerName"_s)->setText(typed);
        QSignalSpy finished(&picker, &QDialog::finished);
        QTest::mouseClick(picker.findChild<QPushButton *>(u"okButton"_s), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kHostLookupTimeoutMs + 1000);
        QCOMPARE(picker.result(), int(QDialog::Accepted));
        QCOMPARE(picker.computerName(), name);
        QCOMPARE(picker.address(), address);
    }

    void cancelStopsTheLookup()
    {
        ComputerPicker picker(Source({}), nullptr);
        picker.show();
        picker.findChild<QLineEdit *>(u"computerName"_s)->setText(u"localhost"_s);
        QSignalSpy finished(&picker, &QDialog::finished);
        auto *ok = picker.findChild<QPushButton *>(u"okButton"_s);
        QTest::mouseClick(ok, Qt::LeftButton);
        // While the name is looked up the window answers, but takes no second choice.
        QVERIFY(!ok->isEnabled());
        QVERIFY(!picker.findChild<QLineEdit *>(u"computerName"_s)->isEnabled());
        QTest::mouseClick(picker.findChild<QPushButton *>(u"cancelButton"_s), Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(picker.result(), int(QDialog::Rejected));
        QTest::qWait(200); // the abandoned answer, had it come, would close the window a second time
        QCOMPARE(finished.count(), 1);
        QCOMPARE(picker.address(), QString());
    }

    void emptyNameIsNoChoice()
    {
        ComputerPicker picker(Source({}), nullptr);
        picker.show();
        QTest::mouseClick(picker.findChild<QPushButton *>(u"okButton"_s), Qt::LeftButton);
        QVERIFY(picker.isVisible());
    }

    void browseNetworkComputerCases_data()
    {
        QTest::addColumn<QString>("typed"); // empty: closed without a choice
        QTest::addColumn<bool>("found");
        QTest::newRow("closed") << QString() << false;
        QTest::newRow("unknown") << u"no-such-computer.invalid"_s << false;
        QTest::newRow("localhost") << u"localhost"_s << true;
    }

    void browseNetworkComputerCases()
    {
        QFETCH(QString, typed);
        QFETCH(bool, found);
        setComputerSourceFactory([] { return Source({}); });
        ModalDriver::WhenOpens<ComputerPicker>([typed](ComputerPicker *picker) {
            if (typed.isEmpty()) {
                picker->close();
                return;
            }
            picker->findChild<QLineEdit *>(u"computerName"_s)->setText(typed);
            QTest::keyClick(picker->findChild<QLineEdit *>(u"computerName"_s), Qt::Key_Return);
        });
        QString address = u"unset"_s;
        QString name = u"unset"_s;
        QCOMPARE(browseNetworkComputer(nullptr, address, name), found);
        QCOMPARE(address, found ? u"127.0.0.1"_s : u"unset"_s);
        QCOMPARE(name, found ? typed : u"unset"_s);
    }

    void avahiSourceListsComputers()
    {
        PrivateBus privateBus;
        if (privateBus.address().isEmpty())
            QSKIP("dbus-daemon could not be started");
        const QString daemonName = u"quill-test-fake-avahi"_s;
        const QString clientName = u"quill-test-client"_s;
        {
            QDBusConnection daemonBus = QDBusConnection::connectToBus(privateBus.address(), daemonName);
            QVERIFY(daemonBus.isConnected());
            FakeAvahiServer server(
                daemonBus,
                {{u"desk [00:11:22:33:44:55]"_s, u"_workstation._tcp"_s, u"desk.local"_s, u"192.0.2.10"_s},
                 {u"desk"_s, u"_ssh._tcp"_s, u"desk.local"_s, u"192.0.2.10"_s},
                 {u"Desk"_s, u"_sftp-ssh._tcp"_s, u"DESK.local"_s, u"192.0.2.10"_s},
                 {u"nas"_s, u"_smb._tcp"_s, u"nas.local."_s, u"192.0.2.20"_s},
                 {u"gone"_s, u"_smb._tcp"_s, QString(), QString()},
                 {u"v6"_s, u"_rfb._tcp"_s, u"v6.local"_s, u"fe80::1"_s},
                 {u"printer"_s, u"_ipp._tcp"_s, u"printer.local"_s, u"192.0.2.30"_s}});
            QVERIFY(daemonBus.registerObject(u"/"_s, &server, QDBusConnection::ExportAllSlots));
            QVERIFY(daemonBus.registerService(u"org.freedesktop.Avahi"_s));

            QDBusConnection clientBus = QDBusConnection::connectToBus(privateBus.address(), clientName);
            AvahiComputerSource source(clientBus);
            QSignalSpy found(&source, &ComputerSource::computerFound);
            QSignalSpy unavailable(&source, &ComputerSource::unavailable);
            source.start();
            QTRY_COMPARE(found.count(), 3);
            QStringList computers;
            for (const QList<QVariant> &answer : std::as_const(found))
                computers.append(answer.at(0).toString() + u'|' + answer.at(1).toString() + u'|' +
                                 answer.at(2).toString());
            computers.sort();
            QCOMPARE(computers, (QStringList{u"desk|desk.local|192.0.2.10"_s, u"nas|nas.local.|192.0.2.20"_s,
                                             u"v6|v6.local|"_s}));
            QCOMPARE(unavailable.count(), 0);
            QCOMPARE(server.resolveCalls, 6); // printers are not asked for
        }
        QDBusConnection::disconnectFromBus(clientName);
        QDBusConnection::disconnectFromBus(daemonName);
    }

    void avahiSourceWithoutTheDaemonSaysSo()
    {
        PrivateBus privateBus;
        if (privateBus.address().isEmpty())
            QSKIP("dbus-daemon could not be started");
        const QString clientName = u"quill-test-lonely-client"_s;
        {
            AvahiComputerSource source(QDBusConnection::connectToBus(privateBus.address(), clientName));
            QSignalSpy unavailable(&source, &ComputerSource::unavailable);
            source.start();
            QTRY_COMPARE(unavailable.count(), 1);
            QTest::qWait(50); // the other browsers fail too, and must not say so again
            QCOMPARE(unavailable.count(), 1);
        }
        QDBusConnection::disconnectFromBus(clientName);
    }

    void avahiSourceWithoutABusSaysSo()
    {
        const QString connectionName = u"quill-test-no-bus"_s;
        {
            const QDBusConnection bus =
                QDBusConnection::connectToBus(u"unix:path=/nonexistent/quill-test-bus"_s, connectionName);
            QVERIFY(!bus.isConnected());
            AvahiComputerSource source(bus);
            QSignalSpy unavailable(&source, &ComputerSource::unavailable);
            QSignalSpy found(&source, &ComputerSource::computerFound);
            source.start();
            QCOMPARE(unavailable.count(), 1);
            QVERIFY(unavailable.first().first().toString().contains(u"avahi-daemon"_s));
            QCOMPARE(found.count(), 0);
        }
        QDBusConnection::disconnectFromBus(connectionName);
    }
};

QTEST_MAIN(TestGetNetworkUser)
#include "moc_fakeavahi.cpp"
#include "test_computerpicker.moc"
