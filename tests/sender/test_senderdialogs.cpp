// The options, identification and Your IP dialogs: checks in order, values
// taken over as they pass, key filters that still let a paste in, and the
// store written whichever way a dialog closes.
#include "fieldchecks.h"
#include "identification.h"
#include "messagebox.h"
#include "optprog.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "yourip.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

Q_DECLARE_METATYPE(InterfaceAddresses)

namespace {
const QString kSettings = QStringLiteral("Settings");
const QString kIdentification = QStringLiteral("Identification");
} // namespace

class TestSenderDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void optionsApply_data();
    void optionsApply();
    void optionsResetThenApply();
    void optionsLoadRestoresBoxes();
    void optionsCloseBoxWritesStore();
    void keyFiltersDropTypedCharacters_data();
    void keyFiltersDropTypedCharacters();
    void pasteStillWorksAndIsChecked();

    void identificationApply_data();
    void identificationApply();
    void identificationResetThenCancel();
    void identificationNameLength();

    void yourIpShowsAddress();
    void reachableAddressChoice_data();
    void reachableAddressChoice();
    void reachableAddressOfThisMachine();

private:
    template <typename T> T *child(QWidget *dialog, const char *name)
    {
        return dialog->findChild<T *>(QString::fromLatin1(name));
    }
    void click(QWidget *dialog, const char *name)
    {
        QTest::mouseClick(child<QPushButton>(dialog, name), Qt::LeftButton);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
    SenderSettings m_settings;
    QStringList m_boxes;
};

void TestSenderDialogs::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store =
        std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(QStringLiteral("q.ini"))));
    m_settings = SenderSettings();
    m_boxes.clear();
    SetMessageHandler([this](QWidget *, const QString &title, const QString &text) {
        QCOMPARE(title, QStringLiteral("Error"));
        m_boxes.append(text);
    });
}

void TestSenderDialogs::cleanup()
{
    SetMessageHandler({});
    m_store.reset();
    m_dir.reset();
}

void TestSenderDialogs::optionsApply_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("defaultIp");
    QTest::addColumn<int>("defaultPort");
    QTest::addColumn<bool>("options");

    QTest::newRow("address normalised")
        << QStringLiteral("192.168.000.010") << QStringLiteral("600") << true << QString() << QString()
        << QStringLiteral("192.168.0.10") << 600 << true;
    QTest::newRow("empty port is 0") << QStringLiteral("127.0.0.1") << QString() << true << QString()
                                     << QString() << QStringLiteral("127.0.0.1") << 0 << true;
    QTest::newRow("port above range changes nothing")
        << QStringLiteral("10.0.0.1") << QStringLiteral("65536") << false
        << QStringLiteral("Invalid port number") << QStringLiteral("Portnb") << QStringLiteral("127.0.0.1")
        << 505 << true;
    QTest::newRow("bad address after port and options were taken")
        << QStringLiteral("300.1.1.1") << QStringLiteral("600") << false
        << QStringLiteral("Invalid ip address") << QStringLiteral("ipnumber") << QStringLiteral("127.0.0.1")
        << 600 << false;
}

void TestSenderDialogs::optionsApply()
{
    QFETCH(QString, ip);
    QFETCH(QString, port);
    QFETCH(bool, checked);
    QFETCH(QString, box);
    QFETCH(QString, focus);
    QFETCH(QString, defaultIp);
    QFETCH(int, defaultPort);
    QFETCH(bool, options);

    OptProg dialog(m_settings, *m_store, nullptr);
    dialog.show();
    child<QLineEdit>(&dialog, "ipnumber")->setText(ip);
    child<QLineEdit>(&dialog, "Portnb")->setText(port);
    child<QCheckBox>(&dialog, "chkminimizedsend")->setChecked(checked);
    child<QCheckBox>(&dialog, "Popupsend")->setChecked(checked);
    click(&dialog, "SaveOption");

    QCOMPARE(m_settings.DefaultIp, defaultIp);
    QCOMPARE(m_settings.DefaultPort, defaultPort);
    QCOMPARE(m_settings.MinimizedWhenSend, options);
    QCOMPARE(m_settings.PopupWhenSend, options);
    if (box.isEmpty()) {
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(!dialog.isVisible());
    } else {
        QCOMPARE(m_boxes, QStringList{box});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.focusWidget()->objectName(), focus);
        // Cancel writes what was taken over so far.
        click(&dialog, "ReturnCmd");
        QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(m_store->get(kSettings, QStringLiteral("DefaultIp"), {}), defaultIp);
    QCOMPARE(m_store->get(kSettings, QStringLiteral("DefaultPort"), {}), QString::number(defaultPort));
    QCOMPARE(m_store->get(kSettings, QStringLiteral("MinimizedWhenSend"), {}),
             options ? QStringLiteral("True") : QStringLiteral("False"));
    QVERIFY(!m_store->get(kSettings, QStringLiteral("Option StartUPX"), {}).isEmpty());
}

