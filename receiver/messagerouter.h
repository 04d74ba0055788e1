#pragma once

#include "message.h"

#include <QList>
#include <QObject>
#include <functional>

// What the router needs of a message window: whether it shows a sender's
// messages, and a way to give it one more. Whoever makes the window reports
// its closing through MessageRouter::windowClosed().
class MessageView
{
public:
    virtual ~MessageView() = default;
    virtual bool showsSender(const Message &message) const = 0;
    virtual void addMessage(const Message &message) = 0;
};

// Routes every received message: into the open window of the same sender,
// into a new window, or into the queue when no window can be opened or the
// main window has a modal dialog open. It knows windows only as MessageView;
// the factory makes and shows them. Admission keeps the queue within its
// bounds by letting no sender in beyond them.
class MessageRouter : public QObject
{
    Q_OBJECT
public:
    // Windows open at once (slots 0 to 64).
    static constexpr int kMaxMessageWindows = 65;

    // Makes the window of slot for a sender's first message, shown.
    using WindowFactory = std::function<MessageView *(int slot, const Message &first)>;

    explicit MessageRouter(QObject *parent = nullptr);
    ~MessageRouter() override;

    void setWindowFactory(WindowFactory factory) { m_factory = std::move(factory); }

    // False while the main window has a modal dialog open: messages then wait
    // in the queue.
    bool isReceiveReady() const { return m_receiveReady; }
    void setReceiveReady(bool ready) { m_receiveReady = ready; }

    void route(const Message &message);
    void processQueue();
    void enqueue(Message message);
    // The window of slot has closed; its slot is free and the queue moves on.
    void windowClosed(int slot);
    void trimWindowList();

    // Slots 0..n; an empty slot holds null.
    const QList<MessageView *> &windows() const { return m_windows; }
    const QList<Message> &queue() const { return m_queue; }
    int openWindowCount() const;
    qsizetype queuedBytes() const { return m_queuedBytes; }

    // Ends every message window at once, without working off the queue.
    void closeAllWindows();

signals:
    // The queue grew or shrank.
    void queueChanged();
    // The last open message window has closed.
    void lastWindowClosed();

private:
    void openWindow(int slot, const Message &message);

    WindowFactory m_factory;
    QList<MessageView *> m_windows;
    QList<Message> m_queue;
    qsizetype m_queuedBytes = 0;
    bool m_receiveReady = true;
    bool m_closingAll = false;
};
