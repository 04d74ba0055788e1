#pragma once
// What the Quillpost tests share: every box noted as "title: text" instead
// of opened, a main window over a store of its own, and a request to a
// local endpoint as another program makes it.

#include "localendpoint.h"
#include "messagebox.h"
#include "sendwindow.h"
#include "settingsstore.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

inline void Click(const QWidget *parent, const QString &button)
{
    QTest::mouseClick(parent->findChild<QPushButton *>(button), Qt::LeftButton);
}

struct BoxRecorder
{
    BoxRecorder()
    {
        setMessageHandler([this](QWidget *, const QString &title, const QString &text) {
            boxes << title + u": "_s + text;
        });
    }
    ~BoxRecorder() { setMessageHandler({}); }
    QStringList boxes;
};

// The window with one user in its list.
struct SendWindowFixture : BoxRecorder
{
    explicit SendWindowFixture(const UserRecord &user)
    {
        settings.userList = UserList();
        settings.userList.append(user);
        saveUserList(store, settings.userList);
    }
    // Shows the window; true once it is the program's active window.
    bool open()
    {
        form = std::make_unique<SendWindow>(store, settings);
        form->show();
        QApplication::setActiveWindow(form.get());
        return QTest::qWaitFor([this] { return form->isSendWindowActive(); }, 5000);
    }
    QComboBox *recipient() const { return form->findChild<QComboBox *>(u"Combo1"_s); }
    QPlainTextEdit *field() const { return form->findChild<QPlainTextEdit *>(u"Text1"_s); }

    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(u"q.ini"_s));
    SenderSettings settings;
    std::unique_ptr<SendWindow> form;
};

// What finished() reported, while this thread's event loop kept serving; or
// kNoAnswer when it never came.
constexpr auto kNoAnswer = static_cast<EndpointReply>(-1);
inline EndpointReply Ask(EndpointRequest *request, int waitMs = 10000)
{
    const std::unique_ptr<EndpointRequest> owned(request);
    EndpointReply reply = kNoAnswer;
    QObject::connect(request, &EndpointRequest::finished, request, [&reply](EndpointReply r) { reply = r; });
    request->start();
    static_cast<void>(QTest::qWaitFor([&reply] { return reply != kNoAnswer; }, waitMs));
    return reply;
}
