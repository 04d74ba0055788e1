#include "sendform.h"

#include "aboutbox.h"
#include "identification.h"
#include "localendpoint.h"
#include "messagebox.h"
#include "messagesender.h"
#include "modifyuser.h"
#include "optprog.h"
#include "receivestring.h"
#include "sendersettings.h"
#include "setactivewnd.h"
#include "settingsstore.h"
#include "windowposition.h"
#include "wireformat.h"
#include "yourip.h"

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
#include <QVBoxLayout>

namespace {

// The main window's start position has no prefix of its own.
const QString kPositionPrefix;
// Room for a typical "name (address: port)" entry, and a first size that
// leaves a few lines for the message.
constexpr int kRecipientEntryCharacters = 24;
constexpr QSize kInitialSize(480, 260);

QString RecipientEntry(const UserRecord &user)
{
    const QString port = user.port >= 0 ? u' ' + QString::number(user.port) : QString::number(user.port);
    return user.name + QStringLiteral(" (") + user.ip + u':' + port + u')';
}

} // namespace

SendForm::SendForm(SettingsStore &store, SenderSettings &settings, QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
    , m_settings(settings)
{
    BuildWindow();
    BuildMenus();
    Form_Load();
}

SendForm::~SendForm()
{
    // Destroying the window without closing it still ends the program's
    // session in the store.
    Form_Unload();
    m_settings.refillRecipientBox = nullptr;
}

void SendForm::BuildWindow()
{
    setObjectName(QStringLiteral("SendForm"));
    setWindowTitle(kSendFormCaption);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);

    m_text1 = new QPlainTextEdit(central);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setTabChangesFocus(true);
    m_text1->installEventFilter(this);
    layout->addWidget(m_text1, 1);

    auto *row = new QHBoxLayout();
    m_combo1 = new QComboBox(central);
    m_combo1->setObjectName(QStringLiteral("Combo1"));
    m_combo1->setEditable(false);
    m_combo1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_combo1->setMinimumContentsLength(kRecipientEntryCharacters);
    row->addWidget(m_combo1, 1);

    m_command1 = new QPushButton(QStringLiteral("Send"), central);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_stopSend = new QPushButton(QStringLiteral("Stop"), central);
    m_stopSend->setObjectName(QStringLiteral("StopSend"));
    m_adduser = new QPushButton(QStringLiteral("Modify User"), central);
    m_adduser->setObjectName(QStringLiteral("adduser"));
    row->addWidget(m_command1);
    row->addWidget(m_stopSend);
    row->addWidget(m_adduser);
    layout->addLayout(row);
    setCentralWidget(central);
    setTabOrder(m_text1, m_combo1);
    m_text1->setFocus();

    connect(m_command1, &QPushButton::clicked, this, &SendForm::Command1_Click);
    connect(m_stopSend, &QPushButton::clicked, this, &SendForm::StopSend_Click);
    connect(m_adduser, &QPushButton::clicked, this, &SendForm::adduser_Click);

    m_timerSw.setObjectName(QStringLiteral("TimerSW"));
    m_timerSw.setSingleShot(true);
    m_timerSw.setInterval(kTimerSwIntervalMs);
    connect(&m_timerSw, &QTimer::timeout, this, &SendForm::TimerSW_Timer);
    connect(this, &SendForm::replyTargetDue, this, &SendForm::SelectReplyUser);

    m_winsock = new MessageSender(this);
    m_winsock->setObjectName(QStringLiteral("Winsock1"));
    connect(m_winsock, &MessageSender::connected, this, &SendForm::Winsock1_Connect);
    connect(m_winsock, &MessageSender::sent, this, &SendForm::Winsock1_SendComplete);
    connect(m_winsock, &MessageSender::failed, this, &SendForm::Winsock1_Error);

    resize(kInitialSize);
}

