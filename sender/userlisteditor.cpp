#include "userlisteditor.h"

#include "peopledialog.h"

#include "fieldchecks.h"
#include "messagebox.h"
#include "positionkeeper.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "storelist.h"
#include "userlistview.h"
#include "windowposition.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

namespace {

const QString kWindowPrefix = QStringLiteral("Modify User ");
const QString kLocalhost = QStringLiteral("localhost");
const QString kNewUserPrefix = QStringLiteral("NewUser");

QPushButton *addButton(QWidget *parent, QLayout *layout, const QString &name, const QString &text)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false); // Enter in the list must not apply or close
    layout->addWidget(button);
    return button;
}

} // namespace

UserListEditor::UserListEditor(SenderSettings &settings, SettingsStore &store, QWidget *owner)
    : QDialog(owner)
    , m_settings(settings)
    , m_store(store)
    , m_position(new PositionKeeper(this, store, kWindowPrefix))
{
    setObjectName(QStringLiteral("ModifyUser"));
    setWindowTitle(tr("Modify User"));

    auto *frame = new QGroupBox(tr("User list"), this);
    frame->setObjectName(QStringLiteral("Frm"));
    m_list = new UserListView(frame);
    m_list->setObjectName(QStringLiteral("listuser"));
    m_list->setAccessibleName(frame->title());
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(m_list);

    auto *buttons = new QVBoxLayout;
    QPushButton *adduser = addButton(this, buttons, QStringLiteral("adduser"), tr("Add"));
    QPushButton *people = addButton(this, buttons, QStringLiteral("addPeople"), tr("&People..."));
    QPushButton *moduser = addButton(this, buttons, QStringLiteral("moduser"), tr("Modify"));
    QPushButton *removeuser = addButton(this, buttons, QStringLiteral("removeuser"), tr("Remove"));
    buttons->addStretch();
    QPushButton *reset = addButton(this, buttons, QStringLiteral("ResetDefault"), tr("Reset"));
    QPushButton *loadButton = addButton(this, buttons, QStringLiteral("LoadOption"), tr("Load"));
    QPushButton *apply = addButton(this, buttons, QStringLiteral("SaveOption"), tr("Apply"));
    QPushButton *cancel = addButton(this, buttons, QStringLiteral("ReturnCmd"), tr("Cancel"));

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addLayout(buttons);

    createMoveMenu();

    connect(adduser, &QPushButton::clicked, this, &UserListEditor::onAddClicked);
    connect(people, &QPushButton::clicked, this, &UserListEditor::onPeopleClicked);
    connect(moduser, &QPushButton::clicked, this, &UserListEditor::onModifyClicked);
    connect(removeuser, &QPushButton::clicked, this, &UserListEditor::onRemoveClicked);
    connect(reset, &QPushButton::clicked, this, &UserListEditor::onResetClicked);
    connect(loadButton, &QPushButton::clicked, this, &UserListEditor::onLoadClicked);
    connect(apply, &QPushButton::clicked, this, &UserListEditor::onApplyClicked);
    connect(cancel, &QPushButton::clicked, this, &UserListEditor::onCancelClicked);
    connect(m_list, &UserListView::mousePressed, this, &UserListEditor::onListMousePressed);
    connect(m_list, &UserListView::mouseMoved, this, &UserListEditor::onListMouseMoved);
    connect(m_list, &UserListView::mouseReleased, this, &UserListEditor::onListMouseReleased);
    connect(m_list, &UserListView::keyboardMenuRequested, this, [this] {
        QTreeWidgetItem *row = m_list->currentItem();
        const QRect place = row ? m_list->visualItemRect(row) : QRect();
        showContextMenu(m_list->viewport()->mapToGlobal(place.center()));
    });
    connect(m_list->header(), &QHeaderView::sectionClicked, this, &UserListEditor::onColumnClicked);
    // A double click or Enter on a row changes that user. Not itemActivated:
    // with a style that activates on a single click (KDE), merely selecting
    // a row would open the dialog.
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { onModifyClicked(); });
    connect(m_list, &UserListView::rowEntered, this, &UserListEditor::onModifyClicked);

    resize(560, 360);
    load();
}

UserListEditor::~UserListEditor() = default;

void UserListEditor::createMoveMenu()
{
    m_menu = new QMenu(tr("ListView Option"), this);
    m_menu->setObjectName(QStringLiteral("mainmn"));
    const QString moveTexts[] = {tr("Move &First"), tr("Move &Up"), tr("Move &Down"), tr("Move &Last")};
    for (int k = MoveFirst; k <= MoveLast; ++k) {
        QAction *item = m_menu->addAction(moveTexts[k - 1]);
        item->setObjectName(QStringLiteral("ListViewmn"));
        item->setData(k);
        connect(item, &QAction::triggered, this, [this, k] { onMoveTriggered(k); });
        m_moveActions[k - 1] = item;
    }
}

