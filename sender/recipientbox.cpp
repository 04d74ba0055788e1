#include "recipientbox.h"

#include "presencebrowser.h"
#include "sendersettings.h"
#include "shownname.h"

#include <algorithm>

namespace {

// Room for a typical "name (address: port)" entry.
constexpr int kRecipientEntryCharacters = 24;

QString recipientEntry(const UserRecord &user)
{
    const QString port = user.port >= 0 ? u' ' + QString::number(user.port) : QString::number(user.port);
    // A name from a reply record is shown as Quillbox shows names from the network.
    return shownName(user.name) + QStringLiteral(" (") + user.ip + u':' + port + u')';
}

// Online: the person of the user's id is announced, or, for a user without
// one, a person of that name at that address.
bool isOnline(const UserRecord &user, const PresenceBrowser &people)
{
    if (!user.id.isEmpty())
        return people.personWithId(user.id) != nullptr;
    const QList<PresencePerson> named = people.peopleNamed(user.name);
    return std::any_of(named.cbegin(), named.cend(),
                       [&user](const PresencePerson &person) { return person.address == user.ip; });
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

void RecipientBox::fill(const UserList &users, int index, const PresenceBrowser *people)
{
    clear();
    for (int i = 1; i <= users.count(); ++i) {
        const bool online = people && isOnline(users.at(i), *people);
        addItem(recipientEntry(users.at(i)) + (online ? onlineMark() : QString()));
    }
    if (count() > 0)
        setCurrentIndex(index >= 0 && index < count() ? index : -1);
}
