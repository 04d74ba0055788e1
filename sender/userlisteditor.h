#pragma once

#include "userdialog.h"

#include <QDialog>

class PresenceBrowser;
#include <QPoint>

class QAction;
class QMenu;
class PositionKeeper;
class QPushButton;
class QTreeWidgetItem;
class SettingsStore;
class UserList;
class UserListView;
struct SenderSettings;

// The user-list editor: works on its own rows and replaces the user list on
// "Apply". It never writes the store's user list; the main window refills its
// recipient box after it closes.
class UserListEditor : public QDialog
{
    Q_OBJECT
public:
    UserListEditor(SenderSettings &settings, SettingsStore &store, QWidget *owner);
    ~UserListEditor() override;

    // The rows in ascending order; records whose order lies outside 1..N or
    // repeats that of a lower-numbered record are left out.
    void fillUserList(const UserList &users);
    void addUserRow(const UserRecord &record);

    // Handlers, named after their controls; the pointer handlers take the
    // button state (left = 1, right = 2), the shift state and the position
    // within the list.
    void load();
    void onAddClicked();
    // "People...": a person online, taken into the rows with their id (the
    // row of that id already there is selected instead).
    void onPeopleClicked();
    // The people online that "People..." offers.
    void setPeople(const PresenceBrowser *people) { m_people = people; }
    void onModifyClicked();
    void onRemoveClicked();
    void onListMousePressed(int button, int shift, QPoint position);
    void onListMouseMoved(int button, int shift, QPoint position);
    void onListMouseReleased(int button, int shift, QPoint position);
    void onMoveTriggered(int index);
    void onColumnClicked(int column);
    void onLoadClicked();
    void onResetClicked();
    void onApplyClicked();
    void onCancelClicked();

    // The sort state: column 0 to 2, order 0 ascending / 1 descending, and
    // whether the rows are kept sorted.
    int sortColumn() const { return m_sortColumn; }
    int sortOrder() const { return m_sortOrder; }
    bool sorted() const { return m_sorted; }

    // The list's context menu, for tests and the keyboard.
    QMenu *contextMenu() const { return m_menu; }

    // The indices of ListViewmn.
    enum MoveItem
    {
        MoveFirst = 1,
        MoveUp = 2,
        MoveDown = 3,
        MoveLast = 4
    };

private:
    void createMoveMenu();
    void showContextMenu(QPoint globalPosition);
    void setSorted(bool on);
    void sortRows();
    // Runs the user dialog over the editor with m_edit as its in and out.
    void runUserDialog();

    SenderSettings &m_settings;
    SettingsStore &m_store;
    UserEdit m_edit;

    int m_sortColumn = 0;
    int m_sortOrder = 0;
    bool m_sorted = false;

    QTreeWidgetItem *m_draggedRow = nullptr;
    bool m_noDrag = true;
    PositionKeeper *m_position;

    UserListView *m_list = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_moveActions[4] = {};
    const PresenceBrowser *m_people = nullptr;
};
