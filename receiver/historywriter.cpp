#include "historywriter.h"

#include "historystore.h"

#include <QDateTime>
#include <QDebug>
#include <QMetaObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <iterator>

namespace {

// The writer wakes this often when idle, only to look at its flags again.
constexpr int kIdleWakeMs = 10000;
// The quiet after the latest record before the writer indexes for search.
constexpr int kIndexDelayMs = 500;
// Messages of a file's existing ones whose count and size the writer adds up
// in one step, between commits, after opening (only the bounds need them).
constexpr int kCountChunk = 1000;
// A file another process keeps locked beyond the busy time-out: the first
// pause before trying again, doubled each time up to the last.
constexpr int kFirstLockPauseMs = 50;
constexpr int kLastLockPauseMs = 1000;

} // namespace

HistoryWriter::HistoryWriter(const QString &filePath, const QString &connection, qint64 lastId,
                             qint64 unreadAtOpen, Report sink)
    : path(filePath)
    , connectionName(connection)
    , nextId(lastId + 1)
    , reportTo(std::move(sink))
    , totalsPending(lastId > 0)
    , unread(unreadAtOpen)
    , countTo(lastId)
{}

void HistoryWriter::requestStop()
{
    QMutexLocker lock(&mutex);
    stopRequested = true;
    reportTo = nullptr;
    workQueued.wakeOne();
}

QString HistoryWriter::writeError() const
{
    QMutexLocker lock(&mutex);
    return lastError;
}

qint64 HistoryWriter::record(const Message &message, MessageFate fate)
{
    Record queuedRecord{0, QDateTime::currentMSecsSinceEpoch(), message, fate, message.heldBytes()};
    QMutexLocker lock(&mutex);
    if (!enabled || writerFailed)
        return 0;
    queuedRecord.id = nextId++;
    pendingBytes += queuedRecord.heldBytes;
    records.push_back(std::move(queuedRecord));
    // Beyond the bounds the oldest queued records go: the newest are the
    // ones the user is about to look for, and the history as a whole loses
    // its oldest first too. Nobody waits for the disk.
    while (records.size() > 1 &&
           (qsizetype(records.size()) > kMaxPendingRecords || pendingBytes > kMaxPendingBytes)) {
        pendingBytes -= records.front().heldBytes;
        records.pop_front();
        ++dropped;
        logLine("Dropped the oldest waiting record", 1, QStringLiteral("too much waits for the disk"));
    }
    publishBacklog();
    // Its sender waits for the commit, which starts at once (or as soon as
    // the one under way ends).
    queued(true, 0);
    return nextId - 1;
}

void HistoryWriter::setFate(qint64 id, MessageFate fate)
{
    QMutexLocker lock(&mutex);
    if (id >= nextId || writerFailed)
        return;
    const auto waiting =
        std::lower_bound(records.begin(), records.end(), id,
                         [](const Record &queuedRecord, qint64 value) { return queuedRecord.id < value; });
    if (waiting != records.end() && waiting->id == id) {
        waiting->fate = fate;
        return;
    }
    if (!fates.contains(id) && fates.size() >= kMaxPendingFates) {
        ++dropped;
        logLine("Dropped a fate change", 1, QStringLiteral("too many wait for the disk"));
        return;
    }
    const bool wasIdle = !hasWork();
    fates.insert(id, fate);
    queued(wasIdle, kCommitIntervalMs);
}

void HistoryWriter::setSettledHandler(std::function<void(qint64)> handler)
{
    QMutexLocker lock(&mutex);
    settledHandler = std::move(handler);
}

qint64 HistoryWriter::waitSettled(qint64 id, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&mutex);
    if (settledThrough < id) {
        flushRequested = true;
        workQueued.wakeOne();
    }
    while (settledThrough < id && !writerEnded) {
        if (!workCommitted.wait(&mutex, deadline))
            break;
    }
    return settledThrough;
}

