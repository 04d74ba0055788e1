#include "messagehistory.h"

#include "logging.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

QString connectionNameFor(const void *history)
{
    return QStringLiteral("quill-history-%1").arg(quintptr(history), 0, 16);
}

} // namespace

MessageHistory::MessageHistory(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_store(path, connectionNameFor(this))
{
    if (!m_store.isOpen()) {
        qCInfo(lcHistory).nospace() << "Cannot open the history " << qUtf8Printable(path) << ": "
                                    << qUtf8Printable(m_store.openError());
        return;
    }
    m_unreadCount = int(m_store.unreadAtOpen());
    // Reports come on the writer's thread and are posted to this one; the
    // destructor stops them before this object goes.
    m_writer = std::make_shared<HistoryWriter>(
        m_store.filePath(), connectionNameFor(this) + QStringLiteral("-writer"), m_store.lastIdAtOpen(),
        m_store.unreadAtOpen(), [this](int unread, bool changed, qint64 droppedTotal) {
            QMetaObject::invokeMethod(
                this, [this, unread, changed, droppedTotal] { delivered(unread, changed, droppedTotal); },
                Qt::QueuedConnection);
        });
    std::shared_ptr<HistoryWriter> writer = m_writer;
    m_thread = QThread::create([writer] { writer->run(); });
    m_thread->setObjectName(QStringLiteral("History writer"));
    m_thread->start();
}

MessageHistory::~MessageHistory()
{
    if (!m_thread)
        return;
    m_writer->requestStop();
    if (m_thread->wait(QDeadlineTimer(kFlushTimeoutMs)))
        delete m_thread;
    else // A stalled disk: the writer keeps its state and ends on its own.
        qCWarning(lcHistory, "the history writer did not end in time; its last records may be lost");
}

QString MessageHistory::defaultPath()
{
    return HistoryStore::defaultPath();
}

QString MessageHistory::errorString() const
{
    if (!m_store.isOpen())
        return m_store.openError();
    if (!m_store.readError().isEmpty())
        return m_store.readError();
    return m_writer->writeError();
}

qint64 MessageHistory::record(const Message &message, MessageFate fate)
{
    return m_writer ? m_writer->record(message, fate) : 0;
}

void MessageHistory::setFate(qint64 id, MessageFate fate)
{
    if (m_writer && id > 0)
        m_writer->setFate(id, fate);
}

void MessageHistory::setSettledHandler(std::function<void(qint64)> handler)
{
    if (m_writer)
        m_writer->setSettledHandler(std::move(handler));
}

qint64 MessageHistory::waitSettled(qint64 id, int timeoutMs)
{
    return m_writer ? m_writer->waitSettled(id, timeoutMs) : id;
}

void MessageHistory::setAdmission(std::shared_ptr<Admission> admission)
{
    if (m_writer)
        m_writer->setAdmission(std::move(admission));
}

void MessageHistory::setLimits(qint64 maxMessages, qint64 maxBytes)
{
    if (m_writer)
        m_writer->setLimits(maxMessages, maxBytes);
}

void MessageHistory::setEnabled(bool enabled)
{
    if (m_writer)
        m_writer->setEnabled(enabled);
}

bool MessageHistory::isEnabled() const
{
    return m_writer && m_writer->isEnabled();
}

void MessageHistory::clear()
{
    if (m_writer)
        m_writer->clear();
}

bool MessageHistory::flush(int timeoutMs)
{
    return m_writer && m_writer->flush(timeoutMs);
}

qint64 MessageHistory::droppedCount() const
{
    return m_writer ? m_writer->droppedCount() : 0;
}

qint64 MessageHistory::commitCount() const
{
    return m_writer ? m_writer->commitCount() : 0;
}

QList<HistoryEntry> MessageHistory::page(const QString &search, qint64 beforeId, int limit)
{
    return m_store.page(search, beforeId, limit);
}

HistoryEntry MessageHistory::entry(qint64 id)
{
    return m_store.entry(id);
}

void MessageHistory::delivered(int unread, bool anyChange, qint64 droppedTotal)
{
    if (anyChange)
        emit changed();
    if (unread >= 0 && unread != m_unreadCount) {
        m_unreadCount = unread;
        emit unreadCountChanged(unread);
    }
    emit roomMade();
    if (droppedTotal > m_reportedDropped) {
        m_reportedDropped = droppedTotal;
        emit dropped(droppedTotal);
    }
}