void UserListEditor::load()
{
    fillUserList(m_settings.userList);
    m_position->place();
}

void UserListEditor::fillUserList(const UserList &users)
{
    m_draggedRow = nullptr;
    m_noDrag = true;
    m_list->clear();
    // For each position p the first record (by number) whose order is p; one
    // pass instead of a search per position keeps large lists quick.
    const int n = std::min(users.count(), kMaxListEntries);
    std::vector<int> recordAt(static_cast<size_t>(n) + 1, 0);
    for (int record = 1; record <= users.count(); ++record) {
        const qint32 order = users.at(record).order;
        if (order >= 1 && order <= n && recordAt[static_cast<size_t>(order)] == 0)
            recordAt[static_cast<size_t>(order)] = record;
    }
    QList<QTreeWidgetItem *> rows;
    rows.reserve(n);
    for (int p = 1; p <= n; ++p) {
        if (recordAt[static_cast<size_t>(p)] != 0)
            rows.append(UserListView::makeRow(users.at(recordAt[static_cast<size_t>(p)])));
    }
    m_list->addTopLevelItems(rows);
    if (m_sorted)
        sortRows();
    m_list->selectRow(m_list->topLevelItem(0));
}

void UserListEditor::addUserRow(const UserRecord &record)
{
    m_list->addTopLevelItem(UserListView::makeRow(record));
    if (m_sorted)
        sortRows();
}

void UserListEditor::runUserDialog()
{
    UserDialog dialog(m_edit, *m_list, m_settings, m_store, this);
    dialog.exec();
}

void UserListEditor::onPeopleClicked()
{
    PeopleDialog dialog(m_people, this);
    if (dialog.exec() != QDialog::Accepted || !dialog.chosen())
        return;
    const PresencePerson person = *dialog.chosen();
    for (int row = 0; row < m_list->rowCount(); ++row) {
        if (UserListView::rowRecord(m_list->topLevelItem(row)).id == person.record.id) {
            m_list->selectRow(m_list->topLevelItem(row));
            return;
        }
    }
    QString name;
    if (m_list->rowCount() >= kMaxListEntries || !isValidUserName(person.record.name, name)) {
        QApplication::beep();
        return;
    }
    addUserRow({name, person.address, person.port, 0, person.record.id});
}

void UserListEditor::onAddClicked()
{
    if (m_list->rowCount() >= kMaxListEntries) {
        QApplication::beep();
        return;
    }
    // The names already given to users at the default address, collected once
    // so that a long list is walked once rather than once per candidate.
    QSet<QString> taken;
    for (int row = 0; row < m_list->rowCount(); ++row) {
        if (m_list->rowIp(row) == m_settings.defaultIp)
            taken.insert(m_list->rowName(row));
    }
    // With every candidate taken the name stays empty for the user to type:
    // a name left over from an earlier edit would skip the duplicate check.
    m_edit.user.name.clear();
    for (int i = 1; i <= kMaxListEntries; ++i) {
        const QString candidate = kNewUserPrefix + QString::number(i);
        if (!taken.contains(candidate)) {
            m_edit.user.name = candidate;
            break;
        }
    }
    m_edit.user.ip = m_settings.defaultIp;
    m_edit.user.port = m_settings.defaultPort;
    m_edit.cancelled = true;
    runUserDialog();
    if (!m_edit.cancelled)
        addUserRow(m_edit.user);
}

void UserListEditor::onModifyClicked()
{
    QTreeWidgetItem *row = m_list->currentItem();
    if (!row || !row->isSelected())
        return;
    m_edit.user = UserListView::rowRecord(row);
    runUserDialog();
    // After Cancel the record still holds the row's own values.
    UserListView::setRowTexts(row, m_edit.user);
    if (m_sorted)
        sortRows();
}

void UserListEditor::onRemoveClicked()
{
    const int index = m_list->selectedIndex();
    if (index < 0)
        return;
    if (m_list->rowName(index) == kLocalhost) {
        showMessage(this, kTitleError, tr("Cannot delete localhost"));
        return;
    }
    QTreeWidgetItem *row = m_list->takeTopLevelItem(index);
    if (row == m_draggedRow) {
        m_draggedRow = nullptr;
        m_noDrag = true;
    }
    delete row;
    // The row that took its place, so that Remove can be pressed again.
    m_list->selectRow(m_list->topLevelItem(std::min(index, m_list->rowCount() - 1)));
}