void HistoryWriter::setAdmission(std::shared_ptr<Admission> to)
{
    QMutexLocker lock(&mutex);
    admission = std::move(to);
    publishBacklog();
}

void HistoryWriter::publishBacklog()
{
    // A history that keeps nothing holds no sender back.
    const bool keeping = enabled && !writerFailed;
    if (admission)
        admission->setHistoryBacklog(keeping ? qsizetype(records.size()) : 0, keeping ? pendingBytes : 0);
}

void HistoryWriter::setLimits(qint64 messages, qint64 bytes)
{
    QMutexLocker lock(&mutex);
    maxMessages = messages;
    maxBytes = bytes;
}

void HistoryWriter::setEnabled(bool on)
{
    QMutexLocker lock(&mutex);
    enabled = on;
    publishBacklog();
}

bool HistoryWriter::isEnabled() const
{
    QMutexLocker lock(&mutex);
    return enabled;
}

void HistoryWriter::clear()
{
    QMutexLocker lock(&mutex);
    records.clear();
    pendingBytes = 0;
    fates.clear();
    clearRequested = true;
    publishBacklog();
    queued(true, 0);
}

bool HistoryWriter::flush(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&mutex);
    const quint64 target = queuedSerial;
    const auto done = [&] { return committedSerial >= target && !indexBehind && !totalsPending; };
    if (done())
        return true;
    flushRequested = true;
    ++flushWaiters;
    workQueued.wakeOne();
    while (!done()) {
        if (writerEnded || !workCommitted.wait(&mutex, deadline))
            break;
    }
    --flushWaiters;
    return done();
}

qint64 HistoryWriter::droppedCount() const
{
    QMutexLocker lock(&mutex);
    return dropped;
}

qint64 HistoryWriter::commitCount() const
{
    QMutexLocker lock(&mutex);
    return commits;
}

void HistoryWriter::queued(bool wasIdle, int commitInMs)
{
    ++queuedSerial;
    if (wasIdle)
        commitDue = QDeadlineTimer(commitInMs);
    workQueued.wakeOne();
}

void HistoryWriter::settle(qint64 through)
{
    settledThrough = std::max(settledThrough, through);
    workCommitted.wakeAll();
    if (settledHandler)
        settledHandler(settledThrough);
}

bool HistoryWriter::due() const
{
    return hasWork() && (stopRequested || flushRequested || clearRequested || commitDue.hasExpired() ||
                         qsizetype(records.size() + fates.size()) >= kBatchSize);
}

bool HistoryWriter::wantsIndexing() const
{
    return indexBehind && (flushWaiters > 0 || stopRequested || indexDue.hasExpired());
}

void HistoryWriter::report(int unreadCount, bool changed)
{
    if (reportTo)
        reportTo(unreadCount, changed, dropped);
}

void HistoryWriter::logLine(const char *what, qint64 count, const QString &reason)
{
    if (!lcHistory().isInfoEnabled() || !log.allow(QDateTime::currentMSecsSinceEpoch()))
        return;
    qCInfo(lcHistory).nospace() << what << " (" << count << "): " << qUtf8Printable(reason) << " ("
                                << log.suppressed() << " lines held back so far)";
}

// The writer thread.

