#pragma once

#include "admission.h"
#include "logging.h"
#include "message.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QWaitCondition>
#include <deque>
#include <functional>
#include <memory>

class QSqlDatabase;
class QSqlQuery;

// The history's writer: what the callers' threads queue in memory and the
// thread that commits it (run(), on a QThread of MessageHistory's), with a
// database connection of its own. Every member is shared under the mutex
// unless marked otherwise. The thread holds the writer too (a shared_ptr),
// so that a writer that a stalled disk keeps beyond MessageHistory's wait
// never touches freed memory. MessageHistory describes the behaviour.
class HistoryWriter
{
public:
    // The most a fate change waits in memory before it is committed.
    static constexpr int kCommitIntervalMs = 200;
    // Changes that make the writer commit at once.
    static constexpr int kBatchSize = 256;
    // What may wait for the writer (see Admission).
    static constexpr qsizetype kMaxPendingRecords = Admission::kMaxHistoryRecords;
    static constexpr qsizetype kMaxPendingBytes = Admission::kMaxHistoryBytes;
    // Fate changes of committed messages that may wait.
    static constexpr qsizetype kMaxPendingFates = 16384;
    // Bounds until setLimits() says otherwise.
    static constexpr qint64 kDefaultMaxMessages = 100000;
    static constexpr qint64 kDefaultMaxBytes = qint64(256) * 1024 * 1024;

    // What a commit (or indexing) did, for the owner's thread: the unread
    // count (-1: unknown), whether rows changed, and the total dropped.
    using Report = std::function<void(int unread, bool changed, qint64 droppedTotal)>;

    // For the file at filePath, which held messages up to lastId (unread of
    // them not read); connectionName names the writer's connection.
    HistoryWriter(const QString &filePath, const QString &connection, qint64 lastId, qint64 unreadAtOpen,
                  Report sink);

    // The thread's body: returns once requestStop() was called and what
    // waits is committed.
    void run();
    // Asks the thread to end after committing what waits; no more reports.
    void requestStop();

    // Any thread: see MessageHistory.
    qint64 record(const Message &message, MessageFate fate);
    void setFate(qint64 id, MessageFate fate);
    void setSettledHandler(std::function<void(qint64 settledThrough)> handler);
    qint64 waitSettled(qint64 id, int timeoutMs);
    // Tells admission what waits, whenever that changes.
    void setAdmission(std::shared_ptr<Admission> admission);
    void setLimits(qint64 messages, qint64 bytes);
    void setEnabled(bool on);
    bool isEnabled() const;
    void clear();
    bool flush(int timeoutMs);
    qint64 droppedCount() const;
    qint64 commitCount() const;
    QString writeError() const;

private:
    struct Record
    {
        qint64 id;
        qint64 receivedMs;
        Message message;
        MessageFate fate;
        qsizetype heldBytes;
    };
    struct Batch
    {
        std::deque<Record> records;
        QHash<qint64, MessageFate> fates;
        bool clear = false;
        qint64 maxMessages = 0;
        qint64 maxBytes = 0;
    };
    enum class Written
    {
        Yes,
        Locked, // another connection holds the file: try again
        Failed
    };

    // Under the mutex.
    bool hasWork() const { return !records.empty() || !fates.isEmpty() || clearRequested; }
    void queued(bool wasIdle, int commitInMs);
    void settle(qint64 through);
    bool due() const;
    bool wantsIndexing() const;
    bool totalsKnown() const { return countedTo >= countTo; }
    void report(int unread, bool changed);
    void publishBacklog();
    // Logs (lcHistory, info) what was lost or waited for, rate-limited.
    void logLine(const char *what, qint64 count, const QString &reason);
    // Puts a batch that found the file locked back before what came since.
    void keepForRetry(Batch &batch);
    // The steps of run() between commits, the mutex released inside.
    void countStep(QSqlDatabase &db, QSqlQuery &insert, QSqlQuery &update, QMutexLocker<QMutex> &lock);
    void indexStep(QSqlDatabase &db, QMutexLocker<QMutex> &lock);

    // On the writer thread, the mutex released.
    Written write(QSqlDatabase &db, QSqlQuery &insert, QSqlQuery &update, const Batch &batch, QString &error);
    bool enforceLimits(QSqlDatabase &db, qint64 maxMessagesKept, qint64 maxBytesKept, QString &error);

    const QString path;
    const QString connectionName;

    mutable QMutex mutex;
    QWaitCondition workQueued;
    QWaitCondition workCommitted;
    // Ordered by id, since ids are handed out as records are queued.
    std::deque<Record> records;
    qsizetype pendingBytes = 0;
    std::shared_ptr<Admission> admission;
    // Fates of messages no longer in records.
    QHash<qint64, MessageFate> fates;
    bool clearRequested = false;
    bool flushRequested = false;
    bool stopRequested = false;
    bool writerFailed = false;
    bool writerEnded = false;
    // Messages are stored that the search index does not hold yet.
    bool indexBehind = false;
    // flush() calls waiting, which want the index caught up at once.
    int flushWaiters = 0;
    QDeadlineTimer indexDue;
    bool enabled = true;
    // When what is queued is to be committed at the latest.
    QDeadlineTimer commitDue;
    // Counts every change queued; the writer reports how far it committed.
    quint64 queuedSerial = 0;
    quint64 committedSerial = 0;
    qint64 nextId = 1;
    qint64 maxMessages = kDefaultMaxMessages;
    qint64 maxBytes = kDefaultMaxBytes;
    qint64 dropped = 0;
    qint64 commits = 0;
    QString lastError;
    // Receives the writer's reports while set.
    Report reportTo;
    // Every record up to this id is stored or dropped; the handler hears of
    // each step.
    qint64 settledThrough = 0;
    std::function<void(qint64)> settledHandler;
    // The writer has not added up the messages the file held at opening
    // (and enforced the bounds on them) yet.
    bool totalsPending = false;

    // The writer thread's own.
    qint64 rowCount = 0;
    qint64 rowBytes = 0;
    // Messages whose fate is not Read (from the count at opening).
    qint64 unread = 0;
    // The messages the file held at opening, ids up to countTo, are added to
    // rowCount and rowBytes a chunk at a time (countedTo so far); until then
    // the bounds are not enforced.
    qint64 countedTo = 0;
    qint64 countTo = 0;
    // Lines about losses and waits, under a flood of them.
    RateLimitedLog log;
};
