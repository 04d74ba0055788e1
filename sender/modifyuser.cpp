#include "modifyuser.h"

#include "messagebox.h"
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

QPushButton *AddButton(QWidget *parent, QLayout *layout, const QString &name, const QString &text)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false); // Enter in the list must not apply or close
    layout->addWidget(button);
    return button;
}

} // namespace

ModifyUser::ModifyUser(SenderSettings &settings, SettingsStore &store, QWidget *owner)
    : QDialog(owner)
    , m_settings(settings)
    , m_store(store)
{
    setObjectName(QStringLiteral("ModifyUser"));
    setWindowTitle(QStringLiteral("Modify User"));

    auto *frame = new QGroupBox(QStringLiteral("User list"), this);
    frame->setObjectName(QStringLiteral("Frm"));
    m_listuser = new UserListView(frame);
    m_listuser->setObjectName(QStringLiteral("listuser"));
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(m_listuser);

    auto *buttons = new QVBoxLayout;
    QPushButton *adduser = AddButton(this, buttons, QStringLiteral("adduser"), QStringLiteral("Add"));
    QPushButton *moduser = AddButton(this, buttons, QStringLiteral("moduser"), QStringLiteral("Modify"));
    QPushButton *removeuser =
        AddButton(this, buttons, QStringLiteral("removeuser"), QStringLiteral("Remove"));
    buttons->addStretch();
    QPushButton *reset = AddButton(this, buttons, QStringLiteral("ResetDefault"), QStringLiteral("Reset"));
    QPushButton *load = AddButton(this, buttons, QStringLiteral("LoadOption"), QStringLiteral("Load"));
    QPushButton *apply = AddButton(this, buttons, QStringLiteral("SaveOption"), QStringLiteral("Apply"));
    QPushButton *cancel = AddButton(this, buttons, QStringLiteral("ReturnCmd"), QStringLiteral("Cancel"));

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addLayout(buttons);

    m_mainmn = new QMenu(QStringLiteral("ListView Option"), this);
    m_mainmn->setObjectName(QStringLiteral("mainmn"));
    const QString moveTexts[] = {QStringLiteral("Move &First"), QStringLiteral("Move &Up"),
                                 QStringLiteral("Move &Down"), QStringLiteral("Move &Last")};
    for (int k = MoveFirst; k <= MoveLast; ++k) {
        QAction *item = m_mainmn->addAction(moveTexts[k - 1]);
        item->setObjectName(QStringLiteral("ListViewmn"));
        item->setData(k);
        connect(item, &QAction::triggered, this, [this, k] { ListViewmn_Click(k); });
        m_ListViewmn[k - 1] = item;
    }

    connect(adduser, &QPushButton::clicked, this, &ModifyUser::adduser_Click);
    connect(moduser, &QPushButton::clicked, this, &ModifyUser::moduser_Click);
    connect(removeuser, &QPushButton::clicked, this, &ModifyUser::removeuser_Click);
    connect(reset, &QPushButton::clicked, this, &ModifyUser::ResetDefault_Click);
    connect(load, &QPushButton::clicked, this, &ModifyUser::LoadOption_Click);
    connect(apply, &QPushButton::clicked, this, &ModifyUser::SaveOption_Click);
    connect(cancel, &QPushButton::clicked, this, &ModifyUser::ReturnCmd_Click);
    connect(m_listuser, &UserListView::MouseDown, this, &ModifyUser::listuser_MouseDown);
    connect(m_listuser, &UserListView::MouseMove, this, &ModifyUser::listuser_MouseMove);
    connect(m_listuser, &UserListView::MouseUp, this, &ModifyUser::listuser_MouseUp);
    connect(m_listuser, &UserListView::KeyboardMenu, this, [this] {
        QTreeWidgetItem *row = m_listuser->currentItem();
        const QRect place = row ? m_listuser->visualItemRect(row) : QRect();
        showContextMenu(m_listuser->viewport()->mapToGlobal(place.center()));
    });
    connect(m_listuser->header(), &QHeaderView::sectionClicked, this, &ModifyUser::listuser_ColumnClick);
    // A double click (or Enter) on a row changes that user.
    connect(m_listuser, &QTreeWidget::itemActivated, this, [this] { moduser_Click(); });

    resize(560, 360);
    Form_Load();
}

