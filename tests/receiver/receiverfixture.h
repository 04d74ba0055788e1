#pragma once
// A Quillbox main window on loopback listeners with ports chosen by the
// system, a store of its own, and notices recorded instead of shown.

#include "listener.h"
#include "messagerouter.h"
#include "messagewindow.h"
#include "receiversettings.h"
#include "receivertesthelpers.h"
#include "receiverwindow.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <memory>

struct ReceiverFixture
{
    explicit ReceiverFixture(const QList<qint32> &ports = {0}, int dataTimeoutMs = Listener::kDataTimeoutMs)
    {
        settings.portList.clear();
        for (qint32 port : ports)
            settings.portList.append(port);
        ReceiverWindowOptions options;
        options.listenAddress = QHostAddress(QHostAddress::LocalHost);
        options.trayIcon = false;
        options.loadSettings = false;
        form = std::make_unique<ReceiverWindow>(store, settings, options);
        form->setDataTimeout(dataTimeoutMs);
        form->start(QString());
    }

    quint16 port(int index = 0) const { return form->listeners().at(index)->serverPort(); }
    MessageRouter &router() const { return form->router(); }
    QList<MessageWindow *> windows() const
    {
        QList<MessageWindow *> open;
        for (MessageView *window : router().windows()) {
            if (window)
                open.append(static_cast<MessageWindow *>(window));
        }
        return open;
    }

    NoticeRecorder notices;
    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(QStringLiteral("Quillbox.ini")));
    ReceiverSettings settings;
    std::unique_ptr<ReceiverWindow> form;
};
