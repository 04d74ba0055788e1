// Quillpost's dialogs: what the boxes of the options, identification and
// user dialogs let be typed, stored values shown whole, the checks of Apply
// and Save and their boxes, the user dialog's clipboard keys, positions
// written on closing; the user list editor (orders, move menu, drag, sort,
// double click and Enter, Add, Remove, Load, Reset, Apply, Cancel) and the
// network computer picker.
#include "aboutbox.h"
#include "addressprobe.h"
#include "computerpicker.h"
#include "computersource.h"
#include "fakeavahi.h"
#include "fakerows.h"
#include "identificationdialog.h"
#include "identity.h"
#include "listeners.h"
#include "markedtexts.h"
#include "quillposttest.h"
#include "recipientsdialog.h"
#include "senderoptionsdialog.h"
#include "translation.h"
#include "userlisteditor.h"
#include "youripdialog.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTreeWidget>

class TestSenderDialogs : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    SettingsStore m_store = SettingsStore::atPath(m_folder.filePath(u"q.ini"_s));
    SenderSettings m_settings;
    std::optional<BoxRecorder> m_boxes;
    FakeRows m_rows; // the editor's rows, for the user dialog's duplicate check
    UserEdit m_edit;
    // A modal user dialog is noted by the name it shows and saved as it stands.
    QTimer m_answerer;
    QStringList m_seen;

    // The dialog that holds the box: the options (ipnumber, Portnb), the
    // identification (txtmy...) or the user dialog (user...).
    std::unique_ptr<QDialog> open(const QString &box)
    {
        std::unique_ptr<QDialog> dialog(
            box.startsWith(u"user") ? new UserDialog(m_edit, m_rows, m_settings, m_store, nullptr)
            : box.startsWith(u"txtmy")
                ? static_cast<QDialog *>(new IdentificationDialog(m_settings, m_store, nullptr))
                : new SenderOptionsDialog(m_settings, m_store, nullptr));
        dialog->show();
        return dialog;
    }

