#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class Dialog1;
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

    bool ReceiveReady() const { return m_receiveReady; }
    void setReceiveReady(bool ready) { m_receiveReady = ready; }

    void ProcessMessage(const QByteArray &payload, qint32 localPort, const QString &remoteIp);
    void ProcessQueue();
    void TrimWindowList();
    void AppendToQueue(QueuedMessage message);

    // Slots 0..n; an empty slot holds null.
    const QList<QPointer<Dialog1>> &MessageWindows() const { return m_windows; }
    const QList<QueuedMessage> &MessageQueue() const { return m_queue; }
    int openWindowCount() const;
    qsizetype queuedBytes() const { return m_queuedBytes; }
    // False once the waiting messages fill their bounds.
    bool queueHasRoom() const;

    // Ends every message window at once, without working off the queue.
    void closeAllWindows();

signals:
    // A message window opened (e.g. to wire its "Reply").
    void windowOpened(Dialog1 *window);
    // The queue grew or shrank.
    void queueChanged();
    // The last open message window has closed.
    void lastWindowClosed();

private:
    void openWindow(int slot, const QString &name, qint32 localPort, qint32 replyPort,
                    const QString &remoteIp, const QString &text);
    void windowUnloaded(qint16 slot);

    const ReceiverSettings &m_settings;
    QList<QPointer<Dialog1>> m_windows;
    QList<QueuedMessage> m_queue;
    qsizetype m_queuedBytes = 0;
    bool m_receiveReady = true;
    bool m_closingAll = false;
};
