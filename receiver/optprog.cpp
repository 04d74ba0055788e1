#include "optprog.h"

#include "conversions.h"
#include "messagebox.h"
#include "receiversettings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Five digits hold every port.
constexpr int kPortTextLength = 5;

QPushButton *Button(const QString &caption, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

OptProg::OptProg(SettingsStore &store, ReceiverSettings &settings, QWidget *parent)
    : SettingsDialog(store, QStringLiteral("Option "), parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("OptProg"));
    setWindowTitle(QStringLiteral("Options"));

    auto *misc = new QGroupBox(QStringLiteral("Miscellaneous"), this);
    misc->setObjectName(QStringLiteral("frm"));
    m_sound = new QCheckBox(QStringLiteral("Play sound on incoming message"), misc);
    m_sound->setObjectName(QStringLiteral("SoundPlayOpt"));
    (new QVBoxLayout(misc))->addWidget(m_sound);

    auto *network = new QGroupBox(QStringLiteral("Network option"), this);
    network->setObjectName(QStringLiteral("frm"));
    auto *label = new QLabel(QStringLiteral("Port to estabish connection:"), network);
    label->setObjectName(QStringLiteral("lbl"));
    m_list = new QListWidget(network);
    m_list->setObjectName(QStringLiteral("Listportnb"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_portnb = new QLineEdit(network);
    m_portnb->setObjectName(QStringLiteral("Portnb"));
    m_portnb->setMaxLength(kPortTextLength);
    m_portnb->installEventFilter(this);
    auto *addnew = Button(QStringLiteral("Add"), QStringLiteral("addnew"), network);
    auto *remove = Button(QStringLiteral("Remove"), QStringLiteral("remove"), network);
    auto *removeall = Button(QStringLiteral("Remove All"), QStringLiteral("removeall"), network);
    auto *grid = new QGridLayout(network);
    grid->addWidget(label, 0, 0, 1, 2);
    grid->addWidget(m_list, 1, 0, 3, 1);
    grid->addWidget(m_portnb, 1, 1);
    grid->addWidget(addnew, 2, 1);
    grid->addWidget(remove, 3, 1);
    grid->addWidget(removeall, 4, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(misc);
    layout->addWidget(network);
    layout->addLayout(CommandButtons());

    connect(addnew, &QPushButton::clicked, this, &OptProg::addnew_Click);
    connect(remove, &QPushButton::clicked, this, &OptProg::remove_Click);
    connect(removeall, &QPushButton::clicked, this, &OptProg::removeall_Click);
    Open();
}

OptProg::~OptProg()
{
    Form_Unload();
}

bool OptProg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_portnb && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            addnew_Click();
            return true;
        }
        // Digits only; Backspace and the editing keys carry no printable text.
        const QString typed = key->text();
        const bool digit = typed.size() == 1 && typed.front() >= u'0' && typed.front() <= u'9';
        if (!typed.isEmpty() && typed.front().isPrint() && !digit)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void OptProg::addnew_Click()
{
    const std::optional<qint32> read = ToInt32(ReadNumber(m_portnb->text()));
    if (!read || *read < 0 || *read > 65535) {
        FailCheck(m_portnb, QStringLiteral("Invalid port number"));
        return;
    }
    const QString text = QString::number(*read);
    for (int row = 0; row < m_list->count(); ++row) {
        if (ToInt32(ReadNumber(m_list->item(row)->text())) == *read)
            return;
    }
    m_list->addItem(text);
}

void OptProg::remove_Click()
{
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->isSelected()) {
            delete m_list->takeItem(row);
            return;
        }
    }
}

void OptProg::removeall_Click()
{
    m_list->clear();
}

void OptProg::LoadOption_Click()
{
    m_list->clear();
    for (int n = 1; n <= m_settings.portList.count(); ++n)
        m_list->addItem(QString::number(m_settings.portList.at(n)));
    m_sound->setChecked(m_settings.PlayIncomingSound);
}

void OptProg::SaveOption_Click()
{
    if (m_list->count() >= 1) {
        PortList ports;
        for (int row = 0; row < m_list->count(); ++row)
            ports.append(ToInt32(ReadNumber(m_list->item(row)->text())).value_or(0));
        m_settings.portList = ports;
    } else {
        ShowMessage(this, kTitleError, QStringLiteral("Must add at leat 1 port number"));
    }
    m_settings.PlayIncomingSound = m_sound->isChecked();
    accept();
}

void OptProg::ResetDefault_Click()
{
    m_list->clear();
    const PortList defaults = DefaultPortList();
    for (int n = 1; n <= defaults.count(); ++n)
        m_list->addItem(QString::number(defaults.at(n)));
    m_sound->setChecked(true);
}

void OptProg::WriteSettings()
{
    SavePortList(m_store, m_settings.portList);
    SaveSoundOption(m_store, m_settings.PlayIncomingSound);
}
