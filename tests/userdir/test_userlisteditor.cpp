// The user-list editor: filling the rows, adding, changing and removing a
// user, and what Apply, Load, Reset and Cancel leave in the user list.

#include "dialogdriver.h"
#include "editordriver.h"
#include "userdialog.h"
#include "userlisteditor.h"

#include <QLineEdit>
#include <QProxyStyle>
#include <QTest>
#include <QTimer>
#include <optional>

using namespace Qt::StringLiterals;

class TestModifyUser : public QObject
{
    Q_OBJECT

    std::optional<UserDirFixture> f;

private slots:
    void init() { f.emplace(); }
    void cleanup() { QVERIFY2(!ModalDriver::GaveUp(), "a modal dialog did not open or was not answered"); }

    void fillShowsRowsByOrder_data()
    {
        QTest::addColumn<QList<int>>("orders");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("in order") << QList<int>{1, 2, 3} << QStringList{u"A"_s, u"B"_s, u"C"_s};
        QTest::newRow("rotated") << QList<int>{3, 1, 2} << QStringList{u"B"_s, u"C"_s, u"A"_s};
        QTest::newRow("order beyond N is dropped") << QList<int>{1, 3, 4} << QStringList{u"A"_s, u"B"_s};
        QTest::newRow("repeated order keeps the lower number")
            << QList<int>{1, 1, 2} << QStringList{u"A"_s, u"C"_s};
        QTest::newRow("zero and negative orders") << QList<int>{0, -1, 1} << QStringList{u"C"_s};
    }

    void fillShowsRowsByOrder()
    {
        QFETCH(QList<int>, orders);
        QFETCH(QStringList, shown);
        f->settings.userList = MakeList({{u"A"_s, u"10.0.0.1"_s, 501, orders[0]},
                                         {u"B"_s, u"10.0.0.2"_s, 502, orders[1]},
                                         {u"C"_s, u"10.0.0.3"_s, 503, orders[2]}});
        UserListEditor editor(f->settings, f->store, nullptr);
        QCOMPARE(Column(editor), shown);
        QCOMPARE(SelectedName(editor), shown.first());

        Click(editor, "SaveOption");
        QCOMPARE(f->settings.userList.count(), shown.size());
        for (int n = 1; n <= f->settings.userList.count(); ++n) {
            QCOMPARE(f->settings.userList.at(n).name, shown.at(n - 1));
            QCOMPARE(f->settings.userList.at(n).order, n);
        }
    }

    void rowsShowTheColumns()
    {
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        QCOMPARE(Column(editor, 1), (QStringList{u"10.0.0.1"_s, u"10.0.0.2"_s, u"10.0.0.3"_s}));
        QCOMPARE(Column(editor, 2), (QStringList{u"501"_s, u"502"_s, u"503"_s}));
    }

