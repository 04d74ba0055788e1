#pragma once
// A Quillpost main window over a store in a folder of its own, with every
// notice it shows recorded instead of opened.

#include "messagebox.h"
#include "messagesender.h"
#include "sendersettings.h"
#include "sendwindow.h"
#include "settingsstore.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

struct Box
{
    QString title;
    QString text;
    bool connectionOpen = false; // the send's connection was still up
};

struct SenderFormFixture
{
    SenderFormFixture()
    {
        setMessageHandler([this](QWidget *, const QString &title, const QString &text) {
            const bool open = form && form->messageSender()->state() == MessageSender::State::Delivered;
            boxes.append({title, text, open});
        });
    }
    ~SenderFormFixture()
    {
        form.reset();
        setMessageHandler({});
    }
    SenderFormFixture(const SenderFormFixture &) = delete;
    SenderFormFixture &operator=(const SenderFormFixture &) = delete;

    std::unique_ptr<SendWindow> makeForm()
    {
        auto made = std::make_unique<SendWindow>(store, settings);
        made->show();
        return made;
    }
    void writeUsers(const QList<UserRecord> &users)
    {
        UserList list;
        for (const UserRecord &user : users)
            list.append(user);
        QVERIFY(saveUserList(store, list));
    }

    QPlainTextEdit *text1() const { return form->findChild<QPlainTextEdit *>(QStringLiteral("Text1")); }
    QPushButton *button(const char *name) const
    {
        return form->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    QComboBox *combo1() const { return form->findChild<QComboBox *>(QStringLiteral("Combo1")); }

    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(QStringLiteral("q.ini")));
    SenderSettings settings;
    QList<Box> boxes;
    std::unique_ptr<SendWindow> form;
};
