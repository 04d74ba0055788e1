#include "admission.h"

#include "message.h"

bool Admission::queueHasRoom(qsizetype queued, qsizetype queuedBytes, int inFlight)
{
    return queued + inFlight < kMaxQueuedMessages &&
           queuedBytes + (inFlight + 1) * kMaxMessageHeldBytes <= kMaxQueuedBytes;
}

bool Admission::setQueue(qsizetype messages, qsizetype bytes)
{
    m_queuedBytes.store(bytes, std::memory_order_release);
    return m_queued.exchange(messages, std::memory_order_acq_rel) > messages;
}

bool Admission::taken()
{
    const bool full =
        !queueHasRoom(m_queued.load(std::memory_order_acquire), m_queuedBytes.load(std::memory_order_acquire),
                      m_held.load(std::memory_order_relaxed) + m_inTransit.load(std::memory_order_acquire));
    m_inTransit.fetch_sub(1, std::memory_order_acq_rel);
    return full;
}

void Admission::handedOver()
{
    m_inTransit.fetch_add(1, std::memory_order_acq_rel);
}

void Admission::setHeld(int held)
{
    m_held.store(held, std::memory_order_relaxed);
}

void Admission::setHistoryBacklog(qsizetype records, qsizetype bytes)
{
    m_historyRecords.store(records, std::memory_order_release);
    m_historyBytes.store(bytes, std::memory_order_release);
}

bool Admission::admits(int held) const
{
    // Messages on their way to the user-interface thread are recorded
    // already; those still being read are not.
    const qsizetype more = held + 1;
    if (m_historyRecords.load(std::memory_order_acquire) + more > kMaxHistoryRecords ||
        m_historyBytes.load(std::memory_order_acquire) + more * kMaxMessageHeldBytes > kMaxHistoryBytes)
        return false;
    return queueHasRoom(m_queued.load(std::memory_order_acquire),
                        m_queuedBytes.load(std::memory_order_acquire),
                        held + m_inTransit.load(std::memory_order_acquire));
}
