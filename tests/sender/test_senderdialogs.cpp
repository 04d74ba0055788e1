// The options, identification and Your IP dialogs: checks in order, values
// taken over as they pass, key filters that still let a paste in, and the
// store written whichever way a dialog closes.
#include "fieldchecks.h"
#include "identificationdialog.h"
#include "messagebox.h"
#include "senderoptionsdialog.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "youripdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(InterfaceAddresses)

namespace {
const QString kSettings = u"Settings"_s;
const QString kIdentification = u"Identification"_s;
} // namespace

class TestSenderDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(u"q.ini"_s)));
        m_settings = SenderSettings();
        m_boxes.clear();
        setMessageHandler([this](QWidget *, const QString &title, const QString &text) {
            QCOMPARE(title, u"Error"_s);
            m_boxes.append(text);
        });
    }

    void cleanup()
    {
        setMessageHandler({});
        m_store.reset();
        m_dir.reset();
    }

    void optionsApply_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("defaultIp");
        QTest::addColumn<int>("defaultPort");
        QTest::addColumn<bool>("options");

        QTest::newRow("address normalised") << u"192.168.000.010"_s << u"600"_s << true << QString()
                                            << QString() << u"192.168.0.10"_s << 600 << true;
        QTest::newRow("empty port is 0")
            << u"127.0.0.1"_s << QString() << true << QString() << QString() << u"127.0.0.1"_s << 0 << true;
        QTest::newRow("port above range changes nothing")
            << u"10.0.0.1"_s << u"65536"_s << false << u"Invalid port number"_s << u"Portnb"_s
            << u"127.0.0.1"_s << 505 << true;
        QTest::newRow("bad address after port and options were taken")
            << u"300.1.1.1"_s << u"600"_s << false << u"Invalid ip address"_s << u"ipnumber"_s
            << u"127.0.0.1"_s << 600 << false;
    }

    void optionsApply()
    {
        QFETCH(QString, ip);
        QFETCH(QString, port);
        QFETCH(bool, checked);
        QFETCH(QString, box);
        QFETCH(QString, focus);
        QFETCH(QString, defaultIp);
        QFETCH(int, defaultPort);
        QFETCH(bool, options);

        SenderOptionsDialog dialog(m_settings, *m_store, nullptr);
        dialog.show();
        child<QLineEdit>(&dialog, "ipnumber")->setText(ip);
        child<QLineEdit>(&dialog, "Portnb")->setText(port);
        child<QCheckBox>(&dialog, "chkminimizedsend")->setChecked(checked);
        child<QCheckBox>(&dialog, "Popupsend")->setChecked(checked);
        click(&dialog, "SaveOption");

        QCOMPARE(m_settings.defaultIp, defaultIp);
        QCOMPARE(m_settings.defaultPort, defaultPort);
        QCOMPARE(m_settings.minimizeWhenSent, options);
        QCOMPARE(m_settings.popupWhenSent, options);
        // Cancel writes what was taken over so far.
        expectApplied(dialog, box, focus);
        QCOMPARE(m_store->get(kSettings, u"DefaultIp"_s, {}), defaultIp);
        QCOMPARE(m_store->get(kSettings, u"DefaultPort"_s, {}), QString::number(defaultPort));
        QCOMPARE(m_store->get(kSettings, u"MinimizedWhenSend"_s, {}), options ? u"True"_s : u"False"_s);
        QVERIFY(!m_store->get(kSettings, u"Option StartUPX"_s, {}).isEmpty());
    }

    void optionsResetThenApply()
    {
        m_settings.defaultIp = u"10.1.1.1"_s;
        m_settings.defaultPort = 1;
        m_settings.minimizeWhenSent = false;
        m_settings.popupWhenSent = false;
        SenderOptionsDialog dialog(m_settings, *m_store, nullptr);
        dialog.show();
        click(&dialog, "ResetDefault");
        // Reset alone touches no variable.
        QCOMPARE(m_settings.defaultPort, 1);
        click(&dialog, "SaveOption");
        QCOMPARE(m_settings.defaultIp, u"127.0.0.1"_s);
        QCOMPARE(m_settings.defaultPort, 505);
        QVERIFY(m_settings.minimizeWhenSent);
        QVERIFY(m_settings.popupWhenSent);
    }

    void optionsLoadRestoresBoxes()
    {
        m_settings.defaultIp = u"10.2.2.2"_s;
        m_settings.defaultPort = 700;
        m_settings.popupWhenSent = false;
        SenderOptionsDialog dialog(m_settings, *m_store, nullptr);
        dialog.show();
        QCOMPARE(child<QLineEdit>(&dialog, "ipnumber")->text(), u"10.2.2.2"_s);
        child<QLineEdit>(&dialog, "ipnumber")->setText(u"1.1.1.1"_s);
        child<QLineEdit>(&dialog, "Portnb")->setText(u"9"_s);
        child<QCheckBox>(&dialog, "Popupsend")->setChecked(true);
        click(&dialog, "LoadOption");
        QCOMPARE(child<QLineEdit>(&dialog, "ipnumber")->text(), u"10.2.2.2"_s);
        QCOMPARE(child<QLineEdit>(&dialog, "Portnb")->text(), u"700"_s);
        QVERIFY(!child<QCheckBox>(&dialog, "Popupsend")->isChecked());
        QVERIFY(child<QCheckBox>(&dialog, "chkminimizedsend")->isChecked());
    }

    void optionsCloseBoxWritesStore()
    {
        SenderOptionsDialog dialog(m_settings, *m_store, nullptr);
        dialog.show();
        dialog.move(150, 75);
        child<QLineEdit>(&dialog, "Portnb")->setText(u"1234"_s);
        QVERIFY(dialog.close());
        QCOMPARE(m_settings.defaultPort, 505);
        QCOMPARE(m_store->get(kSettings, u"DefaultPort"_s, {}), u"505"_s);
        QCOMPARE(m_store->get(kSettings, u"PopupWhenSend"_s, {}), u"True"_s);
        QVERIFY(!m_store->get(kSettings, u"Option StartUPY"_s, {}).isEmpty());
    }

    void keyFiltersDropTypedCharacters_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");

        QTest::newRow("default ip") << u"options"_s << u"ipnumber"_s << u"1a9 2.-1x6,8.0.1"_s
                                    << u"192.168.0.1"_s;
        QTest::newRow("default port") << u"options"_s << u"Portnb"_s << u"-5.0 5e"_s << u"505"_s;
        QTest::newRow("port box holds five") << u"options"_s << u"Portnb"_s << u"1234567"_s << u"12345"_s;
        QTest::newRow("ip box holds fifteen")
            << u"options"_s << u"ipnumber"_s << u"255.255.255.2551"_s << u"255.255.255.255"_s;
        QTest::newRow("reply port") << u"identification"_s << u"txtmyportnb"_s << u"a-6 0+0"_s << u"600"_s;
        QTest::newRow("user name is not filtered")
            << u"identification"_s << u"txtmyident"_s << u"Ann-1 x"_s << u"Ann-1 x"_s;
        QTest::newRow("user name holds 128")
            << u"identification"_s << u"txtmyident"_s << QString(kMaxUserNameLength + 2, u'n')
            << QString(kMaxUserNameLength, u'n');
    }

    void keyFiltersDropTypedCharacters()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        const std::unique_ptr<QDialog> window = open(dialog);
        auto *field = window->findChild<QLineEdit *>(box);
        field->clear();
        QTest::keyClicks(field, typed);
        QCOMPARE(field->text(), kept);
        // Backspace still edits.
        QTest::keyClick(field, Qt::Key_Backspace);
        QCOMPARE(field->text(), kept.chopped(1));
    }

    void modifiedKeysInFilteredBoxes_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("box");
        QTest::newRow("default ip") << u"options"_s << u"ipnumber"_s;
        QTest::newRow("default port") << u"options"_s << u"Portnb"_s;
        QTest::newRow("reply port") << u"identification"_s << u"txtmyportnb"_s;
    }

    void modifiedKeysInFilteredBoxes()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, box);
        const std::unique_ptr<QDialog> window = open(dialog);
        auto *field = window->findChild<QLineEdit *>(box);
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        field->setFocus();
        field->setText(u"12"_s);
        // Alt and Meta with a letter type nothing (X11 would insert the letter).
        for (const Qt::KeyboardModifiers modifiers :
             {Qt::KeyboardModifiers(Qt::AltModifier), Qt::AltModifier | Qt::ShiftModifier,
              Qt::KeyboardModifiers(Qt::MetaModifier), Qt::ControlModifier | Qt::AltModifier})
            QTest::keyClick(field, Qt::Key_A, modifiers);
        QCOMPARE(field->text(), u"12"_s);
        // A mnemonic still works from the box.
        QShortcut mnemonic(QKeySequence(u"Alt+L"_s), window.get());
        QSignalSpy mnemonicUsed(&mnemonic, &QShortcut::activated);
        QTest::keyClick(field, Qt::Key_L, Qt::AltModifier);
        QCOMPARE(mnemonicUsed.size(), 1);
        QCOMPARE(field->text(), u"12"_s);
        // The Ctrl shortcuts edit as ever.
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(field->selectedText(), u"12"_s);
        QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(field->text(), QString());
        QCOMPARE(QApplication::clipboard()->text(), u"12"_s);
        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(field->text(), u"12"_s);
        QApplication::clipboard()->setText(u"3456789"_s);
        QTest::keyClick(field, Qt::Key_End);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(field->text(), u"123456789"_s); // whole: Apply judges it
    }

    void pasteStillWorksAndIsChecked()
    {
        IdentificationDialog dialog(m_settings, *m_store, nullptr);
        dialog.show();
        auto *port = child<QLineEdit>(&dialog, "txtmyportnb");
        port->clear();
        QApplication::clipboard()->setText(u"-1"_s);
        QTest::keyClick(port, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(port->text(), u"-1"_s);
        click(&dialog, "SaveOption");
        QCOMPARE(m_boxes, QStringList{u"Invalid port number"_s});
        QCOMPARE(m_settings.myReplyPort, 505);
        QVERIFY(dialog.isVisible());
    }

    void identificationApply_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("username");
        QTest::addColumn<int>("portnb");

        const QString nameBox = u"Invalid User Name (lenght must be between 1 and 128)"_s;
        QTest::newRow("trimmed name and port")
            << u"  Ann  "_s << u"600"_s << QString() << QString() << u"Ann"_s << 600;
        QTest::newRow("empty port is 0") << u"Ann"_s << QString() << QString() << QString() << u"Ann"_s << 0;
        QTest::newRow("port above range after the name was taken")
            << u"Ann"_s << u"70000"_s << u"Invalid port number"_s << u"txtmyportnb"_s << u"Ann"_s << 505;
        QTest::newRow("blank name changes nothing")
            << u"   "_s << u"600"_s << nameBox << u"txtmyident"_s << u"Me"_s << 505;
        QTest::newRow("empty name") << QString() << u"600"_s << nameBox << u"txtmyident"_s << u"Me"_s << 505;
    }

    void identificationApply()
    {
        QFETCH(QString, name);
        QFETCH(QString, port);
        QFETCH(QString, box);
        QFETCH(QString, focus);
        QFETCH(QString, username);
        QFETCH(int, portnb);

        IdentificationDialog dialog(m_settings, *m_store, nullptr);
        dialog.show();
        QCOMPARE(child<QLineEdit>(&dialog, "txtmyident")->text(), u"Me"_s);
        QCOMPARE(child<QLineEdit>(&dialog, "txtmyportnb")->text(), u"505"_s);
        child<QLineEdit>(&dialog, "txtmyident")->setText(name);
        child<QLineEdit>(&dialog, "txtmyportnb")->setText(port);
        click(&dialog, "SaveOption");

        QCOMPARE(m_settings.myUserName, username);
        QCOMPARE(m_settings.myReplyPort, portnb);
        expectApplied(dialog, box, focus);
        QCOMPARE(m_store->get(kIdentification, u"MyUsername"_s, {}), username);
        QCOMPARE(m_store->get(kIdentification, u"MyPortnb"_s, {}), QString::number(portnb));
        QVERIFY(!m_store->get(kSettings, u"Identification StartUPX"_s, {}).isEmpty());
    }

    void identificationResetThenCancel()
    {
        m_settings.myUserName = u"Zoe"_s;
        m_settings.myReplyPort = 777;
        IdentificationDialog dialog(m_settings, *m_store, nullptr);
        dialog.show();
        click(&dialog, "ResetDefault");
        QCOMPARE(child<QLineEdit>(&dialog, "txtmyident")->text(), u"Me"_s);
        QCOMPARE(child<QLineEdit>(&dialog, "txtmyportnb")->text(), u"505"_s);
        click(&dialog, "ReturnCmd");
        QCOMPARE(m_settings.myUserName, u"Zoe"_s);
        QCOMPARE(m_settings.myReplyPort, 777);
        QCOMPARE(m_store->get(kIdentification, u"MyUsername"_s, {}), u"Zoe"_s);
        QCOMPARE(m_store->get(kIdentification, u"MyPortnb"_s, {}), u"777"_s);
    }

    void storedValuesShownWhole_data()
    {
        QTest::addColumn<QString>("key"); // Default...: the options, else the identification
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("error"); // empty: Apply takes the value
        QTest::addColumn<QString>("saved");

        // Cut to the typing limit, each would pass as another value.
        QTest::newRow("address with leading zeros")
            << u"DefaultIp"_s << u"ipnumber"_s << u"0192.0168.0001.0010"_s << QString() << u"192.168.1.10"_s;
        QTest::newRow("default port of seven digits")
            << u"DefaultPort"_s << u"Portnb"_s << u"1234567"_s << u"Invalid port number"_s << u"1234567"_s;
        QTest::newRow("reply port of seven digits")
            << u"MyPortnb"_s << u"txtmyportnb"_s << u"1234567"_s << u"Invalid port number"_s << u"1234567"_s;
        const QString longName(kMaxUserNameLength + 10, u'n');
        QTest::newRow("name beyond 128")
            << u"MyUsername"_s << u"txtmyident"_s << longName
            << u"Invalid User Name (lenght must be between 1 and 128)"_s << longName;
    }

    void storedValuesShownWhole()
    {
        QFETCH(QString, key);
        QFETCH(QString, box);
        QFETCH(QString, stored);
        QFETCH(QString, error);
        QFETCH(QString, saved);
        const bool options = key.startsWith(u"Default");
        const QString section = options ? kSettings : kIdentification;
        m_store->save(section, key, stored);
        loadSenderSettings(*m_store, m_settings);
        std::unique_ptr<QDialog> dialog = open(options ? u"options"_s : u"identification"_s);
        QCOMPARE(dialog->findChild<QLineEdit *>(box)->text(), stored);
        click(dialog.get(), "SaveOption");
        QCOMPARE(m_boxes, error.isEmpty() ? QStringList() : QStringList{error});
        dialog.reset();
        QCOMPARE(m_store->get(section, key, {}), saved);
    }

    void yourIpShowsAddress()
    {
        YourIpDialog dialog(*m_store, nullptr);
        dialog.show();
        auto *number = child<QLineEdit>(&dialog, "youripnumber");
        QVERIFY(number->isReadOnly());
        QString normalised;
        QVERIFY2(isValidIp(number->text(), normalised), qPrintable(number->text()));
        QCOMPARE(normalised, number->text());
        // It can be selected and copied.
        number->selectAll();
        QCOMPARE(number->selectedText(), number->text());
        QTest::keyClick(number, Qt::Key_X);
        QCOMPARE(number->text(), normalised);
        QVERIFY(dialog.close());
        QVERIFY(!m_store->get(kSettings, u"Your IP StartUPX"_s, {}).isEmpty());
    }

    void reachableAddressChoice_data()
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

        QTest::newRow("no interfaces") << QList<InterfaceAddresses>{} << u"127.0.0.1"_s;
        QTest::newRow("loopback only")
            << QList<InterfaceAddresses>{{loopback, addresses({"127.0.0.1", "::1"})}} << u"127.0.0.1"_s;
        QTest::newRow("IPv6 only") << QList<InterfaceAddresses>{{up, addresses({"fe80::1", "2001:db8::5"})}}
                                   << u"127.0.0.1"_s;
        QTest::newRow("interface down")
            << QList<InterfaceAddresses>{{QNetworkInterface::IsUp, addresses({"10.0.0.4"})}}
            << u"127.0.0.1"_s;
        QTest::newRow("LAN address") << QList<InterfaceAddresses>{{loopback, addresses({"127.0.0.1"})},
                                                                  {up,
                                                                   addresses({"fe80::1", "192.168.1.20"})}}
                                     << u"192.168.1.20"_s;
        QTest::newRow("LAN before link-local and public")
            << QList<InterfaceAddresses>{{up, addresses({"169.254.3.3"})},
                                         {up, addresses({"203.0.113.9"})},
                                         {up, addresses({"172.16.5.1"})}}
            << u"172.16.5.1"_s;
        QTest::newRow("public before link-local")
            << QList<InterfaceAddresses>{{up, addresses({"169.254.3.3", "203.0.113.9"})}} << u"203.0.113.9"_s;
        QTest::newRow("link-local when nothing else")
            << QList<InterfaceAddresses>{{up, addresses({"169.254.3.3"})}} << u"169.254.3.3"_s;
    }

    void reachableAddressChoice()
    {
        QFETCH(QList<InterfaceAddresses>, interfaces);
        QFETCH(QString, shown);
        QCOMPARE(reachableIpv4Address(interfaces), shown);
    }

