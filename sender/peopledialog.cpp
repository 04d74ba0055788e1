#include "peopledialog.h"

#include "messagefanout.h"
#include "shownname.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

PeopleDialog::PeopleDialog(const PresenceBrowser *people, QWidget *parent)
    : QDialog(parent)
    , m_people(people)
    , m_list(new QListWidget(this))
    , m_note(new QLabel(this))
{
    setObjectName(QStringLiteral("PeopleDialog"));
    setWindowTitle(QStringLiteral("People on the network"));
    m_list->setObjectName(QStringLiteral("peopleList"));
    m_note->setTextFormat(Qt::PlainText);
    m_note->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton *add = buttons->addButton(QStringLiteral("&Add"), QDialogButtonBox::AcceptRole);
    add->setObjectName(QStringLiteral("addPerson"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PeopleDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PeopleDialog::reject);
    connect(m_list, &QListWidget::itemActivated, this, &PeopleDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(m_note);
    layout->addWidget(buttons);
    if (m_people)
        connect(m_people, &PresenceBrowser::changed, this, &PeopleDialog::fill);
    fill();
    resize(360, 320);
}

void PeopleDialog::fill()
{
    const int row = m_list->currentRow();
    m_list->clear();
    m_shown = m_people ? m_people->people() : QList<PresencePerson>();
    std::sort(m_shown.begin(), m_shown.end(), [](const PresencePerson &a, const PresencePerson &b) {
        return a.record.name.localeAwareCompare(b.record.name) < 0;
    });
    for (const PresencePerson &person : std::as_const(m_shown))
        m_list->addItem(shownName(person.record.name) + QStringLiteral(" (") +
                        recipientLabel(Recipient{QString(), person.address, person.port}) + u')');
    m_list->setCurrentRow(std::min(std::max(row, 0), int(m_list->count()) - 1));
    m_note->setText(m_shown.isEmpty() ? QStringLiteral("No one announces Quill on the network (yet).")
                                      : QString());
}

void PeopleDialog::accept()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_shown.size()) {
        QApplication::beep();
        return;
    }
    m_chosen = m_shown.at(row);
    QDialog::accept();
}
