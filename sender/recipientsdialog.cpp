#include "recipientsdialog.h"

#include "messagebox.h"
#include "positionkeeper.h"
#include "settingsstore.h"
#include "shownname.h"

#include <QHBoxLayout>
#include <QInputDialog>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kWindowPrefix = QStringLiteral("Several ");
// Item data: a group's index as a negative number -1, -2, ...; a user's number 1, 2, ...
constexpr int kEntryRole = Qt::UserRole;

} // namespace

RecipientsDialog::RecipientsDialog(SenderSettings &settings, SettingsStore &store, QWidget *owner)
    : QDialog(owner)
    , m_settings(settings)
    , m_store(store)
{
    setObjectName(QStringLiteral("SendSeveral"));
    setWindowTitle(tr("Send to Several"));
    auto *layout = new QVBoxLayout(this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("recipientList"));
    m_list->setAccessibleName(tr("Recipients"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(m_list, 1);

    auto *row = new QHBoxLayout();
    m_sendButton = new QPushButton(tr("&Send"), this);
    m_sendButton->setObjectName(QStringLiteral("sendSelected"));
    m_sendButton->setDefault(true);
    m_saveGroupButton = new QPushButton(tr("Save as &Group..."), this);
    m_saveGroupButton->setObjectName(QStringLiteral("saveGroup"));
    m_deleteGroupButton = new QPushButton(tr("&Delete Group"), this);
    m_deleteGroupButton->setObjectName(QStringLiteral("deleteGroup"));
    auto *cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelSend"));
    for (QPushButton *button : {m_sendButton, m_saveGroupButton, m_deleteGroupButton, cancel})
        row->addWidget(button);
    layout->addLayout(row);

    connect(m_sendButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_saveGroupButton, &QPushButton::clicked, this, &RecipientsDialog::onSaveGroupClicked);
    connect(m_deleteGroupButton, &QPushButton::clicked, this, &RecipientsDialog::onDeleteGroupClicked);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &RecipientsDialog::updateButtons);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    fill();
    auto *position = new PositionKeeper(this, store, kWindowPrefix);
    position->place();
    m_list->setFocus();
}

void RecipientsDialog::fill()
{
    m_list->clear();
    for (qsizetype g = 0; g < m_settings.groups.size(); ++g) {
        const UserGroup &group = m_settings.groups.at(g);
        auto *item = new QListWidgetItem(
            tr("Group: %1 (%2)").arg(group.name, group.members.join(QStringLiteral(", "))), m_list);
        item->setData(kEntryRole, static_cast<int>(-g - 1));
    }
    const UserList &users = m_settings.userList;
    for (int n = 1; n <= users.count(); ++n) {
        auto *item = new QListWidgetItem(shownName(users.at(n).name) + QStringLiteral(" (") + users.at(n).ip +
                                             u':' + QString::number(users.at(n).port) + u')',
                                         m_list);
        item->setData(kEntryRole, n);
    }
    m_list->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    updateButtons();
}

void RecipientsDialog::updateButtons()
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    const auto isGroup = [](const QListWidgetItem *item) { return item->data(kEntryRole).toInt() < 0; };
    m_sendButton->setEnabled(!selected.isEmpty());
    m_saveGroupButton->setEnabled(!selected.isEmpty());
    m_deleteGroupButton->setEnabled(std::any_of(selected.cbegin(), selected.cend(), isGroup));
}

QList<Recipient> RecipientsDialog::recipients() const
{
    RecipientSet set(m_settings);
    for (int row = 0; row < m_list->count(); ++row) {
        const QListWidgetItem *item = m_list->item(row);
        if (!item->isSelected())
            continue;
        const int entry = item->data(kEntryRole).toInt();
        if (entry < 0)
            set.addGroup(m_settings.groups.at(-entry - 1));
        else
            set.addUser(m_settings.userList.at(entry));
    }
    return set.recipients();
}

int RecipientsDialog::singleUser() const
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    const int entry = selected.size() == 1 ? selected.first()->data(kEntryRole).toInt() : 0;
    return std::max(entry, 0);
}

void RecipientsDialog::onSaveGroupClicked()
{
    QStringList members;
    for (const Recipient &recipient : recipients()) {
        if (!members.contains(recipient.name))
            members << recipient.name;
    }
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, tr("Save as Group"), tr("Group name"), QLineEdit::Normal, QString(), &ok)
            .trimmed();
    if (!ok || name.isEmpty())
        return;
    const auto same = std::find_if(m_settings.groups.begin(), m_settings.groups.end(),
                                   [&name](const UserGroup &group) { return group.name == name; });
    if (same != m_settings.groups.end())
        same->members = members;
    else
        m_settings.groups.append({name, members});
    saveGroups();
}

void RecipientsDialog::onDeleteGroupClicked()
{
    QList<int> doomed;
    for (const QListWidgetItem *item : m_list->selectedItems()) {
        if (item->data(kEntryRole).toInt() < 0)
            doomed << -item->data(kEntryRole).toInt() - 1;
    }
    std::sort(doomed.rbegin(), doomed.rend());
    for (int g : doomed)
        m_settings.groups.removeAt(g);
    saveGroups();
}

void RecipientsDialog::saveGroups()
{
    if (!::saveGroups(m_store, m_settings.groups))
        reportSaveFailure(this, m_store.fileName());
    fill();
}
