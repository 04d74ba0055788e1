#pragma once

#include "historystore.h"
#include "historywriter.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QThread;

// Every message Quillbox received, kept in an SQLite file (Qt SQL, QSQLITE),
// so that a crash or a window closed with unread texts loses none of them.
//
// Writing: record() and setFate() may be called from any thread and only
// queue the change in memory; a writer thread of this object's own, with a
// database connection of its own, commits in one transaction everything
// that waits: records at once (their senders wait for the commit, see
// setSettledHandler()), and starts again as soon as it is done, so records
// that come during a commit make the next one; fate changes alone wait up to
// kCommitIntervalMs for company. When the disk is slow what waits grows up to
// its bounds (kMaxPendingRecords, kMaxPendingBytes), which the network
// respects by letting no further sender in (see setAdmission()). A file
// another process holds locked is waited for: the writer keeps what it took
// and tries again. Should records come beyond the bounds all the same, or a
// write fail for good (a full disk, a damaged file), the records concerned
// are dropped, nobody is made to wait, and droppedCount() / dropped() say how
// many were lost.
//
// Reading: page(), entry() and unreadCount() belong to the thread that made
// the object (the UI thread), which reads through a connection of its own;
// the signals are emitted on that thread too.
//
// A database that cannot be opened (an unwritable folder, a damaged file)
// leaves isOpen() false with errorString(): record() then does nothing and
// returns 0, and reading finds nothing.
//
// This class is the face the rest of the program uses: HistoryStore holds
// the file, its schema and the reading, HistoryWriter the queue and the
// writer thread.
class MessageHistory : public QObject
{
    Q_OBJECT
public:
    static constexpr int kCommitIntervalMs = HistoryWriter::kCommitIntervalMs;
    static constexpr int kBatchSize = HistoryWriter::kBatchSize;
    static constexpr qsizetype kMaxPendingRecords = HistoryWriter::kMaxPendingRecords;
    static constexpr qsizetype kMaxPendingBytes = HistoryWriter::kMaxPendingBytes;
    static constexpr qsizetype kMaxPendingFates = HistoryWriter::kMaxPendingFates;
    // The longest flush() and the destructor wait for the writer.
    static constexpr int kFlushTimeoutMs = 5000;
    static constexpr int kPreviewCharacters = HistoryStore::kPreviewCharacters;
    static constexpr int kMaxPageRows = HistoryStore::kMaxPageRows;
    static constexpr qint64 kDefaultMaxMessages = HistoryWriter::kDefaultMaxMessages;
    static constexpr qint64 kDefaultMaxBytes = HistoryWriter::kDefaultMaxBytes;
    static constexpr int kSchemaVersion = HistoryStore::kSchemaVersion;

    // Opens the database at path, making it and its folder (owner-only) if
    // needed.
    explicit MessageHistory(const QString &path, QObject *parent = nullptr);
    // Commits what is queued (waiting at most kFlushTimeoutMs) and ends the
    // writer.
    ~MessageHistory() override;

    // $XDG_DATA_HOME/Quillbox/history.sqlite.
    static QString defaultPath();

    bool isOpen() const { return m_store.isOpen(); }
    // Why the database could not be opened, or the latest failed write or
    // read.
    QString errorString() const;
    QString path() const { return m_path; }

    // Any thread. Queues the message and returns its id at once; 0 when the
    // history is off or not open.
    qint64 record(const Message &message, MessageFate fate);
    // Any thread. A fate for a recorded message, committed or not.
    void setFate(qint64 id, MessageFate fate);
    // Any thread. Called on the writer's thread after each commit (and after
    // a write that failed for good) with the highest id settled: every record
    // up to it is stored, or was dropped and counted by droppedCount(). Keep
    // it short (post to another thread). Empty: none.
    void setSettledHandler(std::function<void(qint64 settledThrough)> handler);
    // Any thread. Has what was recorded up to id committed at once and waits
    // at most timeoutMs for it; returns the highest id settled by then.
    qint64 waitSettled(qint64 id, int timeoutMs);
    // What waits for the writer is told to admission whenever it changes
    // (nothing while the history keeps nothing), so that the network lets no
    // sender in that could not be recorded without dropping another: a
    // flood waits for the disk instead of being lost. roomMade() says when
    // to ask again.
    void setAdmission(std::shared_ptr<Admission> admission);

    // The most messages and bytes (name, address and text, UTF-8) kept; the
    // writer removes the oldest after its commits. 0 or less: no bound.
    void setLimits(qint64 maxMessages, qint64 maxBytes);
    // Off: record() records nothing.
    void setEnabled(bool enabled);
    bool isEnabled() const;
    // Removes every message, those still queued included.
    void clear();
    // Returns once everything recorded or changed before the call is
    // committed: true, or false after timeoutMs or when the history is not
    // open.
    bool flush(int timeoutMs = kFlushTimeoutMs);

    // Newest first, the messages with an id below beforeId (0: from the
    // newest), at most limit of them, and of those only the ones whose name
    // or text has words starting with each word of search. Search is taken
    // as plain words: no input is query syntax.
    QList<HistoryEntry> page(const QString &search, qint64 beforeId, int limit);
    // One message with its whole text; id 0 when there is none.
    HistoryEntry entry(qint64 id);
    // Messages whose fate is Shown, UnreadAtClose or NotShown, as of the
    // latest commit.
    int unreadCount() const { return m_unreadCount; }
    // Records and fate changes lost because the queue was full or a write
    // failed.
    qint64 droppedCount() const;
    // Commits made so far (to see that records are batched).
    qint64 commitCount() const;

signals:
    void unreadCountChanged(int count);
    // Committed rows were added, changed or removed.
    void changed();
    // More was lost; total is droppedCount().
    void dropped(qint64 total);
    // The writer took what waited: admission may say yes again.
    void roomMade();

private:
    void delivered(int unread, bool anyChange, qint64 droppedTotal);

    QString m_path;
    HistoryStore m_store;
    int m_unreadCount = 0;
    qint64 m_reportedDropped = 0;
    std::shared_ptr<HistoryWriter> m_writer;
    QThread *m_thread = nullptr;
};