private:
    std::unique_ptr<QDialog> open(const QString &dialog)
    {
        std::unique_ptr<QDialog> window;
        if (dialog == u"options")
            window = std::make_unique<SenderOptionsDialog>(m_settings, *m_store, nullptr);
        else
            window = std::make_unique<IdentificationDialog>(m_settings, *m_store, nullptr);
        window->show();
        return window;
    }
    template <typename T> T *child(QWidget *dialog, const char *name)
    {
        return dialog->findChild<T *>(QString::fromLatin1(name));
    }
    void click(QWidget *dialog, const char *name)
    {
        QTest::mouseClick(child<QPushButton>(dialog, name), Qt::LeftButton);
    }
    // After Apply: closed without a box when box is empty; else open with
    // the box and the caret in the field that failed, then cancelled.
    void expectApplied(QDialog &dialog, const QString &box, const QString &focus)
    {
        QCOMPARE(m_boxes, box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(dialog.isVisible(), !box.isEmpty());
        if (box.isEmpty())
            return;
        QCOMPARE(dialog.focusWidget()->objectName(), focus);
        click(&dialog, "ReturnCmd");
        QVERIFY(!dialog.isVisible());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
    SenderSettings m_settings;
    QStringList m_boxes;
};

QTEST_MAIN(TestSenderDialogs)
#include "test_senderdialogs.moc"