void UserListEditor::onListMousePressed(int button, int shift, QPoint position)
{
    Q_UNUSED(shift);
    if (button == 2) {
        showContextMenu(m_list->viewport()->mapToGlobal(position));
    } else if (button == 1) {
        m_draggedRow = m_list->itemAt(position);
        m_noDrag = m_draggedRow == nullptr;
    }
}

void UserListEditor::onListMouseMoved(int button, int shift, QPoint position)
{
    Q_UNUSED(shift);
    if (button != 1 || m_noDrag || !m_draggedRow)
        return;
    QTreeWidgetItem *under = m_list->itemAt(position);
    if (!under || under == m_draggedRow)
        return;
    setSorted(false);
    // The dragged row takes the place of the row under the pointer; the rows
    // in between move one step towards its old place.
    const int target = m_list->indexOfTopLevelItem(under);
    QTreeWidgetItem *row = m_list->takeTopLevelItem(m_list->indexOfTopLevelItem(m_draggedRow));
    m_list->insertTopLevelItem(target, row);
    m_list->selectRow(row);
}

void UserListEditor::onListMouseReleased(int button, int shift, QPoint position)
{
    Q_UNUSED(shift);
    Q_UNUSED(position);
    if (button == 1 && !m_noDrag) {
        m_draggedRow = nullptr;
        m_noDrag = true;
    }
}

void UserListEditor::showContextMenu(QPoint globalPosition)
{
    const int selected = m_list->selectedIndex();
    const int last = m_list->rowCount() - 1;
    m_moveActions[MoveFirst - 1]->setEnabled(selected > 0);
    m_moveActions[MoveUp - 1]->setEnabled(selected > 0);
    m_moveActions[MoveDown - 1]->setEnabled(selected >= 0 && selected < last);
    m_moveActions[MoveLast - 1]->setEnabled(selected >= 0 && selected < last);
    // Not exec(): the menu acts through its items, and the editor stays live.
    m_menu->popup(globalPosition);
}

void UserListEditor::onMoveTriggered(int index)
{
    const int selected = m_list->selectedIndex();
    if (selected < 0 || index < MoveFirst || index > MoveLast)
        return;
    setSorted(false);
    QTreeWidgetItem *row = m_list->takeTopLevelItem(selected);
    const int remaining = m_list->rowCount();
    int target = 0;
    switch (index) {
    case MoveFirst:
        target = 0;
        break;
    case MoveUp:
        target = std::max(selected - 1, 0);
        break;
    case MoveDown:
        target = std::min(selected + 1, remaining);
        break;
    case MoveLast:
        target = remaining;
        break;
    }
    m_list->insertTopLevelItem(target, row);
    m_list->selectRow(row);
}

void UserListEditor::onColumnClicked(int column)
{
    if (column != m_sortColumn) {
        m_sortColumn = column;
        m_sortOrder = 0;
    } else {
        m_sortOrder = 1 - m_sortOrder;
    }
    setSorted(true);
}

void UserListEditor::setSorted(bool on)
{
    m_sorted = on;
    QHeaderView *header = m_list->header();
    header->setSortIndicatorShown(on);
    if (on) {
        header->setSortIndicator(m_sortColumn, m_sortOrder == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
        sortRows();
    }
}

void UserListEditor::sortRows()
{
    QTreeWidgetItem *selected = m_list->currentItem();
    const bool wasSelected = selected && selected->isSelected();
    QList<QTreeWidgetItem *> rows = m_list->invisibleRootItem()->takeChildren();
    // Keys taken out once: the comparison runs about N log N times.
    std::vector<std::pair<QString, QTreeWidgetItem *>> keyed;
    keyed.reserve(static_cast<size_t>(rows.size()));
    for (QTreeWidgetItem *row : std::as_const(rows))
        keyed.emplace_back(row->text(m_sortColumn), row);
    // Ports compare as text too, so 1000 comes before 505. Letter case does
    // not count, and rows that compare equal keep their order.
    const bool descending = m_sortOrder == 1;
    std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto &a, const auto &b) {
        const int order = QString::compare(a.first, b.first, Qt::CaseInsensitive);
        return descending ? order > 0 : order < 0;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        rows[static_cast<qsizetype>(i)] = keyed[i].second;
    m_list->addTopLevelItems(rows);
    if (wasSelected)
        m_list->selectRow(selected);
}

void UserListEditor::onLoadClicked()
{
    fillUserList(m_settings.userList);
}

void UserListEditor::onResetClicked()
{
    fillUserList(defaultUserList());
}

void UserListEditor::onApplyClicked()
{
    UserList users;
    for (int row = 0; row < m_list->rowCount(); ++row)
        users.append(UserListView::rowRecord(m_list->topLevelItem(row))); // order = row number
    m_settings.userList = users;
    accept();
}

void UserListEditor::onCancelClicked()
{
    reject();
}
