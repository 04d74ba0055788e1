#include "sendwindow.h"

#include "presencebrowser.h"

#include "aboutbox.h"
#include "identificationdialog.h"
#include "messagebox.h"
#include "messagefield.h"
#include "positionkeeper.h"
#include "recipientbox.h"
#include "recipientsdialog.h"
#include "replyintake.h"
#include "senderoptionsdialog.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "userlisteditor.h"
#include "windowactivation.h"
#include "windowposition.h"
#include "youripdialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

// The main window's start position has no prefix of its own.
static const QString kPositionPrefix;

SendWindow::SendWindow(SettingsStore &store, SenderSettings &settings, QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
    , m_settings(settings)
    , m_sending(new SendController(settings, this))
    , m_intake(new ReplyIntake(settings.userList, this))
{
    setObjectName(QStringLiteral("SendForm"));
    setWindowTitle(tr("Send Message"));
    createMessageArea();
    createMenus();
    // A first size that leaves a few lines for the message.
    resize(480, 260);

    connect(m_sending, &SendController::connected, this,
            [this] { m_sending->sendText(m_messageField->toPlainText()); });
    connect(m_sending, &SendController::finished, this, &SendWindow::onSendFinished);
    // A pinned key is kept at once: it guards every later message.
    connect(m_sending, &SendController::userKeyPinned, this, [this] {
        if (!saveUserList(m_store, m_settings.userList))
            reportSaveFailure(this, m_store.fileName());
    });
    connectReplyIntake();
    // The people online are browsed from the first turn of the event loop
    // on: connecting to the system bus is no part of the start.
    QTimer::singleShot(0, this, [this] {
        m_people = new PresenceBrowser(QDBusConnection::systemBus(), this);
        m_sending->setPresence(m_people);
        const auto refill = [this] { fillRecipients(m_recipientBox->currentIndex()); };
        connect(m_sending, &SendController::userMoved, this, refill);
        connect(m_people, &PresenceBrowser::changed, this, refill);
        m_people->start();
    });
    load();
}

void SendWindow::fillRecipients(int index)
{
    m_recipientBox->fill(m_settings.userList, index, m_people);
}

SendWindow::~SendWindow()
{
    // Destroying the window without closing it still ends the program's
    // session in the store.
    unload();
}

void SendWindow::connectReplyIntake()
{
    connect(m_intake, &ReplyIntake::bringToFrontRequested, this,
            [this](const QString &activationToken) { bringToFront(this, activationToken); });
    connect(m_intake, &ReplyIntake::userChosen, this, [this](int number) {
        fillRecipients(number - 1);
        if (isMinimized())
            showNormal();
    });
    connect(m_intake, &ReplyIntake::targetWaiting, this, [this](const QString &name) {
        // The notice goes over the dialog that is in front of this window;
        // one that is open already names the latest sender instead.
        QWidget *front = QApplication::activeModalWidget();
        showNotice(front ? front : this, kTitleReply,
                   tr("Return to main menu for reply to user %1").arg(name), NoticeText::Replace);
    });
    connect(m_intake, &ReplyIntake::bringForwardDue, this, [this] {
        bringToFront(this);
        // A dialog opened in the meantime keeps the focus.
        if (m_messageField->isEnabled() && !QApplication::activeModalWidget())
            m_messageField->setFocus();
    });
}

void SendWindow::createMessageArea()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    m_messageField = new MessageField(m_sending->sentTexts(), central);
    connect(m_messageField, &MessageField::sendRequested, this, [this] {
        m_sentByEnter = true;
        onSendClicked();
    });
    layout->addWidget(m_messageField, 1);
    createButtons(central, layout);
    setCentralWidget(central);
    setTabOrder(m_messageField, m_recipientBox);
    m_messageField->setFocus();
}

