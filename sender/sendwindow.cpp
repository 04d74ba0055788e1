#include "sendwindow.h"

#include "aboutbox.h"
#include "identificationdialog.h"
#include "localendpoint.h"
#include "messagebox.h"
#include "messagesender.h"
#include "positionkeeper.h"
#include "recipientsdialog.h"
#include "replyrecord.h"
#include "replyrecordreceiver.h"
#include "senderoptionsdialog.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "shownname.h"
#include "userlisteditor.h"
#include "windowactivation.h"
#include "windowposition.h"
#include "wireformat.h"
#include "youripdialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

// The main window's start position has no prefix of its own.
const QString kPositionPrefix;
// Room for a typical "name (address: port)" entry, and a first size that
// leaves a few lines for the message.
constexpr int kRecipientEntryCharacters = 24;
constexpr QSize kInitialSize(480, 260);

QString recipientEntry(const UserRecord &user)
{
    const QString port = user.port >= 0 ? u' ' + QString::number(user.port) : QString::number(user.port);
    // A name from a reply record is shown as Quillbox shows names from the network.
    return shownName(user.name) + QStringLiteral(" (") + user.ip + u':' + port + u')';
}

// The field's text replaced by one edit that the field's own undo takes
// back, so browsing the sent texts never loses a draft. The cursor goes to
// the start, as when a text is set.
void replaceText(QPlainTextEdit *field, const QString &text)
{
    QTextCursor cursor(field->document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    cursor.endEditBlock();
    cursor.movePosition(QTextCursor::Start);
    field->setTextCursor(cursor);
}

} // namespace

SendWindow::SendWindow(SettingsStore &store, SenderSettings &settings, QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
    , m_settings(settings)
{
    buildWindow();
    buildMenus();
    load();
}

SendWindow::~SendWindow()
{
    // Destroying the window without closing it still ends the program's
    // session in the store.
    unload();
}

void SendWindow::buildWindow()
{
    setObjectName(QStringLiteral("SendForm"));
    setWindowTitle(kSendWindowCaption);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);

    m_messageField = new QPlainTextEdit(central);
    m_messageField->setObjectName(QStringLiteral("Text1"));
    m_messageField->setTabChangesFocus(true);
    m_messageField->installEventFilter(this);
    layout->addWidget(m_messageField, 1);

    auto *row = new QHBoxLayout();
    m_recipientBox = new QComboBox(central);
    m_recipientBox->setObjectName(QStringLiteral("Combo1"));
    m_recipientBox->setEditable(false);
    m_recipientBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_recipientBox->setMinimumContentsLength(kRecipientEntryCharacters);
    row->addWidget(m_recipientBox, 1);

    m_sendButton = new QPushButton(QStringLiteral("Send"), central);
    m_sendButton->setObjectName(QStringLiteral("Command1"));
    m_stopButton = new QPushButton(QStringLiteral("Stop"), central);
    m_stopButton->setObjectName(QStringLiteral("StopSend"));
    m_modifyUserButton = new QPushButton(QStringLiteral("Modify User"), central);
    m_modifyUserButton->setObjectName(QStringLiteral("adduser"));
    row->addWidget(m_sendButton);
    row->addWidget(m_stopButton);
    row->addWidget(m_modifyUserButton);
    m_severalButton = new QPushButton(QStringLiteral("Se&veral..."), central);
    m_severalButton->setObjectName(QStringLiteral("SendSeveral"));
    row->addWidget(m_severalButton);
    layout->addLayout(row);
    setCentralWidget(central);
    setTabOrder(m_messageField, m_recipientBox);
    m_messageField->setFocus();

    connect(m_sendButton, &QPushButton::clicked, this, &SendWindow::onSendClicked);
    connect(m_stopButton, &QPushButton::clicked, this, &SendWindow::onStopClicked);
    connect(m_modifyUserButton, &QPushButton::clicked, this, &SendWindow::onModifyUserClicked);
    connect(m_severalButton, &QPushButton::clicked, this, &SendWindow::onSendSeveralClicked);

    m_bringForwardTimer.setObjectName(QStringLiteral("TimerSW"));
    m_bringForwardTimer.setSingleShot(true);
    m_bringForwardTimer.setInterval(kBringForwardDelayMs);
    connect(&m_bringForwardTimer, &QTimer::timeout, this, &SendWindow::onBringForwardTimer);
    connect(this, &SendWindow::replyTargetDue, this, &SendWindow::selectReplyUser);

    m_sender = new MessageSender(this);
    m_sender->setObjectName(QStringLiteral("Winsock1"));
    connect(m_sender, &MessageSender::connected, this, &SendWindow::onConnected);
    connect(m_sender, &MessageSender::finished, this, &SendWindow::onSendFinished);
    m_fanout = new MessageFanout(this);
    connect(m_fanout, &MessageFanout::finished, this, &SendWindow::onSeveralFinished);

    resize(kInitialSize);
}

