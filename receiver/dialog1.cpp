#include "dialog1.h"

#include "receiversettings.h"
#include "setactivewnd.h"
#include "wireformat.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

Dialog1::Dialog1(const ReceiverSettings &settings, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_settings(settings)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Message "));
    setObjectName(QStringLiteral("Dialog1"));

    m_computer = new QLabel(this);
    m_computer->setObjectName(QStringLiteral("Computer"));
    // Names come from anyone on the network.
    m_computer->setTextFormat(Qt::PlainText);

    auto *message = new QLabel(this);
    message->setObjectName(QStringLiteral("Message"));
    message->setTextFormat(Qt::PlainText);
    message->setVisible(false); // holds no text, so it takes no room

    m_txtMessage = new QPlainTextEdit(this);
    m_txtMessage->setObjectName(QStringLiteral("TxtMessage"));
    m_txtMessage->setReadOnly(true);
    m_txtMessage->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_readNext = new QPushButton(QStringLiteral("Read next ->"), this);
    m_readNext->setObjectName(QStringLiteral("ReadNext"));
    m_readNext->setVisible(false);
    m_reply = new QPushButton(QStringLiteral("Reply"), this);
    m_reply->setObjectName(QStringLiteral("Reply2User"));
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);

    connect(m_readNext, &QPushButton::clicked, this, &Dialog1::ReadNext_Click);
    connect(m_reply, &QPushButton::clicked, this, &Dialog1::Reply2User_Click);
    connect(ok, &QPushButton::clicked, this, &Dialog1::OKButton_Click);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_readNext);
    buttons->addStretch();
    buttons->addWidget(m_reply);
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_computer);
    layout->addWidget(message);
    layout->addWidget(m_txtMessage, 1);
    layout->addLayout(buttons);
    resize(420, 260);
}

Dialog1::~Dialog1() = default;

QString Dialog1::senderLine() const
{
    const QString name = username.isEmpty() ? QStringLiteral("Anonymous") : username;
    return name + QStringLiteral(" (") + userip + QStringLiteral(" Port:") + QString::number(userport) +
           QStringLiteral(") Send:");
}

void Dialog1::PlaceBySlot()
{
    // Each sender's window a little below and right of the previous one, so
    // that a new window never hides exactly behind an older one.
    constexpr int kCascadeStep = 24;
    constexpr int kCascadeCount = 10;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int offset = kCascadeStep * (dialognb % kCascadeCount - kCascadeCount / 2);
    move(area.center() - QPoint(width() / 2, height() / 2) + QPoint(offset, offset));
}

void Dialog1::UpdateSenderLabel()
{
    m_computer->setText(senderLine());
}

// Laying out a run of characters without a break opportunity takes time that
// grows with the square of its length when the layout first looks for a word
// boundary; any sender can send 64 KiB of one word. Such texts wrap anywhere.
static bool HasLongUnbrokenRun(const QString &text)
{
    constexpr int kLongestWord = 200;
    int run = 0;
    for (QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > kLongestWord)
            return true;
    }
    return false;
}

void Dialog1::ShowCurrentMessage()
{
    const QString text = FromWireLineBreaks(m_messagelist.value(0));
    m_txtMessage->setWordWrapMode(HasLongUnbrokenRun(text) ? QTextOption::WrapAnywhere
                                                           : QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_txtMessage->setPlainText(text);
}

void Dialog1::UpdateReadNext()
{
    m_readNext->setVisible(m_messagelist.size() > 1);
}

void Dialog1::Beep()
{
    if (m_settings.PlayIncomingSound)
        QApplication::beep();
}

void Dialog1::Form_Load()
{
    UpdateSenderLabel();
    m_messagelist = QStringList{messagetemp};
    m_heldCharacters = messagetemp.size();
    ShowCurrentMessage();
    UpdateReadNext();
    PlaceBySlot();
    BringToFront(this);
    Beep();
}

void Dialog1::rfevent_AddNext(qint16 dialog2apply, const QString &newstrdata, qint32 newuserport,
                              qint32 newuserreplyport)
{
    // Runs to its end without handing control to the event loop, so "Read
    // next ->" cannot be pressed half-way; it is not disabled meanwhile,
    // which would repaint the window on every arrival.
    if (dialog2apply == dialognb) {
        if (newuserport != userport) {
            userport = newuserport;
            UpdateSenderLabel();
        }
        userreplyport = newuserreplyport;
        // Further texts beyond the limits are dropped: one sender cannot make
        // a window hold more than anyone could read through.
        if (m_messagelist.size() < kMaxMessages &&
            m_heldCharacters + newstrdata.size() <= kMaxHeldCharacters) {
            m_messagelist.append(newstrdata);
            m_heldCharacters += newstrdata.size();
        }
        UpdateReadNext();
    }
    Beep();
    RequestActivation();
}

namespace {

// The window that received the latest text is activated a moment later, when
// the texts arriving meanwhile have been handled: a burst of texts for many
// windows switches the active window (and repaints the windows whose active
// state changed) a few times a second, not once a text.
constexpr int kActivationDelayMs = 50;

QPointer<Dialog1> &PendingActivation()
{
    static QPointer<Dialog1> window;
    return window;
}

} // namespace

void Dialog1::RequestActivation()
{
    const bool scheduled = !PendingActivation().isNull();
    PendingActivation() = this;
    if (scheduled)
        return;
    QTimer::singleShot(kActivationDelayMs, qApp, [] {
        if (Dialog1 *window = std::exchange(PendingActivation(), nullptr))
            window->Activate();
    });
}

void Dialog1::Activate()
{
    const bool noneActive = QApplication::activeWindow() == nullptr;
    activateWindow();
    if (noneActive)
        m_txtMessage->setFocus();
}

void Dialog1::ReadNext_Click()
{
    m_readNext->setEnabled(false);
    if (m_messagelist.size() > 1) {
        m_heldCharacters -= m_messagelist.takeFirst().size();
        ShowCurrentMessage();
        UpdateReadNext();
    }
    m_readNext->setEnabled(true);
}

void Dialog1::Reply2User_Click()
{
    m_reply->setEnabled(false);
    const qint32 port = userreplyport >= 0 ? userreplyport : userport;
    m_reply->setEnabled(true);
    emit replyRequested(username, userip, port);
}

void Dialog1::ReplyFinished(qint16 result)
{
    if (result == 0 && m_messagelist.size() <= 1)
        close();
}

void Dialog1::setReplyEnabled(bool enabled)
{
    m_reply->setEnabled(enabled);
}

void Dialog1::OKButton_Click()
{
    close();
}

void Dialog1::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_unloaded) {
        m_unloaded = true;
        emit unloaded(dialognb);
    }
}