ModifyUser::~ModifyUser() = default;

void ModifyUser::Form_Load()
{
    FillUserList(m_settings.userList);
    PlaceWindow(this, m_store, kWindowPrefix);
}

void ModifyUser::Form_Unload()
{
    StoreWindowPosition(this, m_store, kWindowPrefix);
}

void ModifyUser::done(int result)
{
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    QDialog::done(result);
}

void ModifyUser::FillUserList(const UserList &users)
{
    m_draggedRow = nullptr;
    m_noDrag = true;
    m_listuser->clear();
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
            rows.append(UserListView::MakeRow(users.at(recordAt[static_cast<size_t>(p)])));
    }
    m_listuser->addTopLevelItems(rows);
    if (m_sorted)
        sortRows();
    m_listuser->selectRow(m_listuser->topLevelItem(0));
}

void ModifyUser::AddUserRow(const UserRecord &record)
{
    m_listuser->addTopLevelItem(UserListView::MakeRow(record));
    if (m_sorted)
        sortRows();
}

void ModifyUser::runUserDialog()
{
    Modify_or_add dialog(m_edit, *m_listuser, m_settings, m_store, this);
    dialog.exec();
}

void ModifyUser::adduser_Click()
{
    if (m_listuser->rowCount() >= kMaxListEntries) {
        QApplication::beep();
        return;
    }
    // The names already given to users at the default address, collected once
    // so that a long list is walked once rather than once per candidate.
    QSet<QString> taken;
    for (int row = 0; row < m_listuser->rowCount(); ++row) {
        if (m_listuser->rowIp(row) == m_settings.DefaultIp)
            taken.insert(m_listuser->rowName(row));
    }
    // With every candidate taken the name stays empty for the user to type:
    // a name left over from an earlier edit would skip the duplicate check.
    m_edit.EditedUser.name.clear();
    for (int i = 1; i <= kMaxListEntries; ++i) {
        const QString candidate = kNewUserPrefix + QString::number(i);
        if (!taken.contains(candidate)) {
            m_edit.EditedUser.name = candidate;
            break;
        }
    }
    m_edit.EditedUser.ip = m_settings.DefaultIp;
    m_edit.EditedUser.port = m_settings.DefaultPort;
    m_edit.EditCancelled = true;
    runUserDialog();
    if (!m_edit.EditCancelled)
        AddUserRow(m_edit.EditedUser);
}

void ModifyUser::moduser_Click()
{
    QTreeWidgetItem *row = m_listuser->currentItem();
    if (!row || !row->isSelected())
        return;
    m_edit.EditedUser = UserListView::RowRecord(row);
    runUserDialog();
    // After Cancel the record still holds the row's own values.
    UserListView::SetRowTexts(row, m_edit.EditedUser);
    if (m_sorted)
        sortRows();
}

void ModifyUser::removeuser_Click()
{
    const int index = m_listuser->selectedIndex();
    if (index < 0)
        return;
    if (m_listuser->rowName(index) == kLocalhost) {
        ShowMessage(this, kTitleError, QStringLiteral("Cannot delete localhost"));
        return;
    }
    QTreeWidgetItem *row = m_listuser->takeTopLevelItem(index);
    if (row == m_draggedRow) {
        m_draggedRow = nullptr;
        m_noDrag = true;
    }
    delete row;
    // The row that took its place, so that Remove can be pressed again.
    m_listuser->selectRow(m_listuser->topLevelItem(std::min(index, m_listuser->rowCount() - 1)));
}