void SendWindow::buildMenus()
{
    // The items keep the names of their menu groups and places ("progopmn_2").
    const auto addItem = [this](QMenu *menu, const QString &text, const QString &name,
                                void (SendWindow::*handler)()) {
        QAction *action = menu->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mainmn_1"));
    addItem(file, QStringLiteral("E&xit"), QStringLiteral("exitmn_1"), &SendWindow::onExitTriggered);

    QMenu *option = menuBar()->addMenu(QStringLiteral("&Option"));
    option->setObjectName(QStringLiteral("mainmn_2"));
    addItem(option, QStringLiteral("&Program Option ..."), QStringLiteral("progopmn_1"),
            &SendWindow::onProgramOptionsTriggered);
    addItem(option, QStringLiteral("&Identification ..."), QStringLiteral("progopmn_2"),
            &SendWindow::onIdentificationTriggered);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mainmn_3"));
    addItem(help, QStringLiteral("Your &ip..."), QStringLiteral("aboutmn_1"), &SendWindow::onYourIpTriggered);
    help->addSeparator()->setObjectName(QStringLiteral("aboutmn_2"));
    addItem(help, QStringLiteral("&About..."), QStringLiteral("aboutmn_3"), &SendWindow::onAboutTriggered);
}

void SendWindow::load()
{
    m_settings.userList = defaultUserList();
    loadSenderSettings(m_store, m_settings);
    fillRecipientBox(0);

    // Centring needs the size the window will really have.
    resize(size().expandedTo(minimumSizeHint()));
    placeWindow(this, m_store, kPositionPrefix);
    storeWindowPosition(this, m_store, kPositionPrefix);

    m_historyPosition = 0;
    m_history = QStringList{QString()};

    m_replyPending = false;
    m_sentByEnter = false;

    m_endpoint = new LocalEndpoint(kSendWindowCaption, this);
    connect(m_endpoint, &LocalEndpoint::bringToFrontRequested, this, [this] { bringToFront(this); });
    m_endpoint->listen();

    // From here on, reply records from Quillbox reach the window.
    m_replyReceiver = new ReplyRecordReceiver(this);
    connect(m_replyReceiver, &ReplyRecordReceiver::replyRecordReceived, this, &SendWindow::handleReplyRecord);
    m_replyReceiver->hook(m_endpoint);

    // With the endpoint up first, Quillbox, which may have started the
    // program to hand over a reply, is answered whatever becomes of the box.
    const bool optionsSaved = saveProgramOptions(m_store, m_settings);
    if (!saveUserList(m_store, m_settings.userList) || !optionsSaved)
        reportSaveFailure(this, m_store.fileName());
}

void SendWindow::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_sender->close();
    m_fanout->stop();
    saveUserList(m_store, m_settings.userList);
    storeWindowPosition(this, m_store, kPositionPrefix);
    if (!m_store.flush())
        reportSaveFailure(this, m_store.fileName());
    if (m_replyReceiver)
        m_replyReceiver->unhook();
    if (m_endpoint)
        m_endpoint->close();
}

void SendWindow::saveSettings()
{
    const bool saved = saveSenderSettings(m_store, m_settings);
    storeWindowPosition(this, m_store, kPositionPrefix);
    PositionKeeper::storeOpenPositions();
    if (!m_store.flush() || !saved)
        reportSaveFailure(this, m_store.fileName());
}

void SendWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange) {
        // Only moves between the program's own windows count: losing the
        // focus to another program, or to a notice box, changes nothing.
        const QWidget *active = QApplication::activeWindow();
        if (isActiveWindow())
            onActivated();
        else if (active && active != this && !qobject_cast<const QMessageBox *>(active))
            onDeactivated();
    }
    QMainWindow::changeEvent(event);
}

void SendWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Being shown at start is the window's first activation. The desktop
    // reports it later, and a reply record that made Quillbox start this
    // program may well come first: it must find the window ready for it.
    if (!m_shownOnce && !event->spontaneous()) {
        m_shownOnce = true;
        if (!QApplication::activeModalWidget())
            onActivated();
    }
}

void SendWindow::onActivated()
{
    m_active = true;
    if (m_replyPending)
        emit replyTargetDue();
}

void SendWindow::onDeactivated()
{
    m_active = false;
}

void SendWindow::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
}

void SendWindow::fillRecipientBox(int index)
{
    m_recipientBox->clear();
    const UserList &users = m_settings.userList;
    for (int i = 1; i <= users.count(); ++i)
        m_recipientBox->addItem(recipientEntry(users.at(i)));
    if (m_recipientBox->count() > 0)
        m_recipientBox->setCurrentIndex(index >= 0 && index < m_recipientBox->count() ? index : -1);
}

bool SendWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_messageField && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        onMessageKeyDown(key->key(), key->modifiers());
    }
    // The field still handles every key: Shift+Enter also breaks the line.
    return QMainWindow::eventFilter(watched, event);
}

void SendWindow::onMessageKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    // Shift alone; the keypad flag only says where Enter came from.
    if ((modifiers & ~Qt::KeypadModifier) != Qt::ShiftModifier)
        return;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_sentByEnter = true;
        onSendClicked();
        break;
    case Qt::Key_Up:
        m_historyPosition = std::max(m_historyPosition - 1, 0);
        replaceText(m_messageField, m_history.at(m_historyPosition));
        break;
    case Qt::Key_Down:
        m_historyPosition = std::min(m_historyPosition + 1, static_cast<int>(m_history.size()) - 1);
        replaceText(m_messageField, m_history.at(m_historyPosition));
        break;
    default:
        break;
    }
}

void SendWindow::addToHistory(const QString &text)
{
    if (m_history.size() - 1 != kHistorySize)
        m_history.append(text);
    else {
        m_history.removeAt(1);
        m_history.append(text);
    }
    m_historyPosition = static_cast<int>(m_history.size()) - 1;
}

void SendWindow::onSendClicked()
{
    m_sendButton->setEnabled(false);
    addToHistory(m_messageField->toPlainText());

    const UserRecord &user = m_settings.userList.at(m_recipientBox->currentIndex() + 1);
    m_recipientIp = user.ip;
    m_recipientName = user.name;

    // A send under way is closed by start(), and the new one begins.
    m_fanout->stop();
    QString description;
    if (!m_sender->start(m_recipientIp, user.port, description)) {
        showMessage(this, kTitleError, QStringLiteral("Winsock Error: ") + description);
        endSend();
    }
}

void SendWindow::onConnected()
{
    m_sender->send(
        composeMessage(m_settings.myUserName, m_settings.myReplyPort, m_messageField->toPlainText()));
}

void SendWindow::onSendFinished(MessageSender::Outcome outcome, const QString &description)
{
    switch (outcome) {
    case MessageSender::Outcome::Delivered:
        onSendComplete();
        break;
    case MessageSender::Outcome::NotConfirmed:
        // It may have arrived: the text stays for the user to decide.
        showNotice(this, kTitleWarning,
                   QStringLiteral("Message sent to: ") + m_recipientName + QStringLiteral(" (") +
                       m_recipientIp + QStringLiteral("), but not confirmed: ") + description);
        endSend();
        break;
    case MessageSender::Outcome::Failed:
        onSendFailed(description);
        break;
    }
}

void SendWindow::onSendComplete()
{
    m_sender->close();
    reportDelivered(QStringLiteral("Sucessful Message Send to: ") + m_recipientName + QStringLiteral(" (") +
                    m_recipientIp + u')');
}

void SendWindow::reportDelivered(const QString &notice)
{
    m_messageField->setPlainText(QString());
    m_sendButton->setEnabled(true);
    const bool minimize = m_settings.minimizeWhenSent && !m_sentByEnter;
    m_sentByEnter = false;
    const auto minimizeWindow = [this, minimize] {
        if (minimize && !isMinimized())
            showMinimized();
    };
    // A minimised window would take its notice out of sight: it goes down
    // once the user has closed the box.
    if (m_settings.popupWhenSent)
        showNotice(this, kTitleMessageSend, notice, NoticeText::Separate, minimizeWindow);
    else
        minimizeWindow();
}

