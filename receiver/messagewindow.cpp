#include "messagewindow.h"

#include "messagebox.h"
#include "messagetextview.h"
#include "receiversettings.h"
#include "replyservice.h"
#include "senderline.h"
#include "windowposition.h"
#include "wireformat.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The sender line: one line whatever its text, fitted to the window's width.
// Its size never depends on the text, so a new sender's line does not make
// the window measure its labels and buttons again before it is shown.
class SenderLineLabel : public QLabel
{
public:
    using QLabel::QLabel;
    QSize sizeHint() const override
    {
        const QMargins margins = contentsMargins();
        return {0, fontMetrics().height() + margins.top() + margins.bottom() + 2 * margin()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

} // namespace

MessageWindow::MessageWindow(const ReceiverSettings &settings, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_settings(settings)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Dialog1"));
    useActiveColoursWhenInactive();

    m_senderLabel = new SenderLineLabel(this);
    m_senderLabel->setObjectName(QStringLiteral("Computer"));
    // Names come from anyone on the network. The line never sets the
    // window's width: it is fitted to the width the window has.
    m_senderLabel->setTextFormat(Qt::PlainText);
    m_senderLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_senderLabel->installEventFilter(this);

    // Whether the text came encrypted, and with whose key: beside the
    // sender line, whose own text stays as it is.
    m_trustLabel = new QLabel(this);
    m_trustLabel->setObjectName(QStringLiteral("Security"));
    m_trustLabel->setTextFormat(Qt::PlainText);
    m_trustLabel->setWordWrap(true);

    auto *message = new QLabel(this);
    message->setObjectName(QStringLiteral("Message"));
    message->setTextFormat(Qt::PlainText);
    message->setVisible(false); // holds no text, so it takes no room

    m_textView = new MessageTextView(this);
    m_textView->setObjectName(QStringLiteral("TxtMessage"));
    m_textView->setAccessibleName(tr("Messages"));
    // Its frame is drawn by the window, just outside it (see paintEvent()):
    // a view whose text covers all of it is not painted again each time
    // the focus enters or leaves it, as a burst of new windows moves it.
    m_textView->setFrameStyle(QFrame::NoFrame);

    m_notShownLabel = new QLabel(this);
    m_notShownLabel->setObjectName(QStringLiteral("NotShown"));
    m_notShownLabel->setTextFormat(Qt::PlainText);
    m_notShownLabel->setWordWrap(true);
    m_notShownLabel->setVisible(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_senderLabel);
    layout->addWidget(m_trustLabel);
    layout->addWidget(message);
    layout->addWidget(m_textView, 1);
    layout->addWidget(m_notShownLabel);
    layout->addLayout(createButtons());
    resize(420, 260);

    // Keys go to whichever of these has the focus, and each posts an
    // update of itself on being shown (see showFirst()).
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
}

QHBoxLayout *MessageWindow::createButtons()
{
    m_readNext = new QPushButton(tr("Read next ->"), this);
    m_readNext->setObjectName(QStringLiteral("ReadNext"));
    m_readNext->setVisible(false);
    // Its place is kept while it is hidden, so the second text of a sender
    // shows the button without laying the window out again.
    QSizePolicy readNextPolicy = m_readNext->sizePolicy();
    readNextPolicy.setRetainSizeWhenHidden(true);
    m_readNext->setSizePolicy(readNextPolicy);
    m_reply = new QPushButton(tr("Reply"), this);
    m_reply->setObjectName(QStringLiteral("Reply2User"));
    auto *ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);

    connect(m_readNext, &QPushButton::clicked, this, &MessageWindow::onReadNextClicked);
    connect(m_reply, &QPushButton::clicked, this, &MessageWindow::onReplyClicked);
    connect(ok, &QPushButton::clicked, this, &MessageWindow::onOkClicked);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_readNext);
    buttons->addStretch();
    buttons->addWidget(m_reply);
    buttons->addWidget(ok);
    return buttons;
}

MessageWindow::~MessageWindow()
{
    // Ended by the program (at its exit) without a close: nothing was read.
    if (!m_closed)
        reportClosing(false);
}

void MessageWindow::useActiveColoursWhenInactive()
{
    // A burst of new senders activates one new window after another; with
    // the same colours either way, a window that gains or loses the focus
    // need not be painted again (the title bar still shows which is active).
    QPalette colours = QApplication::palette(this);
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto colourRole = static_cast<QPalette::ColorRole>(role);
        colours.setBrush(QPalette::Inactive, colourRole, colours.brush(QPalette::Active, colourRole));
    }
    setPalette(colours);
}

bool MessageWindow::event(QEvent *event)
{
    if (event->type() == QEvent::ApplicationPaletteChange)
        useActiveColoursWhenInactive();
    if (event->type() == updatesPosted()) {
        --m_updateDrops;
        return true;
    }
    if (event->type() == QEvent::UpdateLater && m_updateDrops > 0)
        return true;
    return QWidget::event(event);
}