void ModifyUser::listuser_MouseDown(int button, int shift, QPoint position)
{
    Q_UNUSED(shift);
    if (button == 2) {
        showContextMenu(m_listuser->viewport()->mapToGlobal(position));
    } else if (button == 1) {
        m_draggedRow = m_listuser->itemAt(position);
        m_noDrag = m_draggedRow == nullptr;
    }
}

void ModifyUser::listuser_MouseMove(int button, int shift, QPoint position)
{
    Q_UNUSED(shift);
    if (button != 1 || m_noDrag || !m_draggedRow)
        return;
    QTreeWidgetItem *under = m_listuser->itemAt(position);
    if (!under || under == m_draggedRow)
        return;
    setSorted(false);
    // The dragged row takes the place of the row under the pointer; the rows
    // in between move one step towards its old place.
    const int target = m_listuser->indexOfTopLevelItem(under);
    QTreeWidgetItem *row = m_listuser->takeTopLevelItem(m_listuser->indexOfTopLevelItem(m_draggedRow));
    m_listuser->insertTopLevelItem(target, row);
    m_listuser->selectRow(row);
}

void ModifyUser::listuser_MouseUp(int button, int shift, QPoint position)
{
    Q_UNUSED(shift);
    Q_UNUSED(position);
    if (button == 1 && !m_noDrag) {
        m_draggedRow = nullptr;
        m_noDrag = true;
    }
}

void ModifyUser::showContextMenu(QPoint globalPosition)
{
    const int selected = m_listuser->selectedIndex();
    const int last = m_listuser->rowCount() - 1;
    m_ListViewmn[MoveFirst - 1]->setEnabled(selected > 0);
    m_ListViewmn[MoveUp - 1]->setEnabled(selected > 0);
    m_ListViewmn[MoveDown - 1]->setEnabled(selected >= 0 && selected < last);
    m_ListViewmn[MoveLast - 1]->setEnabled(selected >= 0 && selected < last);
    // Not exec(): the menu acts through its items, and the editor stays live.
    m_mainmn->popup(globalPosition);
}

void ModifyUser::ListViewmn_Click(int index)
{
    const int selected = m_listuser->selectedIndex();
    if (selected < 0 || index < MoveFirst || index > MoveLast)
        return;
    setSorted(false);
    QTreeWidgetItem *row = m_listuser->takeTopLevelItem(selected);
    const int remaining = m_listuser->rowCount();
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
    m_listuser->insertTopLevelItem(target, row);
    m_listuser->selectRow(row);
}

void ModifyUser::listuser_ColumnClick(int column)
{
    if (column != m_sortColumn) {
        m_sortColumn = column;
        m_sortOrder = 0;
    } else {
        m_sortOrder = 1 - m_sortOrder;
    }
    setSorted(true);
}

void ModifyUser::setSorted(bool on)
{
    m_sorted = on;
    QHeaderView *header = m_listuser->header();
    header->setSortIndicatorShown(on);
    if (on) {
        header->setSortIndicator(m_sortColumn, m_sortOrder == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
        sortRows();
    }
}

void ModifyUser::sortRows()
{
    QTreeWidgetItem *selected = m_listuser->currentItem();
    const bool wasSelected = selected && selected->isSelected();
    QList<QTreeWidgetItem *> rows = m_listuser->invisibleRootItem()->takeChildren();
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
    m_listuser->addTopLevelItems(rows);
    if (wasSelected)
        m_listuser->selectRow(selected);
}

void ModifyUser::LoadOption_Click()
{
    FillUserList(m_settings.userList);
}

void ModifyUser::ResetDefault_Click()
{
    FillUserList(DefaultUserList());
}

void ModifyUser::SaveOption_Click()
{
    UserList users;
    for (int row = 0; row < m_listuser->rowCount(); ++row)
        users.append(UserListView::RowRecord(m_listuser->topLevelItem(row))); // order = row number
    m_settings.userList = users;
    accept();
}

void ModifyUser::ReturnCmd_Click()
{
    reject();
}
