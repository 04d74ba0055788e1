#include "messagerouter.h"

#include "messagewindow.h"
#include "wireformat.h"

#include <algorithm>

MessageRouter::MessageRouter(const ReceiverSettings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_windows(1)
{}

MessageRouter::~MessageRouter()
{
    closeAllWindows();
}

int MessageRouter::openWindowCount() const
{
    return static_cast<int>(
        std::count_if(m_windows.cbegin(), m_windows.cend(),
                      [](const QPointer<MessageWindow> &window) { return !window.isNull(); }));
}

bool MessageRouter::queueHasRoom() const
{
    return m_queue.size() < kMaxQueuedMessages && m_queuedBytes < kMaxQueuedBytes;
}

void MessageRouter::enqueue(QueuedMessage message)
{
    m_queuedBytes += message.payload.size();
    m_queue.append(std::move(message));
    emit queueChanged();
}

void MessageRouter::processMessage(const QByteArray &payload, qint32 localPort, const QString &remoteIp)
{
    QString text = decodePayload(payload);
    QString name;
    qint32 replyPort = 0;
    if (parseMessage(text, name, replyPort) != kMessageAccepted)
        return;

    const int highest = static_cast<int>(m_windows.size()) - 1;
    for (int slot = 0; slot <= highest; ++slot) {
        MessageWindow *window = m_windows[slot];
        if (window && window->userip == remoteIp && window->username == name) {
            window->addMessage(static_cast<qint16>(slot), text, localPort, replyPort);
            return;
        }
    }
    for (int slot = 0; slot <= highest; ++slot) {
        if (!m_windows[slot]) {
            openWindow(slot, name, localPort, replyPort, remoteIp, text);
            return;
        }
    }
    if (highest >= kMaxMessageWindows - 1) {
        enqueue(QueuedMessage{payload, localPort, remoteIp});
        return;
    }
    m_windows.append(nullptr);
    openWindow(highest + 1, name, localPort, replyPort, remoteIp, text);
}

void MessageRouter::openWindow(int slot, const QString &name, qint32 localPort, qint32 replyPort,
                               const QString &remoteIp, const QString &text)
{
    auto *window = new MessageWindow(m_settings);
    m_windows[slot] = window;
    window->dialognb = static_cast<qint16>(slot);
    window->username = name;
    window->userport = localPort;
    window->userreplyport = replyPort;
    window->userip = remoteIp;
    window->messagetemp = text;
    connect(window, &MessageWindow::unloaded, this, &MessageRouter::windowUnloaded);
    emit windowOpened(window);
    window->showFirstMessage();
}

void MessageRouter::processQueue()
{
    if (!m_receiveReady || m_queue.isEmpty())
        return;
    // Work on what waits now, in arrival order; a message that again finds
    // every window taken is queued anew, keeping that order.
    const QList<QueuedMessage> waiting = std::exchange(m_queue, {});
    m_queuedBytes = 0;
    for (const QueuedMessage &message : waiting)
        processMessage(message.payload, message.localPort, message.remoteIp);
    emit queueChanged();
}

void MessageRouter::trimWindowList()
{
    qsizetype last = m_windows.size() - 1;
    while (last >= 0 && m_windows[last].isNull())
        --last;
    if (last >= 0)
        m_windows.resize(last + 1);
}

void MessageRouter::windowUnloaded(qint16 slot)
{
    if (m_closingAll)
        return;
    if (slot >= 0 && slot < m_windows.size())
        m_windows[slot] = nullptr;
    trimWindowList();
    processQueue();
    if (openWindowCount() == 0)
        emit lastWindowClosed();
}

void MessageRouter::closeAllWindows()
{
    m_closingAll = true;
    const QList<QPointer<MessageWindow>> windows = m_windows;
    for (const QPointer<MessageWindow> &window : windows)
        delete window.data();
    m_windows = QList<QPointer<MessageWindow>>(1);
    m_closingAll = false;
}
