// The order of the user-list editor's rows: dragging a row, the move items
// of the context menu, and sorting by a column header.

#include "dialogdriver.h"
#include "editordriver.h"
#include "userdialog.h"
#include "userlisteditor.h"

#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

class TestUserOrder : public QObject
{
    Q_OBJECT

    std::optional<UserDirFixture> f;

private slots:
    void init() { f.emplace(); }
    void cleanup() { QVERIFY2(!ModalDriver::GaveUp(), "a modal dialog did not open or was not answered"); }

    void dragMovesTheRow_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QList<int>>("over");
        QTest::addColumn<QStringList>("result");
        QTest::newRow("A over C") << 0 << QList<int>{2} << QStringList{u"B"_s, u"C"_s, u"A"_s};
        QTest::newRow("C over A") << 2 << QList<int>{0} << QStringList{u"C"_s, u"A"_s, u"B"_s};
        QTest::newRow("over itself") << 1 << QList<int>{1} << QStringList{u"A"_s, u"B"_s, u"C"_s};
        QTest::newRow("one sweep A over B then C")
            << 0 << QList<int>{1, 2} << QStringList{u"B"_s, u"C"_s, u"A"_s};
        QTest::newRow("from empty space") << -1 << QList<int>{0} << QStringList{u"A"_s, u"B"_s, u"C"_s};
    }

    void dragMovesTheRow()
    {
        QFETCH(int, from);
        QFETCH(QList<int>, over);
        QFETCH(QStringList, result);
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        editor.show();
        QWidget *viewport = ListOf(editor)->viewport();
        const QPoint start = from >= 0 ? RowCentre(editor, from) : QPoint(5, viewport->height() - 2);
        SendMouse(viewport, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        QPoint at = start;
        for (int row : over) {
            at = RowCentre(editor, row);
            SendMouse(viewport, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        }
        SendMouse(viewport, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(Column(editor), result);
        if (from >= 0)
            QCOMPARE(SelectedName(editor), QString(QChar(u'A' + from)));

        // After the release, moving the pointer carries nothing.
        SendMouse(viewport, QEvent::MouseMove, RowCentre(editor, 0), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(Column(editor), result);
    }

    void moveItemsMoveTheSelectedRow_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("item");
        QTest::addColumn<QStringList>("result");
        QTest::newRow("C up") << 2 << int(UserListEditor::MoveUp) << QStringList{u"A"_s, u"C"_s, u"B"_s};
        QTest::newRow("B down") << 1 << int(UserListEditor::MoveDown) << QStringList{u"A"_s, u"C"_s, u"B"_s};
        QTest::newRow("B first") << 1 << int(UserListEditor::MoveFirst)
                                 << QStringList{u"B"_s, u"A"_s, u"C"_s};
        QTest::newRow("B last") << 1 << int(UserListEditor::MoveLast) << QStringList{u"A"_s, u"C"_s, u"B"_s};
        QTest::newRow("A up stays") << 0 << int(UserListEditor::MoveUp)
                                    << QStringList{u"A"_s, u"B"_s, u"C"_s};
        QTest::newRow("C down stays")
            << 2 << int(UserListEditor::MoveDown) << QStringList{u"A"_s, u"B"_s, u"C"_s};
        QTest::newRow("A last") << 0 << int(UserListEditor::MoveLast) << QStringList{u"B"_s, u"C"_s, u"A"_s};
    }

    void moveItemsMoveTheSelectedRow()
    {
        QFETCH(int, selected);
        QFETCH(int, item);
        QFETCH(QStringList, result);
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        editor.show();
        SelectRow(editor, selected);
        const QString moved = SelectedName(editor);
        // Through the menu, as the user reaches it: a right press on the list.
        QTest::mousePress(ListOf(editor)->viewport(), Qt::RightButton, {}, RowCentre(editor, selected));
        QMenu *menu = editor.contextMenu();
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(menu->title(), u"ListView Option"_s);
        menu->actions().at(item - 1)->trigger();
        menu->hide();
        QCOMPARE(Column(editor), result);
        QCOMPARE(SelectedName(editor), moved);
    }

    void menuItemsFollowTheSelection_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QList<bool>>("enabled");
        QTest::newRow("one row") << 1 << 0 << QList<bool>{false, false, false, false};
        QTest::newRow("first of three") << 3 << 0 << QList<bool>{false, false, true, true};
        QTest::newRow("middle of three") << 3 << 1 << QList<bool>{true, true, true, true};
        QTest::newRow("last of three") << 3 << 2 << QList<bool>{true, true, false, false};
    }

    void menuItemsFollowTheSelection()
    {
        QFETCH(int, rows);
        QFETCH(int, selected);
        QFETCH(QList<bool>, enabled);
        UserList users;
        for (int i = 0; i < rows; ++i)
            users.append({u"U%1"_s.arg(i), u"10.0.0.1"_s, 505, 0});
        f->settings.userList = users;
        UserListEditor editor(f->settings, f->store, nullptr);
        editor.show();
        SelectRow(editor, selected);
        QTest::mousePress(ListOf(editor)->viewport(), Qt::RightButton, {}, RowCentre(editor, selected));
        QMenu *menu = editor.contextMenu();
        QTRY_VERIFY(menu->isVisible());
        QList<bool> shown;
        const QStringList texts{u"Move &First"_s, u"Move &Up"_s, u"Move &Down"_s, u"Move &Last"_s};
        for (int k = 0; k < 4; ++k) {
            shown.append(menu->actions().at(k)->isEnabled());
            QCOMPARE(menu->actions().at(k)->text(), texts.at(k));
        }
        menu->hide();
        QCOMPARE(shown, enabled);
    }

    void headerClicksSort()
    {
        f->settings.userList = MakeList({{u"bob"_s, u"10.0.0.2"_s, 505, 1},
                                         {u"Carl"_s, u"10.0.0.10"_s, 1000, 2},
                                         {u"Ann"_s, u"9.0.0.1"_s, 80, 3}});
        UserListEditor editor(f->settings, f->store, nullptr);
        editor.show();
        QVERIFY(!editor.sorted());

        // The sort column starts as "User Name", ascending: the first click flips it.
        ClickHeader(editor, 0);
        QVERIFY(editor.sorted());
        QCOMPARE(editor.sortOrder(), 1);
        QCOMPARE(Column(editor), (QStringList{u"Carl"_s, u"bob"_s, u"Ann"_s}));
        ClickHeader(editor, 0);
        QCOMPARE(editor.sortOrder(), 0);
        QCOMPARE(Column(editor), (QStringList{u"Ann"_s, u"bob"_s, u"Carl"_s}));

        // Another column starts ascending; addresses and ports compare as text.
        ClickHeader(editor, 1);
        QCOMPARE(editor.sortColumn(), 1);
        QCOMPARE(editor.sortOrder(), 0);
        QCOMPARE(Column(editor, 1), (QStringList{u"10.0.0.10"_s, u"10.0.0.2"_s, u"9.0.0.1"_s}));
        ClickHeader(editor, 2);
        QCOMPARE(Column(editor, 2), (QStringList{u"1000"_s, u"505"_s, u"80"_s}));

        // A move switches sorting off and keeps the rows where they are.
        SelectRow(editor, 2);
        editor.onMoveTriggered(UserListEditor::MoveFirst);
        QVERIFY(!editor.sorted());
        QCOMPARE(Column(editor, 2), (QStringList{u"80"_s, u"1000"_s, u"505"_s}));

        // Apply commits the order on the screen.
        Click(editor, "SaveOption");
        QCOMPARE(f->settings.userList.at(1).name, u"Ann"_s);
        QCOMPARE(f->settings.userList.at(3).name, u"bob"_s);
        QCOMPARE(f->settings.userList.at(3).order, 3);
    }

    void sortedRowsStaySorted()
    {
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        editor.show();
        ClickHeader(editor, 0); // descending: C, B, A
        ModalDriver::WhenOpens<UserDialog>([](UserDialog *dialog) {
            dialog->findChild<QLineEdit *>(u"username"_s)->setText(u"Bz"_s);
            QTest::mouseClick(dialog->findChild<QPushButton *>(u"oksave"_s), Qt::LeftButton);
        });
        Click(editor, "adduser");
        QCOMPARE(Column(editor), (QStringList{u"C"_s, u"Bz"_s, u"B"_s, u"A"_s}));

        // Load brings the stored rows back, in the sort that is on.
        Click(editor, "LoadOption");
        QVERIFY(editor.sorted());
        QCOMPARE(editor.sortOrder(), 1);
        QCOMPARE(Column(editor), (QStringList{u"C"_s, u"B"_s, u"A"_s}));
    }

    void dragEndsSorting()
    {
        f->settings.userList = ThreeUsers();
        UserListEditor editor(f->settings, f->store, nullptr);
        editor.show();
        ClickHeader(editor, 0); // descending: C, B, A
        QCOMPARE(Column(editor), (QStringList{u"C"_s, u"B"_s, u"A"_s}));
        QWidget *viewport = ListOf(editor)->viewport();
        SendMouse(viewport, QEvent::MouseButtonPress, RowCentre(editor, 2), Qt::LeftButton, Qt::LeftButton);
        SendMouse(viewport, QEvent::MouseMove, RowCentre(editor, 1), Qt::NoButton, Qt::LeftButton);
        SendMouse(viewport, QEvent::MouseButtonRelease, RowCentre(editor, 1), Qt::LeftButton, Qt::NoButton);
        QVERIFY(!editor.sorted());
        QCOMPARE(Column(editor), (QStringList{u"C"_s, u"A"_s, u"B"_s}));
    }
};

QTEST_MAIN(TestUserOrder)
#include "test_userorder.moc"