void TestSenderDialogs::optionsResetThenApply()
{
    m_settings.DefaultIp = QStringLiteral("10.1.1.1");
    m_settings.DefaultPort = 1;
    m_settings.MinimizedWhenSend = false;
    m_settings.PopupWhenSend = false;
    OptProg dialog(m_settings, *m_store, nullptr);
    dialog.show();
    click(&dialog, "ResetDefault");
    // Reset alone touches no variable.
    QCOMPARE(m_settings.DefaultPort, 1);
    click(&dialog, "SaveOption");
    QCOMPARE(m_settings.DefaultIp, QStringLiteral("127.0.0.1"));
    QCOMPARE(m_settings.DefaultPort, 505);
    QVERIFY(m_settings.MinimizedWhenSend);
    QVERIFY(m_settings.PopupWhenSend);
}

void TestSenderDialogs::optionsLoadRestoresBoxes()
{
    m_settings.DefaultIp = QStringLiteral("10.2.2.2");
    m_settings.DefaultPort = 700;
    m_settings.PopupWhenSend = false;
    OptProg dialog(m_settings, *m_store, nullptr);
    dialog.show();
    QCOMPARE(child<QLineEdit>(&dialog, "ipnumber")->text(), QStringLiteral("10.2.2.2"));
    child<QLineEdit>(&dialog, "ipnumber")->setText(QStringLiteral("1.1.1.1"));
    child<QLineEdit>(&dialog, "Portnb")->setText(QStringLiteral("9"));
    child<QCheckBox>(&dialog, "Popupsend")->setChecked(true);
    click(&dialog, "LoadOption");
    QCOMPARE(child<QLineEdit>(&dialog, "ipnumber")->text(), QStringLiteral("10.2.2.2"));
    QCOMPARE(child<QLineEdit>(&dialog, "Portnb")->text(), QStringLiteral("700"));
    QVERIFY(!child<QCheckBox>(&dialog, "Popupsend")->isChecked());
    QVERIFY(child<QCheckBox>(&dialog, "chkminimizedsend")->isChecked());
}

void TestSenderDialogs::optionsCloseBoxWritesStore()
{
    OptProg dialog(m_settings, *m_store, nullptr);
    dialog.show();
    dialog.move(150, 75);
    child<QLineEdit>(&dialog, "Portnb")->setText(QStringLiteral("1234"));
    QVERIFY(dialog.close());
    QCOMPARE(m_settings.DefaultPort, 505);
    QCOMPARE(m_store->get(kSettings, QStringLiteral("DefaultPort"), {}), QStringLiteral("505"));
    QCOMPARE(m_store->get(kSettings, QStringLiteral("PopupWhenSend"), {}), QStringLiteral("True"));
    QVERIFY(!m_store->get(kSettings, QStringLiteral("Option StartUPY"), {}).isEmpty());
}

void TestSenderDialogs::keyFiltersDropTypedCharacters_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    QTest::newRow("default ip") << QStringLiteral("options") << QStringLiteral("ipnumber")
                                << QStringLiteral("1a9 2.-1x6,8.0.1") << QStringLiteral("192.168.0.1");
    QTest::newRow("default port") << QStringLiteral("options") << QStringLiteral("Portnb")
                                  << QStringLiteral("-5.0 5e") << QStringLiteral("505");
    QTest::newRow("port box holds five") << QStringLiteral("options") << QStringLiteral("Portnb")
                                         << QStringLiteral("1234567") << QStringLiteral("12345");
    QTest::newRow("reply port") << QStringLiteral("identification") << QStringLiteral("txtmyportnb")
                                << QStringLiteral("a-6 0+0") << QStringLiteral("600");
    QTest::newRow("user name is not filtered")
        << QStringLiteral("identification") << QStringLiteral("txtmyident") << QStringLiteral("Ann-1 x")
        << QStringLiteral("Ann-1 x");
}

