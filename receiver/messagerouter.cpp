#include "messagerouter.h"

#include <algorithm>

MessageRouter::MessageRouter(QObject *parent)
    : QObject(parent)
    , m_windows(1, nullptr)
{}

MessageRouter::~MessageRouter()
{
    closeAllWindows();
}

int MessageRouter::openWindowCount() const
{
    return static_cast<int>(std::count_if(m_windows.cbegin(), m_windows.cend(),
                                          [](const MessageView *window) { return window != nullptr; }));
}

void MessageRouter::enqueue(Message message)
{
    m_queuedBytes += message.heldBytes();
    m_queue.append(std::move(message));
    emit queueChanged();
}

void MessageRouter::route(const Message &message)
{
    const int highest = static_cast<int>(m_windows.size()) - 1;
    for (int slot = 0; slot <= highest; ++slot) {
        MessageView *window = m_windows[slot];
        if (window && window->showsSender(message)) {
            window->addMessage(message);
            return;
        }
    }
    for (int slot = 0; slot <= highest; ++slot) {
        if (!m_windows[slot]) {
            openWindow(slot, message);
            return;
        }
    }
    if (highest >= kMaxMessageWindows - 1) {
        enqueue(message);
        return;
    }
    m_windows.append(nullptr);
    openWindow(highest + 1, message);
}

void MessageRouter::openWindow(int slot, const Message &message)
{
    if (m_factory)
        m_windows[slot] = m_factory(slot, message);
}

void MessageRouter::processQueue()
{
    if (!m_receiveReady || m_queue.isEmpty())
        return;
    // Work on what waits now, in arrival order; a message that again finds
    // every window taken is queued anew, keeping that order.
    const QList<Message> waiting = std::exchange(m_queue, {});
    m_queuedBytes = 0;
    for (const Message &message : waiting)
        route(message);
    emit queueChanged();
}

void MessageRouter::trimWindowList()
{
    qsizetype last = m_windows.size() - 1;
    while (last >= 0 && !m_windows[last])
        --last;
    if (last >= 0)
        m_windows.resize(last + 1);
}

void MessageRouter::windowClosed(int slot)
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
    for (MessageView *window : std::exchange(m_windows, QList<MessageView *>(1, nullptr)))
        delete window;
    m_closingAll = false;
}
