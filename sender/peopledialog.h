#pragma once

#include "presencebrowser.h"

#include <QDialog>
#include <optional>

class QLabel;
class QListWidget;

// "People on the network": the Quill users whose Quillbox announces itself,
// kept up to date while open; "Add" (or a double click) takes the chosen one
// into the user list in one step, with their id, so their address follows
// them. Names from the network are shown as plain text, control characters
// visible; two people of one name are two entries, told apart by address.
class PeopleDialog : public QDialog
{
    Q_OBJECT
public:
    // people may be null: the list then stays empty and says why.
    explicit PeopleDialog(const PresenceBrowser *people, QWidget *parent = nullptr);

    // After an accepted close: the person chosen.
    std::optional<PresencePerson> chosen() const { return m_chosen; }

    void accept() override;

private:
    void fill();

    const PresenceBrowser *m_people;
    QList<PresencePerson> m_shown;
    QListWidget *m_list;
    QLabel *m_note;
    std::optional<PresencePerson> m_chosen;
};
