#pragma once

#include <QtGlobal>
#include <atomic>

// Whether Quillbox lets one more sender in. Every sender let in may end in
// the history's backlog and in the queue of the user-interface thread, so
// both are held to their bounds here, before a connection is taken, rather
// than accepting a message and dropping it later.
//
// Each count has one writer: the user-interface thread the queue (it owns
// the router), the network thread the senders it holds and hands over, the
// history its backlog. The network thread reads them all through admits().
class Admission
{
public:
    // Waiting messages are counted in 16 bits by the rest of the program's
    // lists.
    static constexpr int kMaxQueuedMessages = 32767;
    static constexpr qsizetype kMaxQueuedBytes = qsizetype(64) * 1024 * 1024;
    // What may wait for the history's writer: far beyond any burst that a
    // listener takes in a few hundred milliseconds, bounded when the disk
    // stalls.
    static constexpr qsizetype kMaxHistoryRecords = 16384;
    static constexpr qsizetype kMaxHistoryBytes = qsizetype(128) * 1024 * 1024;
    // Connections accepted on one port, read or waiting for a reader (one
    // that waits holds only its descriptor: what it sent stays with the
    // kernel). Beyond it the port stops accepting and the kernel holds (or
    // refuses) further senders until a read finishes.
    static constexpr int kMaxConnectionsPerPort = 256;

    // Whether one more sender fits while inFlight others are on their way
    // to a queue that holds queued messages of queuedBytes.
    static bool queueHasRoom(qsizetype queued, qsizetype queuedBytes, int inFlight);

    // The user-interface thread: the queue now holds messages of bytes.
    // True when it shrank, so that paused ports may accept again.
    bool setQueue(qsizetype messages, qsizetype bytes);
    // The user-interface thread took a message handed over (after counting
    // it in the queue, if it went there). True when the queue was full with
    // it on its way, so that paused ports may accept again.
    bool taken();

    // The network thread: one message handed over to the user-interface
    // thread, and the senders read but not handed over yet.
    void handedOver();
    void setHeld(int held);
    int held() const { return m_held.load(std::memory_order_relaxed); }

    // The history: what waits for its writer (0, 0 while it keeps nothing
    // or cannot write).
    void setHistoryBacklog(qsizetype records, qsizetype bytes);

    // The network thread: whether another sender may be let in, with held
    // senders being read (those handed over are recorded already).
    bool admits(int held) const;

private:
    std::atomic<qsizetype> m_queued{0};
    std::atomic<qsizetype> m_queuedBytes{0};
    std::atomic<int> m_inTransit{0};
    std::atomic<int> m_held{0};
    std::atomic<qsizetype> m_historyRecords{0};
    std::atomic<qsizetype> m_historyBytes{0};
};