void TestSenderDialogs::keyFiltersDropTypedCharacters()
{
    QFETCH(QString, dialog);
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    std::unique_ptr<QDialog> window;
    if (dialog == u"options")
        window = std::make_unique<OptProg>(m_settings, *m_store, nullptr);
    else
        window = std::make_unique<Identification>(m_settings, *m_store, nullptr);
    window->show();
    auto *field = window->findChild<QLineEdit *>(box);
    field->clear();
    QTest::keyClicks(field, typed);
    QCOMPARE(field->text(), kept);
    // Backspace still edits.
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), kept.chopped(1));
}

void TestSenderDialogs::pasteStillWorksAndIsChecked()
{
    Identification dialog(m_settings, *m_store, nullptr);
    dialog.show();
    auto *port = child<QLineEdit>(&dialog, "txtmyportnb");
    port->clear();
    QApplication::clipboard()->setText(QStringLiteral("-1"));
    QTest::keyClick(port, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(port->text(), QStringLiteral("-1"));
    click(&dialog, "SaveOption");
    QCOMPARE(m_boxes, QStringList{QStringLiteral("Invalid port number")});
    QCOMPARE(m_settings.MyPortnb, 505);
    QVERIFY(dialog.isVisible());
}

void TestSenderDialogs::identificationApply_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("username");
    QTest::addColumn<int>("portnb");

    const QString nameBox = QStringLiteral("Invalid User Name (lenght must be between 1 and 128)");
    QTest::newRow("trimmed name and port") << QStringLiteral("  Ann  ") << QStringLiteral("600") << QString()
                                           << QString() << QStringLiteral("Ann") << 600;
    QTest::newRow("empty port is 0") << QStringLiteral("Ann") << QString() << QString() << QString()
                                     << QStringLiteral("Ann") << 0;
    QTest::newRow("port above range after the name was taken")
        << QStringLiteral("Ann") << QStringLiteral("70000") << QStringLiteral("Invalid port number")
        << QStringLiteral("txtmyportnb") << QStringLiteral("Ann") << 505;
    QTest::newRow("blank name changes nothing")
        << QStringLiteral("   ") << QStringLiteral("600") << nameBox << QStringLiteral("txtmyident")
        << QStringLiteral("Me") << 505;
    QTest::newRow("empty name") << QString() << QStringLiteral("600") << nameBox
                                << QStringLiteral("txtmyident") << QStringLiteral("Me") << 505;
}

void TestSenderDialogs::identificationApply()
{
    QFETCH(QString, name);
    QFETCH(QString, port);
    QFETCH(QString, box);
    QFETCH(QString, focus);
    QFETCH(QString, username);
    QFETCH(int, portnb);

    Identification dialog(m_settings, *m_store, nullptr);
    dialog.show();
    QCOMPARE(child<QLineEdit>(&dialog, "txtmyident")->text(), QStringLiteral("Me"));
    QCOMPARE(child<QLineEdit>(&dialog, "txtmyportnb")->text(), QStringLiteral("505"));
    child<QLineEdit>(&dialog, "txtmyident")->setText(name);
    child<QLineEdit>(&dialog, "txtmyportnb")->setText(port);
    click(&dialog, "SaveOption");

    QCOMPARE(m_settings.MyUsername, username);
    QCOMPARE(m_settings.MyPortnb, portnb);
    if (box.isEmpty()) {
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(!dialog.isVisible());
    } else {
        QCOMPARE(m_boxes, QStringList{box});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.focusWidget()->objectName(), focus);
        click(&dialog, "ReturnCmd");
    }
    QCOMPARE(m_store->get(kIdentification, QStringLiteral("MyUsername"), {}), username);
    QCOMPARE(m_store->get(kIdentification, QStringLiteral("MyPortnb"), {}), QString::number(portnb));
    QVERIFY(!m_store->get(kSettings, QStringLiteral("Identification StartUPX"), {}).isEmpty());
}

void TestSenderDialogs::identificationResetThenCancel()
{
    m_settings.MyUsername = QStringLiteral("Zoe");
    m_settings.MyPortnb = 777;
    Identification dialog(m_settings, *m_store, nullptr);
    dialog.show();
    click(&dialog, "ResetDefault");
    QCOMPARE(child<QLineEdit>(&dialog, "txtmyident")->text(), QStringLiteral("Me"));
    QCOMPARE(child<QLineEdit>(&dialog, "txtmyportnb")->text(), QStringLiteral("505"));
    click(&dialog, "ReturnCmd");
    QCOMPARE(m_settings.MyUsername, QStringLiteral("Zoe"));
    QCOMPARE(m_settings.MyPortnb, 777);
    QCOMPARE(m_store->get(kIdentification, QStringLiteral("MyUsername"), {}), QStringLiteral("Zoe"));
    QCOMPARE(m_store->get(kIdentification, QStringLiteral("MyPortnb"), {}), QStringLiteral("777"));
}