void SendWindow::onSendFailed(const QString &description)
{
    showNotice(this, kTitleError, QStringLiteral("Winsock Error: ") + description);
    endSend();
}

void SendWindow::endSend()
{
    m_sender->close();
    m_sentByEnter = false;
    m_sendButton->setEnabled(true);
}

void SendWindow::onStopClicked()
{
    m_sender->close();
    m_fanout->stop();
    m_sendButton->setEnabled(true);
}

void SendWindow::onSendSeveralClicked()
{
    RecipientsDialog dialog(m_settings, m_store, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // One user chosen is an ordinary send, with its usual boxes.
    if (const int user = dialog.singleUser()) {
        m_recipientBox->setCurrentIndex(user - 1);
        onSendClicked();
        return;
    }
    const QList<Recipient> recipients = dialog.recipients();
    // Groups without members: nobody to send to, and the text stays.
    if (recipients.isEmpty()) {
        showMessage(this, kTitleError, QStringLiteral("The chosen groups have no members"));
        return;
    }
    sendToSeveral(recipients);
}

void SendWindow::sendToSeveral(const QList<Recipient> &recipients)
{
    m_sender->close();
    m_sendButton->setEnabled(false);
    const QString text = m_messageField->toPlainText();
    addToHistory(text);
    m_fanout->start(recipients, composeMessage(m_settings.myUserName, m_settings.myReplyPort, text));
}

void SendWindow::onSeveralFinished()
{
    const QList<RecipientResult> &results = m_fanout->results();
    const bool all = std::all_of(results.cbegin(), results.cend(), [](const RecipientResult &result) {
        return result.outcome == MessageSender::Outcome::Delivered;
    });
    if (all) {
        reportDelivered(fanoutSummary(results));
        return;
    }
    // The text stays, for sending again to those who missed it.
    m_sendButton->setEnabled(true);
    m_sentByEnter = false;
    showNotice(this, kTitleWarning, fanoutSummary(results));
}

void SendWindow::onModifyUserClicked()
{
    UserListEditor dialog(m_settings, m_store, this);
    dialog.exec();
    fillRecipientBox(0);
}

void SendWindow::onExitTriggered()
{
    unload();
    close();
    QCoreApplication::quit();
}

void SendWindow::onProgramOptionsTriggered()
{
    SenderOptionsDialog dialog(m_settings, m_store, this);
    dialog.exec();
}

void SendWindow::onIdentificationTriggered()
{
    IdentificationDialog dialog(m_settings, m_store, this);
    dialog.exec();
}

void SendWindow::onYourIpTriggered()
{
    YourIpDialog dialog(m_store, this);
    dialog.exec();
}

void SendWindow::onAboutTriggered()
{
    showAboutBox(this, QStringLiteral("Quillpost"), m_store);
}

void SendWindow::onBringForwardTimer()
{
    m_bringForwardTimer.stop();
    bringToFront(this);
    // A dialog opened in the meantime keeps the focus.
    if (m_messageField->isEnabled() && !QApplication::activeModalWidget())
        m_messageField->setFocus();
}

void SendWindow::handleReplyRecord(const QString &text)
{
    // Records that fail a check are dropped without a word.
    const std::optional<ReplyTarget> target = checkReplyRecord(text, m_settings.userList);
    if (!target)
        return;
    // A later record replaces a target still waiting.
    m_replyTarget = *target;
    m_replyPending = true;
    if (m_active) {
        selectReplyUser();
        return;
    }
    // The notice goes over the dialog that is in front of this window; one
    // that is open already names the latest sender instead.
    QWidget *front = QApplication::activeModalWidget();
    showNotice(front ? front : this, kTitleReply,
               QStringLiteral("Return to main menu for reply to user ") + m_replyTarget.name,
               NoticeText::Replace);
}

void SendWindow::selectReplyUser()
{
    if (!m_replyPending)
        return;
    // The list may have been changed since the record came; a full list
    // leaves the target waiting.
    if (applyReplyTarget(m_settings.userList, m_replyTarget) < 0)
        return;
    fillRecipientBox(m_replyTarget.index - 1);
    if (isMinimized())
        showNormal();
    m_bringForwardTimer.start();
    m_replyPending = false;
}