void MessageWindow::reportFate(qint64 historyId, MessageFate fate)
{
    if (historyId != 0)
        emit fateChanged(historyId, fate);
}

void MessageWindow::reportClosing(bool byUser)
{
    for (qsizetype i = 0; i < m_ids.size(); ++i)
        reportFate(m_ids[i], i == 0 && byUser ? MessageFate::Read : MessageFate::UnreadAtClose);
    m_ids.clear();
    m_trust.clear();
}

QString MessageWindow::senderLine() const
{
    return senderLineText(shownSenderName(m_sender.name), m_sender.address, m_sender.localPort);
}

bool MessageWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A window built ahead has no sender to fit yet.
    if (watched == m_senderLabel && event->type() == QEvent::Resize && !m_texts.isEmpty())
        updateSenderLabel();
    if (swallowsKey(watched, event))
        return true;
    if (event->type() == QEvent::UpdateLater && m_updateDrops > 0)
        return true;
    return QWidget::eventFilter(watched, event);
}

void MessageWindow::startKeyGuard()
{
    m_keyGuard.setRemainingTime(m_keyGuardMs);
}

bool MessageWindow::swallowsKey(QObject *watched, const QEvent *event) const
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    switch (static_cast<const QKeyEvent *>(event)->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Escape:
        break;
    default:
        return false;
    }
    if (!isKeyGuarded())
        return false;
    // A Space pressed before the guard began would click on its release.
    if (auto *button = qobject_cast<QPushButton *>(watched))
        button->setDown(false);
    return true;
}

void MessageWindow::paintEvent(QPaintEvent *)
{
    m_painted = true;
    QPainter painter(this);
    m_textView->drawOutline(painter, m_textView->geometry().adjusted(-1, -1, 1, 1));
}

void MessageWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    startKeyGuard();
    // Once the system has shown it, its frame is known.
    QTimer::singleShot(0, this, [this] { fitOnScreen(this); });
}

void MessageWindow::placeBySlot()
{
    // Each sender's window a little below and right of the previous one, so
    // that a new window never hides exactly behind an older one.
    constexpr int kCascadeStep = 24;
    constexpr int kCascadeCount = 10;
    const QRect area = availableArea();
    const int offset = kCascadeStep * (m_slot % kCascadeCount - kCascadeCount / 2);
    move(area.center() - QPoint(width() / 2, height() / 2) + QPoint(offset, offset));
    // The step never takes the window (its frame, title bar included) off a
    // small screen, or one seen at a large scale factor.
    fitOnScreen(this);
}

void MessageWindow::updateSenderLabel()
{
    m_senderLabel->setText(fittedSenderLine(m_sender.name, m_sender.address, m_sender.localPort,
                                            m_senderLabel->fontMetrics(),
                                            m_senderLabel->contentsRect().width()));
}

void MessageWindow::showCurrentMessage()
{
    m_textView->setMessage(fromWireLineBreaks(m_texts.value(0)));
    updateTrustLabel();
}

void MessageWindow::updateTrustLabel()
{
    const auto [trust, key] = m_trust.value(0);
    m_trustLabel->setText(senderTrustText(trust, key));
    // A name taken by someone without its key must not be missed.
    const bool warn = trust == SenderTrust::Impostor;
    QFont font = m_trustLabel->font();
    font.setBold(warn);
    m_trustLabel->setFont(font);
    m_trustLabel->setStyleSheet(
        warn ? QStringLiteral("QLabel { color: white; background: #b00020; padding: 4px; }") : QString());
}

void MessageWindow::updateReadNext()
{
    m_readNext->setVisible(m_texts.size() > 1);
}

void MessageWindow::beep()
{
    if (m_settings.playIncomingSound)
        QApplication::beep();
}

void MessageWindow::prepare()
{
    ensurePolished();
    layout()->activate();
    // The widgets learn their sizes now rather than when the window is
    // shown: the text view then lays its first text out once, at its real
    // width, instead of once when it is set and again on being shown.
    QList<QWidget *> widgets{this};
    for (qsizetype i = 0; i < widgets.size(); ++i) {
        QWidget *widget = widgets.at(i);
        if (widget->testAttribute(Qt::WA_PendingResizeEvent)) {
            QResizeEvent resized(widget->size(), QSize());
            QCoreApplication::sendEvent(widget, &resized);
            widget->setAttribute(Qt::WA_PendingResizeEvent, false);
        }
        widgets += widget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    }
    // The platform window too, hidden.
    winId();
}

