#pragma once

// Helpers for driving the user-list editor in tests: building lists with
// given orders, reading the rows, and pressing its buttons and header.

#include "sendersettings.h"
#include "userlisteditor.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

struct Row
{
    QString name;
    QString ip;
    qint32 port;
    qint32 order;
};

// A list whose records carry exactly the given orders.
inline UserList MakeList(const QList<Row> &rows)
{
    UserList users;
    users.resize(static_cast<int>(rows.size()));
    for (int n = 1; n <= users.count(); ++n) {
        const Row &row = rows.at(n - 1);
        users[n] = UserRecord{row.name, row.ip, row.port, row.order};
    }
    return users;
}

inline UserList ThreeUsers()
{
    return MakeList({{QStringLiteral("A"), QStringLiteral("10.0.0.1"), 501, 1},
                     {QStringLiteral("B"), QStringLiteral("10.0.0.2"), 502, 2},
                     {QStringLiteral("C"), QStringLiteral("10.0.0.3"), 503, 3}});
}

inline QTreeWidget *ListOf(const UserListEditor &editor)
{
    return editor.findChild<QTreeWidget *>(QStringLiteral("listuser"));
}

inline QStringList Column(const UserListEditor &editor, int column = 0)
{
    QStringList texts;
    const QTreeWidget *list = ListOf(editor);
    for (int row = 0; row < list->topLevelItemCount(); ++row)
        texts.append(list->topLevelItem(row)->text(column));
    return texts;
}

inline QString SelectedName(const UserListEditor &editor)
{
    const QList<QTreeWidgetItem *> selected = ListOf(editor)->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text(0);
}

inline void Click(const UserListEditor &editor, const char *button)
{
    auto *widget = editor.findChild<QPushButton *>(QString::fromLatin1(button));
    QVERIFY2(widget, button);
    QTest::mouseClick(widget, Qt::LeftButton);
}

inline void SelectRow(UserListEditor &editor, int row)
{
    QTreeWidget *list = ListOf(editor);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(row)).center());
}

inline QPoint RowCentre(const UserListEditor &editor, int row)
{
    const QTreeWidget *list = ListOf(editor);
    return list->visualItemRect(list->topLevelItem(row)).center();
}

inline void SendMouse(QWidget *target, QEvent::Type type, QPoint position, Qt::MouseButton button,
                      Qt::MouseButtons buttons)
{
    QMouseEvent event(type, position, target->mapToGlobal(position), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

inline void ClickHeader(const UserListEditor &editor, int column)
{
    QHeaderView *header = ListOf(editor)->header();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
}
