// The user dialog: what it shows, the order and messages of its checks on
// Save, its key filters and clipboard keys, and filling it from the network.

#include "computerpicker.h"
#include "dialogdriver.h"
#include "fakecomputersource.h"
#include "fakerows.h"
#include "userdialog.h"

#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

QLineEdit *Field(const UserDialog &dialog, const QString &name)
{
    return dialog.findChild<QLineEdit *>(name);
}

const QString kNameMessage = u"Invalid User Name (lenght must be between 1 and 128)"_s;
const QString kIpMessage = u"Invalid ip address"_s;
const QString kDuplicateMessage = u"User Name and IP already in Use"_s;
const QString kPortMessage = u"Invalid port number"_s;
const QString kBrowseMessage = u"Unable to Browse the network"_s;

} // namespace

class TestModifyOrAdd : public QObject
{
    Q_OBJECT

private:
    std::optional<UserDirFixture> f;
    FakeRows m_rows;
    UserEdit m_edit;

    std::unique_ptr<UserDialog> Open(const UserRecord &user)
    {
        m_edit.user = user;
        auto dialog = std::make_unique<UserDialog>(m_edit, m_rows, f->settings, f->store, nullptr);
        dialog->show();
        return dialog;
    }

private slots:
    void init()
    {
        f.emplace();
        m_rows.rows.clear();
        m_edit = UserEdit();
    }

    void cleanup()
    {
        setComputerSourceFactory({});
        QVERIFY2(!ModalDriver::GaveUp(), "a modal dialog did not open or was not answered");
    }

