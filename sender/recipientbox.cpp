#include "recipientbox.h"

#include "sendersettings.h"
#include "shownname.h"

namespace {

// Room for a typical "name (address: port)" entry.
constexpr int kRecipientEntryCharacters = 24;

QString recipientEntry(const UserRecord &user)
{
    const QString port = user.port >= 0 ? u' ' + QString::number(user.port) : QString::number(user.port);
    // A name from a reply record is shown as Quillbox shows names from the network.
    return shownName(user.name) + QStringLiteral(" (") + user.ip + u':' + port + u')';
}

} // namespace

RecipientBox::RecipientBox(QWidget *parent)
    : QComboBox(parent)
{
    setObjectName(QStringLiteral("Combo1"));
    setAccessibleName(tr("Recipient"));
    setEditable(false);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(kRecipientEntryCharacters);
}

void RecipientBox::fill(const UserList &users, int index)
{
    clear();
    for (int i = 1; i <= users.count(); ++i)
        addItem(recipientEntry(users.at(i)));
    if (count() > 0)
        setCurrentIndex(index >= 0 && index < count() ? index : -1);
}
