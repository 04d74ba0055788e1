// The user-list editor: filling the rows, adding, changing and removing a
// user, and what Apply, Load, Reset and Cancel leave in the user list.

#include "dialogdriver.h"
#include "editordriver.h"
#include "modify_or_add.h"
#include "modifyuser.h"
#include "sendersettings.h"
#include "settingsstore.h"

#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

class TestModifyUser : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    std::optional<SettingsStore> m_store;
    SenderSettings m_settings;

private slots:
    void init()
    {
        QVERIFY(m_folder.isValid());
        m_store.emplace(SettingsStore::atPath(m_folder.filePath(QStringLiteral("Quillpost.ini"))));
        m_settings = SenderSettings();
        ModalDriver::GaveUp() = false;
    }

    void cleanup()
    {
        QVERIFY2(!ModalDriver::GaveUp(), "a modal dialog did not open or was not answered");
        m_store.reset();
    }

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
        m_settings.userList = MakeList({{QStringLiteral("A"), QStringLiteral("10.0.0.1"), 501, orders[0]},
                                        {QStringLiteral("B"), QStringLiteral("10.0.0.2"), 502, orders[1]},
                                        {QStringLiteral("C"), QStringLiteral("10.0.0.3"), 503, orders[2]}});
        ModifyUser editor(m_settings, *m_store, nullptr);
        QCOMPARE(Column(editor), shown);
        QCOMPARE(SelectedName(editor), shown.first());

        Click(editor, "SaveOption");
        QCOMPARE(m_settings.userList.count(), shown.size());
        for (int n = 1; n <= m_settings.userList.count(); ++n) {
            QCOMPARE(m_settings.userList.at(n).name, shown.at(n - 1));
            QCOMPARE(m_settings.userList.at(n).order, n);
        }
    }

    void rowsShowTheColumns()
    {
        m_settings.userList = ThreeUsers();
        ModifyUser editor(m_settings, *m_store, nullptr);
        QCOMPARE(editor.windowTitle(), QStringLiteral("Modify User"));
        const QTreeWidgetItem *header = ListOf(editor)->headerItem();
        QCOMPARE(header->text(0), QStringLiteral("User Name"));
        QCOMPARE(header->text(1), QStringLiteral("User IP"));
        QCOMPARE(header->text(2), QStringLiteral("User Port"));
        QCOMPARE(Column(editor, 1), (QStringList{u"10.0.0.1"_s, u"10.0.0.2"_s, u"10.0.0.3"_s}));
        QCOMPARE(Column(editor, 2), (QStringList{u"501"_s, u"502"_s, u"503"_s}));
    }

    void addProposesAFreeName_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("ips");
        QTest::addColumn<QString>("proposed");
        const QString def = QStringLiteral("127.0.0.1");
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
        m_settings.userList = users;
        m_settings.DefaultPort = 606;
        ModifyUser editor(m_settings, *m_store, nullptr);
        const QString selectedBefore = SelectedName(editor);

        QString shownName;
        QString shownIp;
        QString shownPort;
        ModalDriver::WhenOpens<Modify_or_add>([&](Modify_or_add *dialog) {
            shownName = dialog->findChild<QLineEdit *>(QStringLiteral("username"))->text();
            shownIp = dialog->findChild<QLineEdit *>(QStringLiteral("userip"))->text();
            shownPort = dialog->findChild<QLineEdit *>(QStringLiteral("userport"))->text();
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("oksave")), Qt::LeftButton);
        });
        Click(editor, "adduser");
        QCOMPARE(shownName, proposed);
        QCOMPARE(shownIp, QStringLiteral("127.0.0.1"));
        QCOMPARE(shownPort, QStringLiteral(" 606"));
        QCOMPARE(Column(editor), names + QStringList{proposed});
        QCOMPARE(Column(editor, 2).last(), QStringLiteral("606"));
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
        m_settings.userList = ThreeUsers();
        ModifyUser editor(m_settings, *m_store, nullptr);
        ModalDriver::WhenOpens<Modify_or_add>([closeBox](Modify_or_add *dialog) {
            if (closeBox)
                dialog->close();
            else
                QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cancelsave")),
                                  Qt::LeftButton);
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
        m_settings.userList = ThreeUsers();
        ModifyUser editor(m_settings, *m_store, nullptr);
        editor.show();
        SelectRow(editor, 1);
        QString shownPort;
        ModalDriver::WhenOpens<Modify_or_add>([&](Modify_or_add *dialog) {
            auto *port = dialog->findChild<QLineEdit *>(QStringLiteral("userport"));
            shownPort = port->text();
            dialog->findChild<QLineEdit *>(QStringLiteral("username"))->setText(QStringLiteral(" Bee "));
            dialog->findChild<QLineEdit *>(QStringLiteral("userip"))->setText(QStringLiteral("10.0.0.022"));
            port->setText(QStringLiteral("600"));
            const char *button = save ? "oksave" : "cancelsave";
            QTest::mouseClick(dialog->findChild<QPushButton *>(QString::fromLatin1(button)), Qt::LeftButton);
        });
        Click(editor, "moduser");
        QCOMPARE(shownPort, QStringLiteral(" 502"));
        const QTreeWidgetItem *changed = ListOf(editor)->topLevelItem(1);
        QCOMPARE((QStringList{changed->text(0), changed->text(1), changed->text(2)}), row);
        QCOMPARE(Column(editor).size(), 3);
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
        users.append({QStringLiteral("first"), QStringLiteral("10.0.0.1"), 505, 0});
        users.append({name, QStringLiteral("127.0.0.1"), 505, 0});
        m_settings.userList = users;
        ModifyUser editor(m_settings, *m_store, nullptr);
        editor.show();
        SelectRow(editor, 1);
        MessageRecorder recorder;
        Click(editor, "removeuser");
        QCOMPARE(Column(editor).contains(name), !removed);
        QCOMPARE(recorder.messages.size(), removed ? 0 : 1);
        if (!removed) {
            QCOMPARE(recorder.messages.first().title, QStringLiteral("Error"));
            QCOMPARE(recorder.messages.first().text, QStringLiteral("Cannot delete localhost"));
        } else {
            QCOMPARE(SelectedName(editor), QStringLiteral("first")); // the row that is left
        }
    }

    void applyWithNoRowsEmptiesTheList()
    {
        m_settings.userList = ThreeUsers();
        ModifyUser editor(m_settings, *m_store, nullptr);
        for (int i = 0; i < 3; ++i)
            Click(editor, "removeuser");
        QCOMPARE(Column(editor), QStringList());
        Click(editor, "removeuser"); // nothing selected, nothing happens
        Click(editor, "SaveOption");
        QCOMPARE(m_settings.userList.count(), 0);
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
        m_settings.userList = ThreeUsers();
        ModifyUser editor(m_settings, *m_store, nullptr);
        for (const QString &button : buttons)
            Click(editor, button.toLatin1().constData());
        QStringList names;
        for (int n = 1; n <= m_settings.userList.count(); ++n)
            names.append(m_settings.userList.at(n).name);
        QCOMPARE(names, result);
        if (result == QStringList{u"localhost"_s})
            QCOMPARE(m_settings.userList, DefaultUserList());
        QVERIFY(editor.isHidden());
    }

    void closingStoresThePositionButNoUsers()
    {
        m_settings.userList = ThreeUsers();
        {
            ModifyUser editor(m_settings, *m_store, nullptr);
            editor.show();
            editor.move(40, 30);
            Click(editor, "SaveOption");
        }
        QVERIFY(!m_store->get(QStringLiteral("Settings"), QStringLiteral("Modify User StartUPX"), QString())
                     .isEmpty());
        QVERIFY(!m_store->get(QStringLiteral("Settings"), QStringLiteral("Modify User StartUPY"), QString())
                     .isEmpty());
        QVERIFY(m_store->getAll(QStringLiteral("Users")).isEmpty());
    }
};

QTEST_MAIN(TestModifyUser)
#include "test_modifyuser.moc"
