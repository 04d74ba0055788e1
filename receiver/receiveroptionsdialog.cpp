#include "receiveroptionsdialog.h"

#include "conversions.h"
#include "keyfilter.h"
#include "messagebox.h"
#include "receiversettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// Five digits hold every port; a longer paste goes in whole and Add refuses it.
constexpr int kPortTextLength = 5;

QPushButton *makeButton(const QString &caption, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

ReceiverOptionsDialog::ReceiverOptionsDialog(SettingsStore &store, ReceiverSettings &settings,
                                             QWidget *parent)
    : SettingsDialog(store, QStringLiteral("Option "), parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("ReceiverOptionsDialog"));
    setWindowTitle(tr("Options"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(createMiscGroup());
    layout->addWidget(createNetworkGroup());
    layout->addWidget(createHistoryGroup());
    layout->addLayout(commandButtons());
    fillAndPlace();
}

QGroupBox *ReceiverOptionsDialog::createMiscGroup()
{
    auto *misc = new QGroupBox(tr("Miscellaneous"), this);
    misc->setObjectName(QStringLiteral("frm"));
    m_sound = new QCheckBox(tr("Play sound on incoming message"), misc);
    m_sound->setObjectName(QStringLiteral("SoundPlayOpt"));
    auto *alertLabel = new QLabel(tr("Show incoming messages in:"), misc);
    m_alert = new QComboBox(misc);
    m_alert->setObjectName(QStringLiteral("MessageAlert"));
    // In the order of MessageAlert.
    m_alert->addItems(
        {tr("A window"), tr("A desktop notification"), tr("A window and a desktop notification")});
    alertLabel->setBuddy(m_alert);
    auto *miscLayout = new QVBoxLayout(misc);
    miscLayout->addWidget(m_sound);
    miscLayout->addWidget(alertLabel);
    miscLayout->addWidget(m_alert);
    m_announce = new QCheckBox(tr("Announce me on the local network"), misc);
    m_announce->setObjectName(QStringLiteral("Announce"));
    miscLayout->addWidget(m_announce);
    return misc;
}

QGroupBox *ReceiverOptionsDialog::createNetworkGroup()
{
    auto *network = new QGroupBox(tr("Network option"), this);
    network->setObjectName(QStringLiteral("frm"));
    auto *label = new QLabel(tr("Port to estabish connection:"), network);
    label->setObjectName(QStringLiteral("lbl"));
    m_portList = new QListWidget(network);
    m_portList->setObjectName(QStringLiteral("Listportnb"));
    m_portList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_portField = new QLineEdit(network);
    m_portField->setObjectName(QStringLiteral("Portnb"));
    label->setBuddy(m_portList);
    m_portField->setAccessibleName(tr("New port"));
    m_portField->installEventFilter(this);
    new KeyFilter(m_portField, kPortCharacters, kPortTextLength);
    auto *addnew = makeButton(tr("Add"), QStringLiteral("addnew"), network);
    auto *remove = makeButton(tr("Remove"), QStringLiteral("remove"), network);
    auto *removeall = makeButton(tr("Remove All"), QStringLiteral("removeall"), network);
    auto *grid = new QGridLayout(network);
    grid->addWidget(label, 0, 0, 1, 2);
    grid->addWidget(m_portList, 1, 0, 3, 1);
    grid->addWidget(m_portField, 1, 1);
    grid->addWidget(addnew, 2, 1);
    grid->addWidget(remove, 3, 1);
    grid->addWidget(removeall, 4, 1);
    connect(addnew, &QPushButton::clicked, this, &ReceiverOptionsDialog::onAddClicked);
    connect(remove, &QPushButton::clicked, this, &ReceiverOptionsDialog::onRemoveClicked);
    connect(removeall, &QPushButton::clicked, this, &ReceiverOptionsDialog::onRemoveAllClicked);
    return network;
}

QGroupBox *ReceiverOptionsDialog::createHistoryGroup()
{
    auto *history = new QGroupBox(tr("History"), this);
    history->setObjectName(QStringLiteral("frmHistory"));
    m_keepHistory = new QCheckBox(tr("Keep a history of received messages"), history);
    m_keepHistory->setObjectName(QStringLiteral("KeepHistory"));
    m_historyMessages = new QSpinBox(history);
    m_historyMessages->setObjectName(QStringLiteral("HistoryMessages"));
    m_historyMessages->setRange(HistoryOptions::kMinMessages, HistoryOptions::kMaxMessages);
    m_historyMegabytes = new QSpinBox(history);
    m_historyMegabytes->setObjectName(QStringLiteral("HistoryMegabytes"));
    m_historyMegabytes->setRange(HistoryOptions::kMinMegabytes, HistoryOptions::kMaxMegabytes);
    m_historyMegabytes->setSuffix(tr(" MB"));
    auto *clear = makeButton(tr("Clear History"), QStringLiteral("ClearHistory"), history);
    auto *historyGrid = new QGridLayout(history);
    historyGrid->addWidget(m_keepHistory, 0, 0, 1, 2);
    auto *messagesLabel = new QLabel(tr("Messages kept at most:"), history);
    messagesLabel->setBuddy(m_historyMessages);
    auto *spaceLabel = new QLabel(tr("Space kept at most:"), history);
    spaceLabel->setBuddy(m_historyMegabytes);
    historyGrid->addWidget(messagesLabel, 1, 0);
    historyGrid->addWidget(m_historyMessages, 1, 1);
    historyGrid->addWidget(spaceLabel, 2, 0);
    historyGrid->addWidget(m_historyMegabytes, 2, 1);
    historyGrid->addWidget(clear, 3, 1);
    connect(clear, &QPushButton::clicked, this, &ReceiverOptionsDialog::onClearHistoryClicked);
    return history;
}

ReceiverOptionsDialog::~ReceiverOptionsDialog()
{
    saveOnClose();
}

bool ReceiverOptionsDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_portField && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            onAddClicked();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ReceiverOptionsDialog::onAddClicked()
{
    const std::optional<qint32> read = toInt32(readNumber(m_portField->text()));
    // Port 0 would have the system pick a port nobody could send to, and the
    // settings loader drops it at the next start.
    if (!read || *read < 1 || *read > 65535) {
        failCheck(m_portField, tr("Invalid port number"));
        return;
    }
    const QString text = QString::number(*read);
    for (int row = 0; row < m_portList->count(); ++row) {
        if (toInt32(readNumber(m_portList->item(row)->text())) == *read)
            return;
    }
    m_portList->addItem(text);
}

void ReceiverOptionsDialog::onRemoveClicked()
{
    for (int row = 0; row < m_portList->count(); ++row) {
        if (m_portList->item(row)->isSelected()) {
            delete m_portList->takeItem(row);
            return;
        }
    }
}

void ReceiverOptionsDialog::onRemoveAllClicked()
{
    m_portList->clear();
}

void ReceiverOptionsDialog::onLoadClicked()
{
    m_portList->clear();
    for (int n = 1; n <= m_settings.portList.count(); ++n)
        m_portList->addItem(QString::number(m_settings.portList.at(n)));
    m_sound->setChecked(m_settings.playIncomingSound);
    showHistoryOptions(m_settings.history);
    m_alert->setCurrentIndex(int(m_settings.messageAlert));
    m_announce->setChecked(m_settings.announce);
}

void ReceiverOptionsDialog::onApplyClicked()
{
    if (m_portList->count() >= 1) {
        PortList ports;
        for (int row = 0; row < m_portList->count(); ++row)
            ports.append(toInt32(readNumber(m_portList->item(row)->text())).value_or(0));
        m_settings.portList = ports;
    } else {
        showMessage(this, kTitleError, tr("Must add at leat 1 port number"));
    }
    m_settings.playIncomingSound = m_sound->isChecked();
    m_settings.history = {m_keepHistory->isChecked(), m_historyMessages->value(),
                          m_historyMegabytes->value()};
    m_settings.messageAlert = MessageAlert(m_alert->currentIndex());
    m_settings.announce = m_announce->isChecked();
    accept();
}

void ReceiverOptionsDialog::onResetClicked()
{
    m_portList->clear();
    const PortList defaults = defaultPortList();
    for (int n = 1; n <= defaults.count(); ++n)
        m_portList->addItem(QString::number(defaults.at(n)));
    m_sound->setChecked(true);
    m_alert->setCurrentIndex(int(ReceiverSettings().messageAlert));
    m_announce->setChecked(ReceiverSettings().announce);
    showHistoryOptions(HistoryOptions());
}

void ReceiverOptionsDialog::showHistoryOptions(const HistoryOptions &history)
{
    m_keepHistory->setChecked(history.keep);
    m_historyMessages->setValue(history.maxMessages);
    m_historyMegabytes->setValue(history.maxMegabytes);
}

void ReceiverOptionsDialog::onClearHistoryClicked()
{
    if (askYesNo(this, tr("History"), tr("Remove every message from the history?")))
        emit clearHistoryRequested();
}

void ReceiverOptionsDialog::writeSettings()
{
    savePortList(m_store, m_settings.portList);
    saveSoundOption(m_store, m_settings.playIncomingSound);
    saveHistoryOptions(m_store, m_settings.history);
    saveMessageAlert(m_store, m_settings.messageAlert);
    savePresenceOptions(m_store, m_settings);
}
