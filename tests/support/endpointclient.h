#pragma once
// One request to a local endpoint as another program sends it, while the
// test's event loop keeps serving (the endpoint may live on this thread).
#include "localendpoint.h"

#include <QTest>
#include <memory>

class PendingReply
{
public:
    explicit PendingReply(EndpointRequest *request)
        : m_request(request)
    {
        QObject::connect(request, &EndpointRequest::finished, request, [this](EndpointReply reply) {
            m_reply = reply;
            m_done = true;
        });
        request->start();
    }
    PendingReply(const PendingReply &) = delete;
    PendingReply &operator=(const PendingReply &) = delete;

    bool isReady() const { return m_done; }
    // Runs the event loop until the answer is in, at most waitMs.
    EndpointReply get(int waitMs = 10000)
    {
        static_cast<void>(QTest::qWaitFor([this] { return m_done; }, waitMs));
        return m_done ? m_reply : EndpointReply::Failed;
    }

private:
    std::unique_ptr<EndpointRequest> m_request;
    EndpointReply m_reply = EndpointReply::Failed;
    bool m_done = false;
};

inline std::unique_ptr<PendingReply> RequestBringToFront(const QString &caption, int timeoutMs)
{
    return std::make_unique<PendingReply>(EndpointRequest::bringToFront(caption, timeoutMs));
}

inline std::unique_ptr<PendingReply> RequestCopyData(const QString &caption, quint32 dwData,
                                                     const QByteArray &data, int timeoutMs)
{
    return std::make_unique<PendingReply>(EndpointRequest::copyData(caption, dwData, data, timeoutMs));
}