void HistoryWriter::run()
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        QString error;
        bool openedBehind = false;
        const bool opened = HistoryStore::openWriter(db, path, openedBehind, error);
        QSqlQuery insert(db);
        QSqlQuery update(db);
        const bool prepared = opened && HistoryStore::prepareWrites(insert, update);
        QMutexLocker lock(&mutex);
        indexBehind = prepared && openedBehind;
        indexDue = QDeadlineTimer(0);
        if (!prepared) {
            writerFailed = true;
            lastError = error.isEmpty() ? insert.lastError().text() + update.lastError().text() : error;
            logLine("Cannot write the history; records dropped", qint64(records.size()), lastError);
            records.clear();
            fates.clear();
            totalsPending = false;
            publishBacklog();
            settle(nextId - 1);
        }
        int lockPauseMs = kFirstLockPauseMs;
        while (prepared) {
            while (!stopRequested && !due() && !wantsIndexing() && totalsKnown()) {
                workQueued.wait(&mutex, hasWork()     ? commitDue
                                        : indexBehind ? indexDue
                                                      : QDeadlineTimer(kIdleWakeMs));
            }
            if (!due()) {
                if (!totalsKnown() && !stopRequested)
                    countStep(db, insert, update, lock);
                else if (wantsIndexing())
                    indexStep(db, lock);
                else if (stopRequested)
                    break;
                continue;
            }
            // Everything that waits, whoever waits for it.
            Batch batch;
            batch.records.swap(records);
            batch.fates.swap(fates);
            batch.clear = std::exchange(clearRequested, false);
            batch.maxMessages = maxMessages;
            batch.maxBytes = maxBytes;
            pendingBytes = 0;
            flushRequested = false;
            publishBacklog();
            const quint64 serial = queuedSerial;
            const qint64 through = nextId - 1;
            lock.unlock();

            const Written written = write(db, insert, update, batch, error);

            lock.relock();
            if (written == Written::Locked && !stopRequested) {
                // Another process holds the file for a while: kept, and
                // tried again after a pause. The senders wait meanwhile, and
                // the bounds let no new one in.
                keepForRetry(batch);
                lastError = error;
                logLine("The file is locked; waiting in ms", lockPauseMs, error);
                const QDeadlineTimer pause(lockPauseMs);
                lockPauseMs = std::min(2 * lockPauseMs, kLastLockPauseMs);
                while (!stopRequested && !pause.hasExpired())
                    workQueued.wait(&mutex, pause);
                continue;
            }
            lockPauseMs = kFirstLockPauseMs;
            committedSerial = serial;
            if (written == Written::Yes) {
                ++commits;
                if (!batch.records.empty()) {
                    indexBehind = true;
                    indexDue = QDeadlineTimer(kIndexDelayMs);
                }
            } else {
                // Not kept to try again: what fails now (a full disk, a
                // damaged file) would most likely fail again, and the queue
                // behind it must move on.
                dropped += qint64(batch.records.size()) + batch.fates.size();
                lastError = error;
                logLine("Dropped a batch of records and fate changes",
                        qint64(batch.records.size()) + batch.fates.size(), error);
            }
            settle(through);
            report(written == Written::Yes ? int(unread) : -1, written == Written::Yes);
        }
        writerEnded = true;
        workCommitted.wakeAll();
        lock.unlock();
        insert = QSqlQuery();
        update = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

void HistoryWriter::countStep(QSqlDatabase &db, QSqlQuery &insert, QSqlQuery &update,
                              QMutexLocker<QMutex> &lock)
{
    Batch bounds;
    bounds.maxMessages = maxMessages;
    bounds.maxBytes = maxBytes;
    lock.unlock();
    QString error;
    const qint64 to = std::min(countTo, countedTo + kCountChunk);
    const bool counted = HistoryStore::countRange(db, countedTo, to, rowCount, rowBytes, error);
    if (counted)
        countedTo = to;
    // Known at last: the bounds hold from now on.
    const bool enforced =
        counted && (!totalsKnown() || write(db, insert, update, bounds, error) == Written::Yes);
    lock.relock();
    if (!enforced) { // then they are enforced from the next commit on
        lastError = error;
        countTo = countedTo;
    }
    totalsPending = !totalsKnown();
    workCommitted.wakeAll();
}

void HistoryWriter::indexStep(QSqlDatabase &db, QMutexLocker<QMutex> &lock)
{
    lock.unlock();
    QString error;
    bool done = false;
    const bool indexed = HistoryStore::indexChunk(db, done, error);
    lock.relock();
    // A failure is not tried again before more is stored.
    indexBehind = indexed && !done;
    if (!indexed)
        lastError = error;
    workCommitted.wakeAll();
    if (indexed && done)
        report(-1, true);
}

