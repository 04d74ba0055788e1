#pragma once
// A Quillpost main window over a store of its own, its endpoint listening
// in the test's private runtime folder, and records handed to it by the
// client function from another thread, as Quillbox hands them over from its
// own process. Notices are recorded instead of shown.
#include "bars.h"
#include "endpointclient.h"
#include "localendpoint.h"
#include "messagebox.h"
#include "replyrecord.h"
#include "sendersettings.h"
#include "sendwindow.h"
#include "settingsstore.h"

#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

// Bound of a client's round trip; a passing test takes a fraction of it.
constexpr int kClientWaitMs = 5000;

struct Notice
{
    QWidget *owner = nullptr;
    QString title;
    QString text;
};

// The record handed over as Quillbox does, while this thread's event loop
// serves the endpoint.
inline std::unique_ptr<PendingReply> HandOver(const QByteArray &record)
{
    return RequestCopyData(kSendWindowCaption, kReplyRecordKind, record, kClientWaitMs);
}

// Users written as "name,ip,port".
inline QStringList Describe(const UserList &users)
{
    QStringList rows;
    for (int n = 1; n <= users.count(); ++n)
        rows << users.at(n).name + u',' + users.at(n).ip + u',' + QString::number(users.at(n).port);
    return rows;
}

inline UserList ListOf(const QStringList &rows)
{
    UserList users;
    for (const QString &row : rows) {
        const QStringList fields = row.split(u',');
        users.append({fields.value(0), fields.value(1), fields.value(2).toInt(), 0});
    }
    return users;
}

class IntakeFixture
{
public:
    IntakeFixture()
    {
        setMessageHandler([this](QWidget *owner, const QString &title, const QString &text) {
            notices.append({owner, title, text});
            if (onNotice)
                onNotice(notices.last());
        });
    }
    ~IntakeFixture()
    {
        form.reset();
        setMessageHandler({});
    }
    IntakeFixture(const IntakeFixture &) = delete;
    IntakeFixture &operator=(const IntakeFixture &) = delete;

    // The window made with these users in the store, shown and active.
    bool start(const QStringList &users = {})
    {
        if (!users.isEmpty() && !saveUserList(store, ListOf(users)))
            return false;
        form = std::make_unique<SendWindow>(store, settings);
        form->show();
        QApplication::setActiveWindow(form.get());
        return QTest::qWaitFor([this] { return form->isActiveWindow(); }, kClientWaitMs) &&
               form->isSendWindowActive();
    }

    // Hands the record over and serves the endpoint until it is answered.
    EndpointReply deliver(const QByteArray &record) { return HandOver(record)->get(kClientWaitMs * 2); }

    QComboBox *combo1() const { return form->findChild<QComboBox *>(QStringLiteral("Combo1")); }
    QPlainTextEdit *text1() const { return form->findChild<QPlainTextEdit *>(QStringLiteral("Text1")); }

    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(QStringLiteral("q.ini")));
    SenderSettings settings;
    std::unique_ptr<SendWindow> form;
    QList<Notice> notices;
    std::function<void(const Notice &)> onNotice;
};
