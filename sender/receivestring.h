#pragma once

#include <QByteArray>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>

class LocalEndpoint;

// Catches the reply records that Quillbox hands to the main window through
// its local endpoint. Between HookReplyIntake and UnhookReplyIntake every
// copy-data record is read as the 255-byte buffer it travels in and handed
// on; outside that time none is caught.
class ReceiveString : public QObject
{
    Q_OBJECT
public:
    explicit ReceiveString(QObject *parent = nullptr);
    ~ReceiveString() override;

    void HookReplyIntake(LocalEndpoint *endpoint);
    void UnhookReplyIntake();
    bool isHooked() const;

signals:
    // Emitted while the sending program waits for its answer: it learns
    // that the record was taken only when the connected slots have handled
    // it, notices to the user included.
    void replyRecordReceived(const QString &text);

private:
    void ReplyWindowProc(quint32 dwData, const QByteArray &data);

    QPointer<LocalEndpoint> m_endpoint;
    QMetaObject::Connection m_hook;
};