void HistoryWriter::keepForRetry(Batch &batch)
{
    // A clear() since then removed what the batch held.
    if (clearRequested)
        return;
    for (const Record &kept : batch.records)
        pendingBytes += kept.heldBytes;
    std::move(records.begin(), records.end(), std::back_inserter(batch.records));
    records.swap(batch.records);
    publishBacklog();
    // Fates set since then are the newer ones.
    for (auto fate = fates.cbegin(); fate != fates.cend(); ++fate)
        batch.fates.insert(fate.key(), fate.value());
    fates.swap(batch.fates);
    clearRequested = batch.clear;
}

HistoryWriter::Written HistoryWriter::write(QSqlDatabase &db, QSqlQuery &insert, QSqlQuery &update,
                                            const Batch &batch, QString &error)
{
    const qint64 countBefore = rowCount;
    const qint64 bytesBefore = rowBytes;
    const qint64 unreadBefore = unread;
    const qint64 countedBefore = countedTo;
    QSqlQuery query(db);
    bool ok = HistoryStore::exec(query, QStringLiteral("BEGIN IMMEDIATE"), error);
    const bool locked = !ok && HistoryStore::isLocked(query.lastError());
    if (ok && batch.clear) {
        ok = HistoryStore::exec(query, QStringLiteral("DELETE FROM messages"), error);
        rowCount = 0;
        rowBytes = 0;
        unread = 0;
        countedTo = countTo;
    }
    for (auto stored = batch.records.cbegin(); ok && stored != batch.records.cend(); ++stored) {
        const qint64 size =
            HistoryStore::bindInsert(insert, stored->id, stored->receivedMs, stored->message, stored->fate);
        ok = insert.exec();
        if (!ok)
            error = insert.lastError().text();
        ++rowCount;
        rowBytes += size;
        unread += stored->fate != MessageFate::Read ? 1 : 0;
    }
    if (ok && !batch.fates.isEmpty()) {
        // The unread count follows each change across Read.
        QSqlQuery before(db);
        before.prepare(QStringLiteral("SELECT fate FROM messages WHERE id = ?"));
        for (auto fate = batch.fates.cbegin(); ok && fate != batch.fates.cend(); ++fate) {
            before.bindValue(0, fate.key());
            ok = before.exec();
            const bool found = ok && before.next();
            const bool wasRead = found && before.value(0).toInt() == int(MessageFate::Read);
            before.finish();
            update.bindValue(QStringLiteral(":fate"), int(fate.value()));
            update.bindValue(QStringLiteral(":id"), fate.key());
            ok = ok && update.exec();
            if (!ok)
                error = before.lastError().isValid() ? before.lastError().text() : update.lastError().text();
            else if (found)
                unread += int(wasRead) - int(fate.value() == MessageFate::Read);
        }
    }
    ok = ok && (!totalsKnown() || enforceLimits(db, batch.maxMessages, batch.maxBytes, error)) &&
         HistoryStore::exec(query, QStringLiteral("COMMIT"), error);
    insert.finish();
    update.finish();
    if (ok)
        return Written::Yes;
    query.exec(QStringLiteral("ROLLBACK"));
    rowCount = countBefore;
    rowBytes = bytesBefore;
    unread = unreadBefore;
    countedTo = countedBefore;
    return locked ? Written::Locked : Written::Failed;
}

bool HistoryWriter::enforceLimits(QSqlDatabase &db, qint64 maxMessagesKept, qint64 maxBytesKept,
                                  QString &error)
{
    const qint64 excessCount = maxMessagesKept > 0 ? rowCount - maxMessagesKept : 0;
    const qint64 excessBytes = maxBytesKept > 0 ? rowBytes - maxBytesKept : 0;
    if (excessCount <= 0 && excessBytes <= 0)
        return true;
    HistoryStore::Removed removed;
    if (!HistoryStore::removeOldest(db, excessCount, excessBytes, removed, error))
        return false;
    rowCount -= removed.count;
    rowBytes -= removed.bytes;
    unread -= removed.unread;
    return true;
}