void SendForm::BuildMenus()
{
    const auto addItem = [this](QMenu *menu, const QString &text, const QString &group, int index,
                                void (SendForm::*handler)(int)) {
        QAction *action = menu->addAction(text);
        action->setObjectName(group + u'_' + QString::number(index));
        connect(action, &QAction::triggered, this, [this, handler, index] { (this->*handler)(index); });
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mainmn_1"));
    addItem(file, QStringLiteral("E&xit"), QStringLiteral("exitmn"), 1, &SendForm::exitmn_Click);

    QMenu *option = menuBar()->addMenu(QStringLiteral("&Option"));
    option->setObjectName(QStringLiteral("mainmn_2"));
    addItem(option, QStringLiteral("&Program Option ..."), QStringLiteral("progopmn"), 1,
            &SendForm::progopmn_Click);
    addItem(option, QStringLiteral("&Identification ..."), QStringLiteral("progopmn"), 2,
            &SendForm::progopmn_Click);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mainmn_3"));
    addItem(help, QStringLiteral("Your &ip..."), QStringLiteral("aboutmn"), 1, &SendForm::aboutmn_Click);
    help->addSeparator()->setObjectName(QStringLiteral("aboutmn_2"));
    addItem(help, QStringLiteral("&About..."), QStringLiteral("aboutmn"), 3, &SendForm::aboutmn_Click);
}

void SendForm::Form_Load()
{
    m_settings.userList = DefaultUserList();
    m_settings.refillRecipientBox = [this] { FillUserCombo(0); };
    LoadSenderSettings(m_store, m_settings);

    // Centring needs the size the window will really have.
    resize(size().expandedTo(minimumSizeHint()));
    PlaceWindow(this, m_store, kPositionPrefix);
    StoreWindowPosition(this, m_store, kPositionPrefix);

    m_msgHistoryPos = 0;
    m_msgHistory = QStringList{QString()};

    const bool optionsSaved = SaveProgramOptions(m_store, m_settings);
    if (!SaveUserList(m_store, m_settings.userList) || !optionsSaved)
        ReportSaveFailure(this, m_store.fileName());

    m_replyPending = false;
    m_sendByEnter = false;

    m_endpoint = new LocalEndpoint(kSendFormCaption, this);
    connect(m_endpoint, &LocalEndpoint::bringToFrontRequested, this, [this] { BringToFront(this); });
    m_endpoint->listen();

    // From here on, reply records from Quillbox reach the window.
    m_receiveString = new ReceiveString(this);
    connect(m_receiveString, &ReceiveString::replyRecordReceived, this, &SendForm::HandleReplyRecord);
    m_receiveString->HookReplyIntake(m_endpoint);
}

void SendForm::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_winsock->close();
    SaveUserList(m_store, m_settings.userList);
    StoreWindowPosition(this, m_store, kPositionPrefix);
    if (!m_store.flush())
        ReportSaveFailure(this, m_store.fileName());
    if (m_receiveString)
        m_receiveString->UnhookReplyIntake();
    if (m_endpoint)
        m_endpoint->close();
}

void SendForm::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange) {
        // Only moves between the program's own windows count: losing the
        // focus to another program, or to a notice box, changes nothing.
        const QWidget *active = QApplication::activeWindow();
        if (isActiveWindow())
            Form_Activate();
        else if (active && active != this && !qobject_cast<const QMessageBox *>(active))
            Form_Deactivate();
    }
    QMainWindow::changeEvent(event);
}

void SendForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Being shown at start is the window's first activation. The desktop
    // reports it later, and a reply record that made Quillbox start this
    // program may well come first: it must find the window ready for it.
    if (!m_shownOnce && !event->spontaneous()) {
        m_shownOnce = true;
        if (!QApplication::activeModalWidget())
            Form_Activate();
    }
}

void SendForm::Form_Activate()
{
    m_sendFormActive = true;
    if (m_replyPending)
        emit replyTargetDue();
}

void SendForm::Form_Deactivate()
{
    m_sendFormActive = false;
}

void SendForm::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void SendForm::FillUserCombo(int index)
{
    m_combo1->clear();
    const UserList &users = m_settings.userList;
    for (int i = 1; i <= users.count(); ++i)
        m_combo1->addItem(RecipientEntry(users.at(i)));
    if (m_combo1->count() > 0)
        m_combo1->setCurrentIndex(index >= 0 && index < m_combo1->count() ? index : -1);
}

bool SendForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_text1 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        Text1_KeyDown(key->key(), key->modifiers());
    }
    // The field still handles every key: Shift+Enter also breaks the line.
    return QMainWindow::eventFilter(watched, event);
}

void SendForm::Text1_KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    // Shift alone; the keypad flag only says where Enter came from.
    if ((modifiers & ~Qt::KeypadModifier) != Qt::ShiftModifier)
        return;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_sendByEnter = true;
        Command1_Click();
        break;
    case Qt::Key_Up:
        m_msgHistoryPos = std::max(m_msgHistoryPos - 1, 0);
        m_text1->setPlainText(m_msgHistory.at(m_msgHistoryPos));
        break;
    case Qt::Key_Down:
        m_msgHistoryPos = std::min(m_msgHistoryPos + 1, static_cast<int>(m_msgHistory.size()) - 1);
        m_text1->setPlainText(m_msgHistory.at(m_msgHistoryPos));
        break;
    default:
        break;
    }
}

