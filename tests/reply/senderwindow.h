#pragma once
// The window captioned "Send Message" as another program holds it, for the
// tests of Quillbox's side of a reply.
#include "localendpoint.h"
#include "replyrecord.h"
#include "replytosender.h"

#include <QMutex>
#include <QSemaphore>
#include <QThread>

// Bounds of the waits; a passing test takes a fraction of each.
constexpr int kWaitMs = 10000;

struct Delivered
{
    quint32 dwData = 0;
    QByteArray data;
};

// The window captioned "Send Message" as another program would hold it: an
// endpoint served by a thread of its own, since the handoff waits for the
// answer on this thread. With hold set it keeps each client waiting, as a
// program showing its user a notice does, until released.
class SenderWindow
{
public:
    explicit SenderWindow(bool hold = false)
        : m_hold(hold)
    {
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            m_context,
            [this] {
                m_endpoint = new LocalEndpoint(kSendWindowCaption);
                m_listening = m_endpoint->listen();
                QObject::connect(
                    m_endpoint, &LocalEndpoint::copyDataReceived, m_endpoint,
                    [this](quint32 dwData, const QByteArray &data) {
                        {
                            QMutexLocker lock(&m_mutex);
                            m_delivered.append({dwData, data});
                        }
                        if (m_hold)
                            m_release.tryAcquire(1, kWaitMs);
                    },
                    Qt::DirectConnection);
            },
            Qt::BlockingQueuedConnection);
    }
    ~SenderWindow()
    {
        m_release.release(1000);
        QMetaObject::invokeMethod(
            m_context,
            [this] {
                delete m_endpoint;
                m_context->deleteLater();
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    SenderWindow(const SenderWindow &) = delete;
    SenderWindow &operator=(const SenderWindow &) = delete;

    bool listening() const { return m_listening; }
    QList<Delivered> delivered() const
    {
        QMutexLocker lock(&m_mutex);
        return m_delivered;
    }
    void release() { m_release.release(); }

private:
    QThread m_thread;
    QObject *m_context = nullptr;
    LocalEndpoint *m_endpoint = nullptr;
    bool m_listening = false;
    const bool m_hold;
    QSemaphore m_release;
    mutable QMutex m_mutex;
    QList<Delivered> m_delivered;
};