void TestSenderDialogs::identificationNameLength()
{
    Identification dialog(m_settings, *m_store, nullptr);
    dialog.show();
    auto *name = child<QLineEdit>(&dialog, "txtmyident");
    QCOMPARE(name->maxLength(), kMaxUserNameLength);
    name->setText(QString(kMaxUserNameLength + 10, u'n'));
    click(&dialog, "SaveOption");
    QCOMPARE(m_settings.MyUsername, QString(kMaxUserNameLength, u'n'));
}

void TestSenderDialogs::yourIpShowsAddress()
{
    YourIP dialog(*m_store, nullptr);
    dialog.show();
    auto *number = child<QLineEdit>(&dialog, "youripnumber");
    QVERIFY(number->isReadOnly());
    QString normalised;
    QVERIFY2(IsValidIp(number->text(), normalised), qPrintable(number->text()));
    QCOMPARE(normalised, number->text());
    // It can be selected and copied.
    number->selectAll();
    QCOMPARE(number->selectedText(), number->text());
    QTest::keyClick(number, Qt::Key_X);
    QCOMPARE(number->text(), normalised);
    QVERIFY(dialog.close());
    QVERIFY(!m_store->get(kSettings, QStringLiteral("Your IP StartUPX"), {}).isEmpty());
}

void TestSenderDialogs::reachableAddressChoice_data()
{
    using Flags = QNetworkInterface::InterfaceFlags;
    QTest::addColumn<QList<InterfaceAddresses>>("interfaces");
    QTest::addColumn<QString>("shown");

    const Flags up = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    const Flags loopback = up | QNetworkInterface::IsLoopBack;
    const auto addresses = [](std::initializer_list<const char *> texts) {
        QList<QHostAddress> list;
        for (const char *text : texts)
            list.append(QHostAddress(QString::fromLatin1(text)));
        return list;
    };

    QTest::newRow("no interfaces") << QList<InterfaceAddresses>{} << QStringLiteral("127.0.0.1");
    QTest::newRow("loopback only") << QList<InterfaceAddresses>{{loopback, addresses({"127.0.0.1", "::1"})}}
                                   << QStringLiteral("127.0.0.1");
    QTest::newRow("IPv6 only") << QList<InterfaceAddresses>{{up, addresses({"fe80::1", "2001:db8::5"})}}
                               << QStringLiteral("127.0.0.1");
    QTest::newRow("interface down") << QList<InterfaceAddresses>{{QNetworkInterface::IsUp,
                                                                  addresses({"10.0.0.4"})}}
                                    << QStringLiteral("127.0.0.1");
    QTest::newRow("LAN address") << QList<InterfaceAddresses>{{loopback, addresses({"127.0.0.1"})},
                                                              {up, addresses({"fe80::1", "192.168.1.20"})}}
                                 << QStringLiteral("192.168.1.20");
    QTest::newRow("LAN before link-local and public")
        << QList<InterfaceAddresses>{{up, addresses({"169.254.3.3"})},
                                     {up, addresses({"203.0.113.9"})},
                                     {up, addresses({"172.16.5.1"})}}
        << QStringLiteral("172.16.5.1");
    QTest::newRow("public before link-local")
        << QList<InterfaceAddresses>{{up, addresses({"169.254.3.3", "203.0.113.9"})}}
        << QStringLiteral("203.0.113.9");
    QTest::newRow("link-local when nothing else")
        << QList<InterfaceAddresses>{{up, addresses({"169.254.3.3"})}} << QStringLiteral("169.254.3.3");
}

void TestSenderDialogs::reachableAddressChoice()
{
    QFETCH(QList<InterfaceAddresses>, interfaces);
    QFETCH(QString, shown);
    QCOMPARE(ReachableIpv4Address(interfaces), shown);
}

void TestSenderDialogs::reachableAddressOfThisMachine()
{
    const QString address = ReachableIpv4Address();
    if (address != u"127.0.0.1") {
        QVERIFY(QNetworkInterface::allAddresses().contains(QHostAddress(address)));
        QVERIFY(!QHostAddress(address).isLoopback());
    }
}

QTEST_MAIN(TestSenderDialogs)
#include "test_senderdialogs.moc"