    void openingShowsTheUser_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<qint32>("port");
        QTest::addColumn<QString>("portText");
        QTest::addColumn<bool>("editable");
        const QString local = u"127.0.0.1"_s;
        QTest::newRow("port 505") << u"Bob"_s << local << 505 << u" 505"_s << true;
        QTest::newRow("port 0") << u"Bob"_s << local << 0 << u" 0"_s << true;
        QTest::newRow("negative port") << u"Bob"_s << local << -1 << u"-1"_s << true;
        QTest::newRow("localhost") << u"localhost"_s << local << 505 << u" 505"_s << false;
        QTest::newRow("Localhost") << u"Localhost"_s << local << 505 << u" 505"_s << true;
        // Beyond the typing limits: shown whole, for Save to judge.
        QTest::newRow("over-long values")
            << QString(130, u'n') << u"0192.0168.0001.0010"_s << 1234567 << u" 1234567"_s << true;
    }

    void openingShowsTheUser()
    {
        QFETCH(QString, name);
        QFETCH(QString, ip);
        QFETCH(qint32, port);
        QFETCH(QString, portText);
        QFETCH(bool, editable);
        auto dialog = Open({name, ip, port, 0});
        QCOMPARE(Field(*dialog, u"username"_s)->text(), name);
        QCOMPARE(Field(*dialog, u"userip"_s)->text(), ip);
        QCOMPARE(Field(*dialog, u"userport"_s)->text(), portText);
        QCOMPARE(Field(*dialog, u"username"_s)->isEnabled(), editable);
        QCOMPARE(Field(*dialog, u"userip"_s)->isEnabled(), editable);
        QVERIFY(Field(*dialog, u"userport"_s)->isEnabled());
        QVERIFY(dialog->findChild<QPushButton *>(u"cmdAddNetworkUser"_s)->isEnabled());
    }

    void saveChecksInOrder_data()
    {
        QTest::addColumn<QString>("openingName");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QStringList>("rows"); // name@ip
        QTest::addColumn<QString>("message");  // empty: Save succeeds
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QStringList>("saved"); // name, ip, port

        const QStringList none;
        QTest::newRow("valid, normalised")
            << u"X"_s << u"  Bob  "_s << u"010.001.000.001"_s << u" 505"_s << none << QString() << QString()
            << QStringList{u"Bob"_s, u"10.1.0.1"_s, u"505"_s};
        QTest::newRow("blank name first")
            << u"X"_s << u"   "_s << QString() << u"99999"_s << none << kNameMessage << u"username"_s << none;
        QTest::newRow("129 characters") << u"X"_s << QString(129, u'a') << u"1.2.3.4"_s << u"5"_s << none
                                        << kNameMessage << u"username"_s << none;
        QTest::newRow("empty address before port")
            << u"X"_s << u"Bob"_s << QString() << u"99999"_s << none << kIpMessage << u"userip"_s << none;
        QTest::newRow("duplicate") << u"NewUser1"_s << u"Bob"_s << u"10.0.0.1"_s << u"505"_s
                                   << QStringList{u"Bob@10.0.0.1"_s} << kDuplicateMessage << u"username"_s
                                   << none;
        QTest::newRow("duplicate after normalising")
            << u"NewUser1"_s << u"Bob"_s << u"10.0.0.001"_s << u"99999"_s << QStringList{u"Bob@10.0.0.1"_s}
            << kDuplicateMessage << u"username"_s << none;
        QTest::newRow("same name, other address")
            << u"NewUser1"_s << u"Bob"_s << u"10.0.0.2"_s << u"505"_s << QStringList{u"Bob@10.0.0.1"_s}
            << QString() << QString() << QStringList{u"Bob"_s, u"10.0.0.2"_s, u"505"_s};
        QTest::newRow("unchanged name skips the duplicate check")
            << u"Bob"_s << u"Bob"_s << u"10.0.0.2"_s << u"505"_s
            << QStringList{u"Bob@10.0.0.1"_s, u"Bob@10.0.0.2"_s} << QString() << QString()
            << QStringList{u"Bob"_s, u"10.0.0.2"_s, u"505"_s};
        QTest::newRow("proposed NewUser1 kept")
            << u"NewUser1"_s << u"NewUser1"_s << u"10.0.0.5"_s << u"505"_s
            << QStringList{u"NewUser1@10.0.0.5"_s} << QString() << QString()
            << QStringList{u"NewUser1"_s, u"10.0.0.5"_s, u"505"_s};
        QTest::newRow("name unchanged once trimmed")
            << u"Bob"_s << u" Bob "_s << u"10.0.0.1"_s << u"7"_s << QStringList{u"Bob@10.0.0.1"_s}
            << QString() << QString() << QStringList{u"Bob"_s, u"10.0.0.1"_s, u"7"_s};
        QTest::newRow("letter case makes another name")
            << u"X"_s << u"bob"_s << u"10.0.0.1"_s << u"7"_s << QStringList{u"Bob@10.0.0.1"_s} << QString()
            << QString() << QStringList{u"bob"_s, u"10.0.0.1"_s, u"7"_s};
        QTest::newRow("port too large") << u"X"_s << u"Bob"_s << u"1.2.3.4"_s << u"65536"_s << none
                                        << kPortMessage << u"userport"_s << none;
        QTest::newRow("highest port") << u"X"_s << u"Bob"_s << u"1.2.3.4"_s << u"65535"_s << none << QString()
                                      << QString() << QStringList{u"Bob"_s, u"1.2.3.4"_s, u"65535"_s};
        QTest::newRow("pasted letters in the port") << u"X"_s << u"Bob"_s << u"1.2.3.4"_s << u"abc"_s << none
                                                    << kPortMessage << u"userport"_s << none;
        QTest::newRow("pasted digits and letters") << u"X"_s << u"Bob"_s << u"1.2.3.4"_s << u"80x"_s << none
                                                   << kPortMessage << u"userport"_s << none;
        QTest::newRow("pasted letters in the address")
            << u"X"_s << u"Bob"_s << u"abc"_s << u"80"_s << none << kIpMessage << u"userip"_s << none;
    }

    void saveChecksInOrder()
    {
        QFETCH(QString, openingName);
        QFETCH(QString, name);
        QFETCH(QString, ip);
        QFETCH(QString, port);
        QFETCH(QStringList, rows);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        QFETCH(QStringList, saved);
        for (const QString &row : rows)
            m_rows.rows.append({row.section(u'@', 0, 0), row.section(u'@', 1)});
        const UserRecord opening{openingName, u"127.0.0.1"_s, 505, 9};
        m_edit.cancelled = true;
        auto dialog = Open(opening);
        Field(*dialog, u"username"_s)->setText(name);
        Field(*dialog, u"userip"_s)->setText(ip);
        Field(*dialog, u"userport"_s)->setText(port);

        MessageRecorder recorder;
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"oksave"_s), Qt::LeftButton);
        if (message.isEmpty()) {
            QCOMPARE(recorder.messages.size(), 0);
            QVERIFY(dialog->isHidden());
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
            QVERIFY(!m_edit.cancelled);
            QCOMPARE(m_edit.user.name, saved.at(0));
            QCOMPARE(m_edit.user.ip, saved.at(1));
            QCOMPARE(m_edit.user.port, saved.at(2).toInt());
            QCOMPARE(m_edit.user.order, 9);
        } else {
            QCOMPARE(recorder.messages.size(), 1);
            QCOMPARE(recorder.messages.first().title, u"Error"_s);
            QCOMPARE(recorder.messages.first().text, message);
            QVERIFY(dialog->isVisible());
            QCOMPARE(dialog->focusWidget()->objectName(), focus);
            QVERIFY(m_edit.cancelled);
            QCOMPARE(m_edit.user.name, openingName);
            QCOMPARE(Field(*dialog, u"username"_s)->text(), name); // fields stay as they were
            QCOMPARE(Field(*dialog, u"userport"_s)->text(), port);
        }
    }

    void cancelAndCloseBox_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<bool>("cancelledBefore");
        QTest::addColumn<bool>("cancelledAfter");
        QTest::newRow("Cancel") << false << false << true;
        QTest::newRow("close box leaves false") << true << false << false;
        QTest::newRow("close box leaves true") << true << true << true;
    }

    void cancelAndCloseBox()
    {
        QFETCH(bool, closeBox);
        QFETCH(bool, cancelledBefore);
        QFETCH(bool, cancelledAfter);
        m_edit.cancelled = cancelledBefore;
        auto dialog = Open({u"Bob"_s, u"10.0.0.1"_s, 505, 0});
        Field(*dialog, u"username"_s)->setText(u"Changed"_s);
        if (closeBox)
            dialog->close();
        else
            QTest::mouseClick(dialog->findChild<QPushButton *>(u"cancelsave"_s), Qt::LeftButton);
        QVERIFY(dialog->isHidden());
        QCOMPARE(m_edit.cancelled, cancelledAfter);
        QCOMPARE(m_edit.user.name, u"Bob"_s);
        // The position is on disk as soon as the dialog has closed.
        QVERIFY(!OnDisk(f->store, u"Settings"_s, u"Modify or Add StartUPX"_s).isEmpty());
    }

    void typingIsFiltered_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("result");
        QTest::newRow("address keeps digits and points") << u"userip"_s << u"a1b.2-3 "_s << u"1.23"_s;
        QTest::newRow("address stops at 15") << u"userip"_s << u"255.255.255.2551"_s << u"255.255.255.255"_s;
        QTest::newRow("port keeps digits") << u"userport"_s << u"5x0.7"_s << u"507"_s;
        QTest::newRow("port stops at 5") << u"userport"_s << u"1234567"_s << u"12345"_s;
        QTest::newRow("name takes anything") << u"username"_s << u"Bo b!"_s << u"Bo b!"_s;
        QTest::newRow("name stops at 128") << u"username"_s << QString(130, u'n') << QString(128, u'n');
    }

    void typingIsFiltered()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, result);
        auto dialog = Open({u"Bob"_s, u"10.0.0.1"_s, 505, 0});
        QLineEdit *edit = Field(*dialog, field);
        edit->clear();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), result);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), result.chopped(1));
    }

    void clipboardKeysTakeTheWholeText_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("address") << u"userip"_s;
        QTest::newRow("port") << u"userport"_s;
    }

    void clipboardKeysTakeTheWholeText()
    {
        QFETCH(QString, field);
        auto dialog = Open({u"Bob"_s, u"10.0.0.1"_s, 505, 0});
        QLineEdit *edit = Field(*dialog, field);
        QClipboard *clipboard = QGuiApplication::clipboard();

        edit->setText(u"1234"_s);
        QTest::keyClick(edit, Qt::Key_A, Qt::AltModifier); // types nothing
        QCOMPARE(edit->text(), u"1234"_s);
        edit->setSelection(1, 2);
        QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), u"1234"_s); // the whole text, not the selection

        clipboard->setText(u"x y z"_s);
        edit->setCursorPosition(2);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), u"x y z"_s); // replaced whole, unfiltered

        // Cut and undo do nothing in these fields, nor does a shifted paste.
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(edit->text(), u"x y z"_s);
        QCOMPARE(clipboard->text(), u"x y z"_s);

        clipboard->clear();
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), QString());
    }

    void addNetworkUserFillsTheFields()
    {
        f->settings.defaultPort = 505;
        setComputerSourceFactory([] {
            return std::make_unique<FakeComputerSource>(
                QList<FakeComputer>{{u"loopback-box"_s, u"localhost"_s, QString()}});
        });
        // The built-in user: its name and address cannot be typed over, but
        // a computer from the network replaces them.
        auto dialog = Open({u"localhost"_s, u"127.0.0.1"_s, 600, 0});
        ModalDriver::WhenOpens<ComputerPicker>([](ComputerPicker *picker) {
            auto *list = picker->findChild<QListWidget *>(u"computerList"_s);
            QTRY_COMPARE(list->count(), 1);
            list->setCurrentRow(0);
            QTest::mouseClick(picker->findChild<QPushButton *>(u"okButton"_s), Qt::LeftButton);
        });
        MessageRecorder recorder;
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"cmdAddNetworkUser"_s), Qt::LeftButton);
        QCOMPARE(recorder.messages.size(), 0);
        QCOMPARE(Field(*dialog, u"username"_s)->text(), u"loopback-box"_s);
        QCOMPARE(Field(*dialog, u"userip"_s)->text(), u"127.0.0.1"_s);
        QCOMPARE(Field(*dialog, u"userport"_s)->text(), u"505"_s); // the digits alone
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"oksave"_s), Qt::LeftButton);
        QCOMPARE(m_edit.user.name, u"loopback-box"_s);
        QCOMPARE(m_edit.user.port, 505);
    }

    void addNetworkUserFailureKeepsTheFields_data()
    {
        QTest::addColumn<QString>("typed"); // empty: the picker is cancelled
        QTest::newRow("picker cancelled") << QString();
        QTest::newRow("name that does not resolve") << u"no-such-computer.invalid"_s;
    }

    void addNetworkUserFailureKeepsTheFields()
    {
        QFETCH(QString, typed);
        setComputerSourceFactory([] { return std::make_unique<FakeComputerSource>(QList<FakeComputer>{}); });
        auto dialog = Open({u"Bob"_s, u"10.0.0.1"_s, 505, 0});
        ModalDriver::WhenOpens<ComputerPicker>([typed](ComputerPicker *picker) {
            if (typed.isEmpty()) {
                QTest::mouseClick(picker->findChild<QPushButton *>(u"cancelButton"_s), Qt::LeftButton);
                return;
            }
            picker->findChild<QLineEdit *>(u"computerName"_s)->setText(typed);
            QTest::mouseClick(picker->findChild<QPushButton *>(u"okButton"_s), Qt::LeftButton);
        });
        MessageRecorder recorder;
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"cmdAddNetworkUser"_s), Qt::LeftButton);
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages.first().title, u"Error"_s);
        QCOMPARE(recorder.messages.first().text, kBrowseMessage);
        QCOMPARE(Field(*dialog, u"username"_s)->text(), u"Bob"_s);
        QCOMPARE(Field(*dialog, u"userip"_s)->text(), u"10.0.0.1"_s);
        QCOMPARE(Field(*dialog, u"userport"_s)->text(), u" 505"_s);
    }
};

QTEST_MAIN(TestModifyOrAdd)
#include "test_userdialog.moc"