void SendForm::AddToHistory(const QString &text)
{
    if (m_msgHistory.size() - 1 != kMsgHistoryMax)
        m_msgHistory.append(text);
    else {
        m_msgHistory.removeAt(1);
        m_msgHistory.append(text);
    }
    m_msgHistoryPos = static_cast<int>(m_msgHistory.size()) - 1;
}

void SendForm::Command1_Click()
{
    m_command1->setEnabled(false);
    AddToHistory(m_text1->toPlainText());

    const UserRecord &user = m_settings.userList.at(m_combo1->currentIndex() + 1);
    m_sendToIp = user.ip;
    m_sendToName = user.name;

    // A send under way is closed by start(), and the new one begins.
    QString description;
    if (!m_winsock->start(m_sendToIp, user.port, description)) {
        ShowMessage(this, kTitleError, QStringLiteral("Winsock Error: ") + description);
        EndSend();
    }
}

void SendForm::Winsock1_Connect()
{
    m_winsock->send(ComposeMessage(m_settings.MyUsername, m_settings.MyPortnb, m_text1->toPlainText()));
}

void SendForm::Winsock1_SendComplete()
{
    if (m_settings.PopupWhenSend)
        ShowMessage(this, kTitleMessageSend,
                    QStringLiteral("Sucessful Message Send to: ") + m_sendToName + QStringLiteral(" (") +
                        m_sendToIp + u')');
    m_text1->setPlainText(QString());
    m_winsock->close();
    m_command1->setEnabled(true);
    if (m_settings.MinimizedWhenSend && !m_sendByEnter) {
        if (!isMinimized())
            showMinimized();
    }
    m_sendByEnter = false;
}

void SendForm::Winsock1_Error(const QString &description)
{
    ShowMessage(this, kTitleError, QStringLiteral("Winsock Error: ") + description);
    EndSend();
}

void SendForm::EndSend()
{
    m_winsock->close();
    m_sendByEnter = false;
    m_command1->setEnabled(true);
}

void SendForm::StopSend_Click()
{
    m_winsock->close();
    m_command1->setEnabled(true);
}

void SendForm::adduser_Click()
{
    ModifyUser dialog(m_settings, m_store, this);
    dialog.exec();
    FillUserCombo(0);
}

void SendForm::exitmn_Click(int index)
{
    if (index != 1)
        return;
    Form_Unload();
    close();
    QCoreApplication::quit();
}

void SendForm::progopmn_Click(int index)
{
    if (index == 1) {
        OptProg dialog(m_settings, m_store, this);
        dialog.exec();
    } else if (index == 2) {
        Identification dialog(m_settings, m_store, this);
        dialog.exec();
    }
}

void SendForm::aboutmn_Click(int index)
{
    if (index == 1) {
        YourIP dialog(m_store, this);
        dialog.exec();
    } else if (index == 3) {
        ShowAboutBox(this, QStringLiteral("Quillpost"), m_store);
    }
}

void SendForm::TimerSW_Timer()
{
    m_timerSw.stop();
    BringToFront(this);
    // A dialog opened in the meantime keeps the focus.
    if (m_text1->isEnabled() && !QApplication::activeModalWidget())
        m_text1->setFocus();
}

void SendForm::HandleReplyRecord(const QString &text)
{
    // Records that fail a check are dropped without a word.
    const std::optional<ReplyTarget> target = ::HandleReplyRecord(text, m_settings.userList);
    if (!target)
        return;
    // A later record replaces a target still waiting.
    m_replyTo = *target;
    m_replyPending = true;
    if (m_sendFormActive) {
        SelectReplyUser();
        return;
    }
    // The notice goes over the dialog that is in front of this window.
    QWidget *front = QApplication::activeModalWidget();
    ShowMessage(front ? front : this, kTitleReply,
                QStringLiteral("Return to main menu for reply to user ") + m_replyTo.name);
}

void SendForm::SelectReplyUser()
{
    if (!m_replyPending)
        return;
    // The list may have been changed since the record came; a full list
    // leaves the target waiting.
    if (::SelectReplyUser(m_settings.userList, m_replyTo) < 0)
        return;
    FillUserCombo(m_replyTo.index - 1);
    if (isMinimized())
        showNormal();
    m_timerSw.start();
    m_replyPending = false;
}
