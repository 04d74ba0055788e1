#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class MessageWindow;
struct ReceiverSettings;

// One message waiting to be shown, exactly as it was read.
struct QueuedMessage
{
    QByteArray payload;
    qint32 localPort = 0;
    QString remoteIp;
};

// Routes every received message: into the open window of the same sender,
// into a new window, or into the queue when no window can be opened or the
// main window has a modal dialog open.
class MessageRouter : public QObject
{
    Q_OBJECT
public:
    // Windows open at once (slots 0 to 64).
    static constexpr int kMaxMessageWindows = 65;
    // Waiting messages are counted in 16 bits by the rest of the program's
    // lists; beyond this count, or beyond the byte bound, the listeners stop
    // taking new senders rather than accept and drop them.
    static constexpr int kMaxQueuedMessages = 32767;
    static constexpr qsizetype kMaxQueuedBytes = qsizetype(64) * 1024 * 1024;

    explicit MessageRouter(const ReceiverSettings &settings, QObject *parent = nullptr);
    ~MessageRouter() override;

    bool isReceiveReady() const { return m_receiveReady; }
    void setReceiveReady(bool ready) { m_receiveReady = ready; }

    void processMessage(const QByteArray &payload, qint32 localPort, const QString &remoteIp);
    void processQueue();
    void trimWindowList();
    void enqueue(QueuedMessage message);

    // Slots 0..n; an empty slot holds null.
    const QList<QPointer<MessageWindow>> &windows() const { return m_windows; }
    const QList<QueuedMessage> &queue() const { return m_queue; }
    int openWindowCount() const;
    qsizetype queuedBytes() const { return m_queuedBytes; }
    // False once the waiting messages fill their bounds.
    bool queueHasRoom() const;

    // Ends every message window at once, without working off the queue.
    void closeAllWindows();

signals:
    // A message window opened (e.g. to wire its "Reply").
    void windowOpened(MessageWindow *window);
    // The queue grew or shrank.
    void queueChanged();
    // The last open message window has closed.
    void lastWindowClosed();

private:
    void openWindow(int slot, const QString &name, qint32 localPort, qint32 replyPort,
                    const QString &remoteIp, const QString &text);
    void windowUnloaded(qint16 slot);

    const ReceiverSettings &m_settings;
    QList<QPointer<MessageWindow>> m_windows;
    QList<QueuedMessage> m_queue;
    qsizetype m_queuedBytes = 0;
    bool m_receiveReady = true;
    bool m_closingAll = false;
};