void MessageWindow::showFirst(int slot, const Message &first, bool visible)
{
    // Captioned only now: a window built ahead is no message window yet to
    // anyone who looks for one by its caption.
    setWindowTitle(tr("Message "));
    m_slot = slot;
    m_sender = first;
    m_sender.text.clear();
    updateSenderLabel();
    m_texts = QStringList{first.text};
    m_ids = QList<qint64>{first.historyId};
    m_trust = {{first.trust, first.senderKey}};
    m_heldCharacters = first.text.size();
    showCurrentMessage();
    updateReadNext();
    placeBySlot();
    if (visible) {
        show();
        dropUpdatesPostedSoFar();
        raise();
        // Activated with the others that arrive meanwhile: in a burst of new
        // senders only the latest window takes the focus, and the others are
        // not repainted once as active and again as inactive.
        requestActivation();
    }
    beep();
}

void MessageWindow::dropUpdatesPostedSoFar()
{
    // A window shown for the first time is painted whole when it appears.
    // Each of its widgets posts an update of itself on being shown (and so
    // does one shown by a further text before that first paint), which
    // would paint most of the window a second time once it is there: those
    // are dropped, up to an event posted after them (posted events of one
    // priority come in order).
    ++m_updateDrops;
    QCoreApplication::postEvent(this, new QEvent(updatesPosted()));
}

QEvent::Type MessageWindow::updatesPosted()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void MessageWindow::addMessage(const Message &message)
{
    // Runs to its end without handing control to the event loop, so "Read
    // next ->" cannot be pressed half-way; it is not disabled meanwhile,
    // which would repaint the window on every arrival.
    if (message.localPort != m_sender.localPort) {
        m_sender.localPort = message.localPort;
        updateSenderLabel();
    }
    m_sender.replyPort = message.replyPort;
    // Further texts beyond the limits are dropped: one sender cannot make
    // a window hold more than anyone could read through.
    if (m_texts.size() < kMaxMessages && m_heldCharacters + message.text.size() <= kMaxHeldCharacters) {
        m_texts.append(message.text);
        m_ids.append(message.historyId);
        m_trust.append({message.trust, message.senderKey});
        m_heldCharacters += message.text.size();
    } else {
        // Kept in the history when there is one, and the window says so.
        ++m_notShown;
        reportFate(message.historyId, MessageFate::NotShown);
        m_notShownLabel->setText(
            message.historyId != 0
                ? tr("%1 more from this sender could not be shown here; they are in the History.")
                      .arg(m_notShown)
                : tr("%1 more from this sender could not be shown.").arg(m_notShown));
        m_notShownLabel->setVisible(true);
    }
    updateReadNext();
    if (isVisible() && !m_painted)
        dropUpdatesPostedSoFar();
    startKeyGuard();
    beep();
    requestActivation();
}

namespace {

// The window that received the latest text is activated a moment later, when
// the texts arriving meanwhile have been handled: a burst of texts for many
// windows switches the active window (and repaints the windows whose active
// state changed) a few times a second, not once a text.
constexpr int kActivationDelayMs = 50;

QPointer<MessageWindow> &pendingActivation()
{
    static QPointer<MessageWindow> window;
    return window;
}

} // namespace

void MessageWindow::requestActivation()
{
    const bool scheduled = !pendingActivation().isNull();
    pendingActivation() = this;
    if (scheduled)
        return;
    QTimer::singleShot(kActivationDelayMs, qApp, [] {
        if (MessageWindow *window = std::exchange(pendingActivation(), nullptr))
            window->activate();
    });
}

void MessageWindow::activate()
{
    if (isHidden())
        return; // waits for the user to open it
    const bool noneActive = QApplication::activeWindow() == nullptr;
    activateWindow();
    if (noneActive)
        m_textView->setFocus();
}

void MessageWindow::onReadNextClicked()
{
    m_readNext->setEnabled(false);
    if (m_texts.size() > 1) {
        m_heldCharacters -= m_texts.takeFirst().size();
        reportFate(m_ids.takeFirst(), MessageFate::Read);
        m_trust.removeFirst();
        showCurrentMessage();
        updateReadNext();
    }
    m_readNext->setEnabled(true);
}

void MessageWindow::setReplyService(ReplyService *replies)
{
    m_replies = replies;
    connect(replies, &ReplyService::finished, this,
            [this](QObject *requester, ReplyOutcome outcome, const QString &notice) {
                if (requester == this)
                    onReplyFinished(outcome, notice);
            });
}

void MessageWindow::onReplyClicked()
{
    // "Reply" stays disabled while the handoff runs, so none overlaps it.
    if (m_replies && m_replies->reply(m_sender, this))
        setReplyEnabled(false);
}

void MessageWindow::onReplyFinished(ReplyOutcome outcome, const QString &notice)
{
    if (!notice.isEmpty())
        showNotice(this, kTitleWarning, notice);
    setReplyEnabled(true);
    if (outcome == ReplyOutcome::Delivered && m_texts.size() <= 1)
        close();
}

void MessageWindow::setReplyEnabled(bool enabled)
{
    m_reply->setEnabled(enabled);
}

void MessageWindow::onOkClicked()
{
    close();
}

void MessageWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_closed) {
        m_closed = true;
        reportClosing(true);
        emit closed(m_slot);
    }
}
