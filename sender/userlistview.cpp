#include "userlistview.h"

#include "conversions.h"
#include "sendersettings.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

UserListView::UserListView(QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(3);
    setHeaderLabels({tr("User Name"), tr("User IP"), tr("User Port")});
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // keeps lists of thousands of users quick to lay out
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers); // names are checked only in the user dialog
    setDragEnabled(false);                              // rows are moved by the window's own drag
    // The window sorts on a header click by its own rules; the view must not.
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setStretchLastSection(true);
}

QString UserListView::rowName(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->text(NameColumn) : QString();
}

QString UserListView::rowIp(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->text(IpColumn) : QString();
}

QString UserListView::rowPort(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->text(PortColumn) : QString();
}

QTreeWidgetItem *UserListView::makeRow(const UserRecord &record)
{
    auto *row = new QTreeWidgetItem;
    setRowTexts(row, record);
    return row;
}

void UserListView::setRowTexts(QTreeWidgetItem *row, const UserRecord &record)
{
    row->setText(NameColumn, record.name);
    row->setText(IpColumn, record.ip);
    row->setText(PortColumn, integerText(record.port));
    row->setData(NameColumn, Qt::UserRole, record.id);
    row->setData(NameColumn, Qt::UserRole + 1, pinnedKeyText(record.key));
}

UserRecord UserListView::rowRecord(const QTreeWidgetItem *row)
{
    UserRecord record;
    record.name = row->text(NameColumn);
    record.ip = row->text(IpColumn);
    // A port text that no longer spells a 32-bit number reads as 0 rather
    // than wrapping around.
    record.port = toInt32(readNumber(row->text(PortColumn))).value_or(0);
    record.id = row->data(NameColumn, Qt::UserRole).toString();
    record.key = pinnedKeyFromText(row->data(NameColumn, Qt::UserRole + 1).toString());
    return record;
}

int UserListView::selectedIndex() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    if (selected.isEmpty())
        return -1;
    return indexOfTopLevelItem(selected.first());
}

void UserListView::selectRow(QTreeWidgetItem *row)
{
    if (!row)
        return;
    setCurrentItem(row);
    row->setSelected(true);
    scrollToItem(row);
}

void UserListView::mousePressEvent(QMouseEvent *event)
{
    QTreeWidget::mousePressEvent(event); // selects the row under the pointer first
    emit mousePressed(buttonState(event->button()), shiftState(event->modifiers()),
                      event->position().toPoint());
}

void UserListView::mouseMoveEvent(QMouseEvent *event)
{
    // With the left button held the window drags rows; the view's own
    // drag-selection would fight it over which row is selected.
    if (!(event->buttons() & Qt::LeftButton))
        QTreeWidget::mouseMoveEvent(event);
    emit mouseMoved(buttonState(event->buttons()), shiftState(event->modifiers()),
                    event->position().toPoint());
}

void UserListView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeWidget::mouseReleaseEvent(event);
    // The released button is no longer in buttons(); report it as the one
    // that went up, as the handlers expect.
    emit mouseReleased(buttonState(event->button()), shiftState(event->modifiers()),
                       event->position().toPoint());
}

void UserListView::contextMenuEvent(QContextMenuEvent *event)
{
    // A mouse press has already opened the menu; only the keyboard asks here.
    if (event->reason() == QContextMenuEvent::Keyboard)
        emit keyboardMenuRequested();
    event->accept();
}

void UserListView::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        emit rowEntered();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

int buttonState(Qt::MouseButtons buttons)
{
    int state = 0;
    if (buttons & Qt::LeftButton)
        state |= 1;
    if (buttons & Qt::RightButton)
        state |= 2;
    if (buttons & Qt::MiddleButton)
        state |= 4;
    return state;
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    int state = 0;
    if (modifiers & Qt::ShiftModifier)
        state |= 1;
    if (modifiers & Qt::ControlModifier)
        state |= 2;
    if (modifiers & Qt::AltModifier)
        state |= 4;
    return state;
}