private slots:
    void initTestCase()
    {
        connect(&m_answerer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (qobject_cast<UserDialog *>(modal)) {
                m_seen << modal->findChild<QLineEdit *>(u"username"_s)->text();
                Click(modal, u"oksave"_s);
            }
        });
        m_answerer.start(5);
    }

    void init()
    {
        m_store.deleteSection(u"Settings"_s);
        m_store.deleteSection(u"Identification"_s);
        m_settings = SenderSettings();
        m_settings.defaultPort = 606;
        m_settings.userList = UserList();
        for (const QString &name : {u"A"_s, u"B"_s, u"C"_s})
            m_settings.userList.append({name, u"10.0.0.1"_s, 505, 0});
        m_edit = {{u"X"_s, u"127.0.0.1"_s, 505, 9}, true};
        m_rows.rows = {{u"Dup"_s, u"10.0.0.1"_s}, {u"X"_s, u"10.0.0.2"_s}};
        m_boxes.emplace();
        m_seen.clear();
    }

    void typing_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("kept");
        const QString name = u"A-1 x"_s + QString(130, u'n');
        QTest::addRow("ipnumber: 15")
            << u"ipnumber"_s << u"1a9 2.-1x6,8.0.123456"_s << 0 << u"192.168.0.12345"_s;
        // The user list also takes IPv6 addresses and host names.
        QTest::addRow("userip: names")
            << u"userip"_s << u"[fe80::1]/ desk-7.lan_"_s << 0 << u"[fe80::1]desk-7.lan"_s;
        for (const QString &box : {u"Portnb"_s, u"txtmyportnb"_s, u"userport"_s}) {
            QTest::addRow("%s: 5", qPrintable(box)) << box << u"-5.0 5e123"_s << 0 << u"50512"_s;
            QTest::addRow("%s: Alt", qPrintable(box)) << box << u"ab"_s << int(Qt::AltModifier) << QString();
        }
        for (const QString &box : {u"txtmyident"_s, u"username"_s})
            QTest::addRow("%s: 128", qPrintable(box)) << box << name << 0 << name.left(128);
    }

    void typing()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(int, modifiers);
        QFETCH(QString, kept);
        const auto dialog = open(box);
        auto *field = dialog->findChild<QLineEdit *>(box);
        field->clear();
        QTest::keyClicks(field, typed, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(field->text(), kept);
    }

    void apply_data()
    {
        // Values beyond the typing limits are shown whole, for Apply to judge.
        QTest::addColumn<QString>("key"); // Default...: of the options, else of the identification
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("box"); // empty: Apply takes the value
        QTest::addColumn<QString>("saved");
        const QString port = u"Error: Invalid port number"_s;
        const QString name = u"Error: Invalid User Name (lenght must be between 1 and 128)"_s;
        QTest::newRow("zeros") << u"DefaultIp"_s << u"0192.0168.0001.0010"_s << QString()
                               << u"192.168.1.10"_s;
        QTest::newRow("part 300") << u"DefaultIp"_s << u"300.1.1.1"_s << u"Error: Invalid ip address"_s
                                  << u"300.1.1.1"_s;
        QTest::newRow("7 digits") << u"DefaultPort"_s << u"1234567"_s << port << u"1234567"_s;
        QTest::newRow("reply port -1") << u"MyPortnb"_s << u"-1"_s << port << u"-1"_s;
        QTest::newRow("130 characters")
            << u"MyUsername"_s << QString(130, u'n') << name << QString(130, u'n');
    }

    void apply()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, box);
        QFETCH(QString, saved);
        const bool options = key.startsWith(u"Default");
        const QString section = options ? u"Settings"_s : u"Identification"_s;
        m_store.save(section, key, stored);
        loadSenderSettings(m_store, m_settings);
        const auto dialog = open(options ? u"Portnb"_s : u"txtmyident"_s);
        Click(dialog.get(), u"SaveOption"_s);
        QCOMPARE(m_boxes->boxes, box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(dialog->isVisible(), !box.isEmpty()); // open for a correction
        if (dialog->isVisible())
            Click(dialog.get(), u"ReturnCmd"_s);
        QCOMPARE(m_store.get(section, key, {}), saved);
        const QString position = options ? u"Option StartUPX"_s : u"Identification StartUPX"_s;
        QVERIFY(!m_store.get(u"Settings"_s, position, {}).isEmpty());
    }

    void save_data()
    {
        QTest::addColumn<QString>("typed");  // name|ip|port, typed over the user X shown at opening
        QTest::addColumn<QString>("result"); // the user saved, or the box
        const QString name = u"Error: Invalid User Name (lenght must be between 1 and 128)"_s;
        QTest::newRow("normalised") << u" Bob |010.001.000.001| 505"_s << u"Bob|10.1.0.1|505"_s;
        QTest::newRow("name first") << u" ||99999"_s << name;
        QTest::newRow("address before port") << u"Bob|a..b|99999"_s << u"Error: Invalid ip address"_s;
        QTest::newRow("IPv6") << u"Bob|[FE80:0::1]|505"_s << u"Bob|fe80::1|505"_s;
        QTest::newRow("host name") << u"Bob| desk-7.lan |505"_s << u"Bob|desk-7.lan|505"_s;
        QTest::newRow("duplicate") << u"Dup|10.0.0.001|99999"_s
                                   << u"Error: User Name and IP already in Use"_s;
        QTest::newRow("unchanged name, no duplicate") << u"X|10.0.0.2|7"_s << u"X|10.0.0.2|7"_s;
        QTest::newRow("port above 65535") << u"Bob|1.2.3.4|65536"_s << u"Error: Invalid port number"_s;
    }

    void save()
    {
        QFETCH(QString, typed);
        QFETCH(QString, result);
        const auto dialog = open(u"user"_s);
        const QStringList boxes{u"username"_s, u"userip"_s, u"userport"_s};
        for (int i = 0; i < 3; ++i)
            dialog->findChild<QLineEdit *>(boxes[i])->setText(typed.section(u'|', i, i));
        Click(dialog.get(), u"oksave"_s);
        QCOMPARE(dialog->isVisible(), result.startsWith(u"Error"));
        const QString saved = u"%1|%2|%3"_s.arg(m_edit.user.name, m_edit.user.ip).arg(m_edit.user.port);
        QCOMPARE(m_edit.cancelled ? m_boxes->boxes.join(u' ') : saved, result);
        QCOMPARE(m_edit.user.order, 9);
    }

    void testAddress_data()
    {
        QTest::addColumn<QString>("port"); // A: a listener, N: nobody, F: a listener whose queue is full
        QTest::addColumn<QString>("box");
        QTest::newRow("reachable") << u"A"_s
                                   << u"Test: 127.0.0.1 port A is reachable: a program listens there."_s;
        QTest::newRow("refused")
            << u"N"_s << u"Test: 127.0.0.1 port N refused the connection: nothing listens there."_s;
        QTest::newRow("no answer")
            << u"F"_s
            << u"Test: 127.0.0.1 port F did not answer within 0.3 s: the computer may be off "
               "or out of reach, or a firewall drops the connection."_s;
        QTest::newRow("port 0") << u"0"_s << u"Error: Invalid port number"_s;
        // A host name is looked up within the same wait.
        QTest::newRow("host name") << u"localhost:A"_s
                                   << u"Test: localhost port A is reachable: a program listens there."_s;
    }

    void testAddress()
    {
        QFETCH(QString, port);
        QFETCH(QString, box);
        const QString host = port.contains(u':') ? port.section(u':', 0, 0) : u"127.0.0.1"_s;
        port = port.section(u':', -1);
        Listeners to;
        QVERIFY(to.listen());
        // A queue of one, taken: the system drops further attempts unanswered.
        QTcpServer full;
        full.setListenBacklogSize(0);
        QVERIFY(full.listen(QHostAddress::LocalHost, 0));
        full.pauseAccepting();
        QTcpSocket queued[2];
        for (QTcpSocket &socket : queued)
            socket.connectToHost(QHostAddress::LocalHost, full.serverPort());
        QTRY_VERIFY(queued[0].state() == QAbstractSocket::ConnectedState);
        const QMap<QString, quint16> ports{
            {u"A"_s, to.alice.serverPort()}, {u"N"_s, to.nobody.localPort()}, {u"F"_s, full.serverPort()}};
        const QString number = QString::number(ports.value(port, 0));
        box.replace(u"port "_s + port, u"port "_s + number);

        m_edit.user = {u"X"_s, host, ports.value(port, 0), 0};
        UserDialog dialog(m_edit, m_rows, m_settings, m_store, nullptr);
        dialog.addressProbe()->setWait(300);
        Click(&dialog, u"testAddress"_s);
        QTRY_COMPARE(m_boxes->boxes, QStringList{box});
        // Nothing was sent: the listener got a connection that carried nothing.
        QTRY_COMPARE(to.received.join(), QByteArray());
    }

    // A contact's pinned key: its code shown, marked verified, forgotten.
    void userKey()
    {
        const QByteArray key(32, '\x3c');
        m_edit.user = {u"X"_s, u"10.0.0.2"_s, 7, 0, {}, PinnedKey{key, false}};
        for (const PinnedKey &after : {PinnedKey{key, true}, PinnedKey()}) {
            const auto dialog = open(u"user"_s);
            QCOMPARE(dialog->findChild<QLineEdit *>(u"userkeycode"_s)->text(),
                     Identity::verificationCode(key));
            dialog->findChild<QCheckBox *>(u"userkeyverified"_s)->setChecked(true);
            if (after.key.isEmpty())
                Click(dialog.get(), u"userforgetkey"_s);
            Click(dialog.get(), u"oksave"_s);
            QCOMPARE(m_edit.user.key, after);
        }
    }

    // The key is made on first need and its code shown and copied; a key
    // file that is gone is made anew only once the user agreed.
    void identificationKeyCode()
    {
        const QString path = qEnvironmentVariable("XDG_DATA_HOME") + u"/Quill/identity.pem"_s;
        QFile::remove(path);
        const auto shownCode = [this] {
            const auto dialog = open(u"txtmy"_s);
            Click(dialog.get(), u"cmdcopykeycode"_s);
            return dialog->findChild<QLineEdit *>(u"txtkeycode"_s)->text();
        };
        const QString code = shownCode();
        QCOMPARE(code, Identity::load(path).verificationCode());
        QCOMPARE(QApplication::clipboard()->text(), code);
        QCOMPARE(m_store.get(u"Identification"_s, u"KeyCode"_s, {}), code);
        QCOMPARE(shownCode(), code);
        QVERIFY(m_boxes->boxes.isEmpty());

        QVERIFY(QFile::remove(path));
        const QString made = shownCode();
        QCOMPARE(m_boxes->boxes.size(), 1);
        QVERIFY(m_boxes->boxes[0].contains(code));
        QVERIFY(made != code && !made.isEmpty());
        QCOMPARE(m_store.get(u"Identification"_s, u"KeyCode"_s, {}), made);
    }

    // Every control of every window that takes the focus has a name for a
    // screen reader, every text stays readable under a dark palette, and
    // every text goes through tr().
    void everyWindow_data() { WindowWalkRows(); }

    void everyWindow()
    {
        QFETCH(bool, marked);
        const MarkingTranslator marker(marked);
        SendWindowFixture send({u"bob"_s, u"127.0.0.1"_s, 505, 0});
        QVERIFY(send.open());
        std::vector<std::unique_ptr<QWidget>> windows;
        windows.emplace_back(new IdentificationDialog(m_settings, m_store, nullptr));
        windows.emplace_back(new SenderOptionsDialog(m_settings, m_store, nullptr));
        windows.emplace_back(new UserDialog(m_edit, m_rows, m_settings, m_store, nullptr));
        windows.emplace_back(new UserListEditor(m_settings, m_store, nullptr));
        windows.emplace_back(new RecipientsDialog(m_settings, m_store, nullptr));
        windows.emplace_back(new YourIpDialog(m_store, nullptr));
        windows.emplace_back(new ComputerPicker(nullptr, nullptr));
        windows.emplace_back(new AboutBox(u"Quillpost"_s, m_store, nullptr));
        QList<QWidget *> all{send.form.get()};
        for (const auto &window : windows)
            all << window.get();
        // Data: the program's name in the About box, the recipient's entry.
        const QStringList found = WindowWalk(marked, all, {u"Quillpost"_s, u"bob (127.0.0.1: 505)"_s});
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u", "_s)));
    }

    void germanCaption()
    {
        installTranslations(*qApp, QLocale(QLocale::German));
        const SenderOptionsDialog dialog(m_settings, m_store, nullptr);
        installTranslations(*qApp, QLocale::c());
        QCOMPARE(dialog.windowTitle(), u"Optionen"_s);
    }

    void userDialogClipboardKeys()
    {
        const auto dialog = open(u"user"_s);
        auto *port = dialog->findChild<QLineEdit *>(u"userport"_s);
        port->setSelection(1, 2); // Ctrl+C takes the whole text, Ctrl+V replaces it unfiltered
        QTest::keyClick(port, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), u" 505"_s);
        QApplication::clipboard()->setText(u"x y"_s);
        QTest::keyClick(port, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(port->text(), u"x y"_s);
    }

    void editor_data()
    {
        // Steps (a button's name; "menu K": item K of the context menu of the
        // selected row; "drag N M": row N dragged over row M; "sort C": a
        // click on the header of column C; "activate N", "dclick N", "enter":
        // on row N, or the current row; "orders": the stored orders) : the
        // rows afterwards, and the users a dialog opened for : the list after
        // Apply, as name/order.
        QTest::addColumn<QString>("row");
        QTest::newRow("stored orders") << u"orders 3 1 2 : B C A : B/1 C/2 A/3"_s;
        QTest::newRow("beyond N or repeated") << u"orders 1 4 1 : A : A/1"_s;
        QTest::newRow("A down, last") << u"menu 3, menu 4 : B C A : B/1 C/2 A/3"_s;
        QTest::newRow("A over C") << u"drag 0 2 : B C A : B/1 C/2 A/3"_s;
        QTest::newRow("names down, up, down") << u"sort 0, sort 0, sort 0 : C B A : C/1 B/2 A/3"_s;
        QTest::newRow("added into the sort")
            << u"sort 0, adduser : NewUser1 C B A, opened NewUser1 : NewUser1/1 C/2 B/3 A/4"_s;
        QTest::newRow("a drag ends the sort")
            << u"sort 0, drag 2 1, adduser : C A B NewUser1, opened NewUser1 : C/1 A/2 B/3 NewUser1/4"_s;
        QTest::newRow("double click or Enter opens")
            << u"activate 1, dclick 2, enter : A B C, opened C C : A/1 B/2 C/3"_s;
        QTest::newRow("names proposed")
            << u"adduser, adduser : A B C NewUser1 NewUser2, opened NewUser1 NewUser2 : A/1 B/2 C/3 NewUser1/4 NewUser2/5"_s;
        QTest::newRow("removed, loaded") << u"removeuser, LoadOption, removeuser : B C : B/1 C/2"_s;
        QTest::newRow("reset, cancelled") << u"ResetDefault, ReturnCmd : localhost : A/1 B/2 C/3"_s;
        QTest::newRow("localhost stays") << u"ResetDefault, removeuser : localhost : localhost/1"_s;
    }

    void editor()
    {
        QFETCH(QString, row);
        const QStringList parts = row.split(u" : "_s);
        const QString &steps = parts[0], &shown = parts[1], &applied = parts[2];
        for (int n = 1; n <= 3; ++n)
            m_settings.userList[n].order =
                steps.startsWith(u"orders") ? steps.section(u' ', n, n).toInt() : n;
        UserListEditor editor(m_settings, m_store, nullptr);
        editor.show();
        auto *list = editor.findChild<QTreeWidget *>();
        const auto at = [list](int index) {
            return list->visualItemRect(list->topLevelItem(index)).center();
        };
        for (const QString &step : steps.split(u", "_s)) {
            const int first = step.section(u' ', 1, 1).toInt(), second = step.section(u' ', 2, 2).toInt();
            if (step.startsWith(u"menu")) {
                QTest::mousePress(list->viewport(), Qt::RightButton, {},
                                  at(list->indexOfTopLevelItem(list->selectedItems().first())));
                QTRY_VERIFY(editor.contextMenu()->isVisible());
                editor.contextMenu()->actions().at(first - 1)->trigger();
                editor.contextMenu()->hide();
            } else if (step.startsWith(u"drag")) {
                QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at(first));
                QTest::mouseMove(list->viewport(), at(second));
                QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at(second));
            } else if (step.startsWith(u"activate")) { // a single click under some styles (KDE's)
                emit list->itemActivated(list->topLevelItem(first), 0);
            } else if (step.startsWith(u"dclick")) {
                QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at(first));
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at(first));
            } else if (step == u"enter") {
                QTest::keyClick(list, Qt::Key_Return);
            } else if (step.startsWith(u"sort")) {
                QHeaderView *header = list->header();
                QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                                  {header->sectionViewportPosition(first) + 5, header->height() / 2});
            } else if (!step.startsWith(u"orders")) {
                Click(&editor, step);
            }
        }
        QStringList rows;
        for (int index = 0; index < list->topLevelItemCount(); ++index)
            rows << list->topLevelItem(index)->text(0);
        QCOMPARE(rows.join(u' ') + (m_seen.isEmpty() ? QString() : u", opened "_s + m_seen.join(u' ')),
                 shown);
        if (editor.isVisible())
            Click(&editor, u"SaveOption"_s);
        QStringList users;
        for (int n = 1; n <= m_settings.userList.count(); ++n)
            users << m_settings.userList.at(n).name + u'/' + QString::number(m_settings.userList.at(n).order);
        QCOMPARE(users.join(u' '), applied);
        const bool refused = shown == u"localhost" && steps.contains(u"remove");
        QCOMPARE(m_boxes->boxes, refused ? QStringList{u"Error: Cannot delete localhost"_s} : QStringList());
        // The editor writes its position (the user list is the main window's to write).
        QVERIFY(!m_store.get(u"Settings"_s, u"Modify User StartUPX"_s, {}).isEmpty());
    }

    void networkComputer()
    {
        // The real D-Bus source, asking a stand-in daemon on a bus of the test's own.
        PrivateBus bus;
        QVERIFY(!bus.address().isEmpty());
        QDBusConnection daemon = QDBusConnection::connectToBus(bus.address(), u"daemon"_s);
        FakeAvahiServer server(daemon,
                               {{u"ghost"_s, u"_workstation._tcp"_s, u"ghost.local"_s, u"127.0.0.2"_s},
                                {u"box"_s, u"_ssh._tcp"_s, u"localhost"_s, u"fe80::1"_s},
                                {u"Box"_s, u"_smb._tcp"_s, u"LOCALHOST"_s, u"fe80::1"_s},
                                {u"blank"_s, u"_smb._tcp"_s, u" "_s, u"127.0.0.3"_s},
                                {u"gone"_s, u"_smb._tcp"_s, {}, {}},
                                {u"printer"_s, u"_ipp._tcp"_s, u"printer"_s, u"127.0.0.4"_s}});
        QVERIFY(daemon.registerObject(u"/"_s, &server, QDBusConnection::ExportAllSlots));
        QVERIFY(daemon.registerService(u"org.freedesktop.Avahi"_s));
        {
            ComputerPicker picker(std::make_unique<AvahiComputerSource>(
                                      QDBusConnection::connectToBus(bus.address(), u"client"_s)),
                                  nullptr);
            picker.show();
            // Each computer once, none blank, no printer, none unresolved.
            const auto shown = [&picker] {
                QStringList names;
                for (const QListWidgetItem *item :
                     picker.findChild<QListWidget *>()->findItems(u"*"_s, Qt::MatchWildcard))
                    names.append(item->text());
                names.sort(Qt::CaseInsensitive); // which of localhost and LOCALHOST answers first varies
                return names.join(u'|').toLower();
            };
            QTRY_COMPARE(shown(), u"ghost|localhost"_s);
            QTest::qWait(100);
            QCOMPARE(shown(), u"ghost|localhost"_s);
            picker.findChild<QLineEdit *>()->setText(u"ghost"_s);
            Click(&picker, u"okButton"_s);
            QTRY_VERIFY_WITH_TIMEOUT(!picker.isVisible(), kHostLookupTimeoutMs + 1000);
            QCOMPARE(picker.address(), u"127.0.0.2"_s); // as the network announced it
        }
        QDBusConnection::disconnectFromBus(u"client"_s);
        {
            // Without the daemon on the bus the source says so, once.
            daemon.unregisterService(u"org.freedesktop.Avahi"_s);
            AvahiComputerSource source(QDBusConnection::connectToBus(bus.address(), u"lonely"_s));
            QSignalSpy unavailable(&source, &ComputerSource::unavailable);
            source.start();
            QTRY_COMPARE(unavailable.count(), 1);
            QTest::qWait(50);
            QCOMPARE(unavailable.count(), 1);
        }
        QDBusConnection::disconnectFromBus(u"lonely"_s);
        QDBusConnection::disconnectFromBus(u"daemon"_s);
    }
};

QTEST_MAIN(TestSenderDialogs)
#include "moc_fakeavahi.cpp"
#include "test_senderdialogs.moc"