void SendWindow::createButtons(QWidget *central, QVBoxLayout *layout)
{
    auto *row = new QHBoxLayout();
    m_recipientBox = new RecipientBox(central);
    row->addWidget(m_recipientBox, 1);
    const auto addButton = [this, central, row](const QString &text, const QString &name,
                                                const std::function<void()> &handler) {
        auto *button = new QPushButton(text, central);
        button->setObjectName(name);
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, handler);
        return button;
    };
    m_sendButton = addButton(tr("Send"), QStringLiteral("Command1"), [this] { onSendClicked(); });
    addButton(tr("Stop"), QStringLiteral("StopSend"), [this] {
        m_sending->stop();
        m_sendButton->setEnabled(true);
    });
    addButton(tr("Modify User"), QStringLiteral("adduser"), [this] {
        UserListEditor editor(m_settings, m_store, this);
        editor.setPeople(m_people);
        editor.exec();
        fillRecipients(0);
    });
    addButton(tr("Se&veral..."), QStringLiteral("SendSeveral"), [this] { onSendSeveralClicked(); });
    layout->addLayout(row);
}

void SendWindow::addMenuItem(QMenu *menu, const QString &text, const QString &name,
                             const std::function<void()> &handler)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, handler);
}

void SendWindow::createMenus()
{
    // The items keep the names of their menu groups and places ("progopmn_2").
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("mainmn_1"));
    addMenuItem(file, tr("E&xit"), QStringLiteral("exitmn_1"), [this] {
        unload();
        close();
        QCoreApplication::quit();
    });

    QMenu *option = menuBar()->addMenu(tr("&Option"));
    option->setObjectName(QStringLiteral("mainmn_2"));
    addMenuItem(option, tr("&Program Option ..."), QStringLiteral("progopmn_1"),
                [this] { SenderOptionsDialog(m_settings, m_store, this).exec(); });
    addMenuItem(option, tr("&Identification ..."), QStringLiteral("progopmn_2"),
                [this] { IdentificationDialog(m_settings, m_store, this).exec(); });

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("mainmn_3"));
    addMenuItem(help, tr("Your &ip..."), QStringLiteral("aboutmn_1"),
                [this] { YourIpDialog(m_store, this).exec(); });
    help->addSeparator()->setObjectName(QStringLiteral("aboutmn_2"));
    addMenuItem(help, tr("&About..."), QStringLiteral("aboutmn_3"),
                [this] { showAboutBox(this, QStringLiteral("Quillpost"), m_store); });
}

void SendWindow::load()
{
    m_settings.userList = defaultUserList();
    loadSenderSettings(m_store, m_settings);
    fillRecipients(0);

    // Centring needs the size the window will really have.
    resize(size().expandedTo(minimumSizeHint()));
    placeWindow(this, m_store, kPositionPrefix);
    storeWindowPosition(this, m_store, kPositionPrefix);

    m_intake->listen();

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
    m_sending->stop();
    saveUserList(m_store, m_settings.userList);
    storeWindowPosition(this, m_store, kPositionPrefix);
    if (!m_store.flush())
        reportSaveFailure(this, m_store.fileName());
    m_intake->close();
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
            m_intake->setWindowActive(true);
        else if (active && active != this && !qobject_cast<const QMessageBox *>(active))
            m_intake->setWindowActive(false);
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
            m_intake->setWindowActive(true);
    }
}

void SendWindow::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
}

void SendWindow::onSendClicked()
{
    m_sendButton->setEnabled(false);
    QString error;
    if (!m_sending->sendToUser(m_recipientBox->currentIndex() + 1, m_messageField->toPlainText(), error)) {
        showMessage(this, kTitleError, error);
        endSend();
    }
}

void SendWindow::onSendFinished(SendController::Result result, const QString &notice)
{
    // Unless delivered the text stays: it may have arrived, or is for sending again.
    if (result != SendController::Result::Delivered) {
        showNotice(this, result == SendController::Result::Failed ? kTitleError : kTitleWarning, notice);
        endSend();
        return;
    }
    // Delivered: the field is cleared, the notice shown and the window
    // minimised if the options say so.
    m_messageField->setPlainText(QString());
    const bool minimize = m_settings.minimizeWhenSent && !m_sentByEnter;
    endSend();
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

void SendWindow::endSend()
{
    m_sentByEnter = false;
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
    QString error;
    if (m_sending->sendToSeveral(dialog.recipients(), m_messageField->toPlainText(), error))
        m_sendButton->setEnabled(false);
    else
        showMessage(this, kTitleError, error);
}

bool SendWindow::isSendWindowActive() const
{
    return m_intake->isWindowActive();
}