    void addProposesAFreeName_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("ips");
        QTest::addColumn<QString>("proposed");
        const QString def = u"127.0.0.1"_s;
        QTest::newRow("empty list") << QStringList{} << QStringList{} << u"NewUser1"_s;
        QTest::newRow("NewUser1 at the default address")
            << QStringList{u"NewUser1"_s} << QStringList{def} << u"NewUser2"_s;
        QTest::newRow("NewUser1 elsewhere")
            << QStringList{u"NewUser1"_s} << QStringList{u"10.0.0.9"_s} << u"NewUser1"_s;
        QTest::newRow("a gap") << QStringList{u"NewUser1"_s, u"NewUser3"_s} << QStringList{def, def}
                               << u"NewUser2"_s;
        QTest::newRow("case counts") << QStringList{u"newuser1"_s} << QStringList{def} << u"NewUser1"_s;
    }

    void addProposesAFreeName()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, ips);
        QFETCH(QString, proposed);
        UserList users;
        for (int i = 0; i < names.size(); ++i)
            users.append({names[i], ips[i], 505, 0});
        f->settings.userList = users;
        f->settings.defaultPort = 606;
        UserListEditor editor(f->settings, f->store, nullptr);
        const QString selectedBefore = SelectedName(editor);

        QString shownName;
        QString shownIp;
        QString shownPort;
        ModalDriver::WhenOpens<UserDialog>([&](UserDialog *dialog) {
            shownName = dialog->findChild<QLineEdit *>(u"username"_s)->text();
            shownIp = dialog->findChild<QLineEdit *>(u"userip"_s)->text();
            shownPort = dialog->findChild<QLineEdit *>(u"userport"_s)->text();
            QTest::mouseClick(dialog->findChild<QPushButton *>(u"oksave"_s), Qt::LeftButton);
        });
        Click(editor, "adduser");
        QCOMPARE(shownName, proposed);
        QCOMPARE(shownIp, u"127.0.0.1"_s);
        QCOMPARE(shownPort, u" 606"_s);
        QCOMPARE(Column(editor), names + QStringList{proposed});
        QCOMPARE(Column(editor, 2).last(), u"606"_s);
        QCOMPARE(SelectedName(editor), selectedBefore);
    }

    void addThenCancelAddsNothing_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Cancel") << false;
        QTest::newRow("close box") << true;
    }

    void addThenCancelAddsNothing()
    {
        QFETCH(bool, closeBox);
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        ModalDriver::WhenOpens<UserDialog>([closeBox](UserDialog *dialog) {
            if (closeBox)
                dialog->close();
            else
                QTest::mouseClick(dialog->findChild<QPushButton *>(u"cancelsave"_s), Qt::LeftButton);
        });
        Click(editor, "adduser");
        QCOMPARE(Column(editor), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
    }

    void modifyWritesTheRowBack_data()
    {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QStringList>("row");
        QTest::newRow("Save") << true << QStringList{u"Bee"_s, u"10.0.0.22"_s, u"600"_s};
        QTest::newRow("Cancel") << false << QStringList{u"B"_s, u"10.0.0.2"_s, u"502"_s};
    }

    void modifyWritesTheRowBack()
    {
        QFETCH(bool, save);
        QFETCH(QStringList, row);
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        editor.show();
        SelectRow(editor, 1);
        QString shownPort;
        ModalDriver::WhenOpens<UserDialog>([&](UserDialog *dialog) {
            auto *port = dialog->findChild<QLineEdit *>(u"userport"_s);
            shownPort = port->text();
            dialog->findChild<QLineEdit *>(u"username"_s)->setText(u" Bee "_s);
            dialog->findChild<QLineEdit *>(u"userip"_s)->setText(u"10.0.0.022"_s);
            port->setText(u"600"_s);
            const char *button = save ? "oksave" : "cancelsave";
            QTest::mouseClick(dialog->findChild<QPushButton *>(QString::fromLatin1(button)), Qt::LeftButton);
        });
        Click(editor, "moduser");
        QCOMPARE(shownPort, u" 502"_s);
        const QTreeWidgetItem *changed = ListOf(editor)->topLevelItem(1);
        QCOMPARE((QStringList{changed->text(0), changed->text(1), changed->text(2)}), row);
        QCOMPARE(Column(editor).size(), 3);
    }

    void doubleClickOrEnterOpensTheUser()
    {
        // A style that activates an item on a single click, as KDE's does.
        class SingleClickStyle : public QProxyStyle
        {
        public:
            int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                          QStyleHintReturn *returned) const override
            {
                if (hint == SH_ItemView_ActivateItemOnSingleClick)
                    return 1;
                return QProxyStyle::styleHint(hint, option, widget, returned);
            }
        } style;
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        QTreeWidget *list = ListOf(editor);
        list->setStyle(&style);
        editor.show();
        // Each User dialog that opens is noted by the name it shows and cancelled.
        QStringList opened;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, this, [&opened] {
            if (auto *dialog = qobject_cast<UserDialog *>(QApplication::activeModalWidget())) {
                opened.append(dialog->findChild<QLineEdit *>(u"username"_s)->text());
                QTest::mouseClick(dialog->findChild<QPushButton *>(u"cancelsave"_s), Qt::LeftButton);
            }
        });
        answerer.start(5);

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(editor, 1));
        QCOMPARE(SelectedName(editor), u"B"_s);
        QCOMPARE(opened, QStringList());
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, RowCentre(editor, 2));
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowCentre(editor, 2));
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, RowCentre(editor, 2));
        QCOMPARE(opened, QStringList{u"C"_s});
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Return);
        QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(opened, (QStringList{u"C"_s, u"B"_s, u"B"_s}));
    }

    void removeRefusesOnlyLocalhost_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("removed");
        QTest::newRow("localhost") << u"localhost"_s << false;
        QTest::newRow("Localhost") << u"Localhost"_s << true;
        QTest::newRow("other") << u"Bob"_s << true;
    }

    void removeRefusesOnlyLocalhost()
    {
        QFETCH(QString, name);
        QFETCH(bool, removed);
        UserList users;
        users.append({u"first"_s, u"10.0.0.1"_s, 505, 0});
        users.append({name, u"127.0.0.1"_s, 505, 0});
        f->settings.userList = users;
        UserListEditor editor(f->settings, f->store, nullptr);
        editor.show();
        SelectRow(editor, 1);
        MessageRecorder recorder;
        Click(editor, "removeuser");
        QCOMPARE(Column(editor).contains(name), !removed);
        QCOMPARE(recorder.messages.size(), removed ? 0 : 1);
        if (!removed) {
            QCOMPARE(recorder.messages.first().title, u"Error"_s);
            QCOMPARE(recorder.messages.first().text, u"Cannot delete localhost"_s);
        } else {
            QCOMPARE(SelectedName(editor), u"first"_s); // the row that is left
        }
    }

    void applyWithNoRowsEmptiesTheList()
    {
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        for (int i = 0; i < 3; ++i)
            Click(editor, "removeuser");
        QCOMPARE(Column(editor), QStringList());
        Click(editor, "removeuser"); // nothing selected, nothing happens
        Click(editor, "SaveOption");
        QCOMPARE(f->settings.userList.count(), 0);
        QVERIFY(editor.isHidden());
    }

    void resetLoadCancelAndApply_data()
    {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QStringList>("result");
        QTest::newRow("Reset, Cancel")
            << QStringList{u"ResetDefault"_s, u"ReturnCmd"_s} << QStringList{u"A"_s, u"B"_s, u"C"_s};
        QTest::newRow("Reset, Apply")
            << QStringList{u"ResetDefault"_s, u"SaveOption"_s} << QStringList{u"localhost"_s};
        QTest::newRow("Remove, Load, Apply") << QStringList{u"removeuser"_s, u"LoadOption"_s, u"SaveOption"_s}
                                             << QStringList{u"A"_s, u"B"_s, u"C"_s};
        QTest::newRow("Remove, Apply")
            << QStringList{u"removeuser"_s, u"SaveOption"_s} << QStringList{u"B"_s, u"C"_s};
    }

    void resetLoadCancelAndApply()
    {
        QFETCH(QStringList, buttons);
        QFETCH(QStringList, result);
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        for (const QString &button : buttons)
            Click(editor, button.toLatin1().constData());
        QStringList names;
        for (int n = 1; n <= f->settings.userList.count(); ++n)
            names.append(f->settings.userList.at(n).name);
        QCOMPARE(names, result);
        if (result == QStringList{u"localhost"_s})
            QCOMPARE(f->settings.userList, defaultUserList());
        QVERIFY(editor.isHidden());
    }

    void closingStoresThePositionButNoUsers()
    {
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        editor.show();
        editor.move(40, 30);
        Click(editor, "SaveOption");
        QVERIFY(editor.isHidden());
        // On disk as soon as the editor has closed, not at the next save.
        QVERIFY(!OnDisk(f->store, u"Settings"_s, u"Modify User StartUPX"_s).isEmpty());
        QVERIFY(!OnDisk(f->store, u"Settings"_s, u"Modify User StartUPY"_s).isEmpty());
        QVERIFY(f->store.getAll(u"Users"_s).isEmpty());
    }
};

QTEST_MAIN(TestModifyUser)
#include "test_userlisteditor.moc"
