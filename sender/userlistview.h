#pragma once

#include "userrows.h"

#include <QTreeWidget>

struct UserRecord;

// The editor's list of users in report style: one row a user, the name as the
// row's text and the IP address and port as its two sub-items. It reports the
// pointer to its window, which decides what a press, a move or a release means.
class UserListView : public QTreeWidget, public UserRows
{
    Q_OBJECT
public:
    enum Column
    {
        NameColumn = 0,
        IpColumn = 1,
        PortColumn = 2
    };

    explicit UserListView(QWidget *parent = nullptr);

    // UserRows: the rows as they stand, unsaved edits included.
    int rowCount() const override { return topLevelItemCount(); }
    QString rowName(int row) const override;
    QString rowIp(int row) const override;
    QString rowPort(int row) const;

    // A row made of the record's name, IP and port (decimal), not yet in the list.
    static QTreeWidgetItem *makeRow(const UserRecord &record);
    static void setRowTexts(QTreeWidgetItem *row, const UserRecord &record);
    // The record a row spells (order left 0).
    static UserRecord rowRecord(const QTreeWidgetItem *row);

    // The row index of the selected row, or -1 when none is selected.
    int selectedIndex() const;
    void selectRow(QTreeWidgetItem *row);

signals:
    // Button state as left = 1, right = 2; shift state as shift = 1, ctrl = 2, alt = 4.
    void mousePressed(int button, int shift, QPoint position);
    void mouseMoved(int button, int shift, QPoint position);
    void mouseReleased(int button, int shift, QPoint position);
    // The menu key or Shift+F10: the context menu for the selected row.
    void keyboardMenuRequested();
    // Return or Enter with a current row.
    void rowEntered();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

// Button and shift states in the form the pointer handlers receive them.
int buttonState(Qt::MouseButtons buttons);
int shiftState(Qt::KeyboardModifiers modifiers);
