#pragma once

#include <QByteArray>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>

class LocalEndpoint;

// Catches the reply records that Quillbox hands to the main window through
// its local endpoint. Between hook and unhook every
// copy-data record is handed on as it came; outside that time none is
// caught.
class ReplyRecordReceiver : public QObject
{
    Q_OBJECT
public:
    explicit ReplyRecordReceiver(QObject *parent = nullptr);
    ~ReplyRecordReceiver() override;

    void hook(LocalEndpoint *endpoint);
    void unhook();
    bool isHooked() const;

signals:
    // Emitted before the sending program gets its answer, so that it learns
    // that the record was taken only once the connected slots have handled
    // it; they never wait for the user (notices open without blocking).
    void replyRecordReceived(const QByteArray &data);

private:
    void onCopyData(quint32 dwData, const QByteArray &data);

    QPointer<LocalEndpoint> m_endpoint;
    QMetaObject::Connection m_hook;
};
