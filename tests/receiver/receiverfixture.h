#pragma once
// A Quillbox main window on loopback listeners with ports chosen by the
// system, a store of its own, and notices recorded instead of shown.

#include "listener.h"
#include "messagerouter.h"
#include "receiveform.h"
#include "receiversettings.h"
#include "receivertesthelpers.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <memory>

class Dialog1;

struct ReceiverFixture
{
    explicit ReceiverFixture(const QList<qint32> &ports = {0}, int dataTimeoutMs = Listener::kDataTimeoutMs)
    {
        settings.portList.clear();
        for (qint32 port : ports)
            settings.portList.append(port);
        ReceiveFormOptions options;
        options.listenAddress = QHostAddress(QHostAddress::LocalHost);
        options.trayIcon = false;
        options.loadSettings = false;
        form = std::make_unique<ReceiveForm>(store, settings, options);
        form->setDataTimeout(dataTimeoutMs);
        form->Form_Load(QString());
    }

    quint16 port(int index = 0) const { return form->Winsck().at(index)->serverPort(); }
    MessageRouter &router() const { return form->router(); }
    QList<Dialog1 *> windows() const
    {
        QList<Dialog1 *> open;
        for (const auto &window : router().MessageWindows()) {
            if (window)
                open.append(window.data());
        }
        return open;
    }

    NoticeRecorder notices;
    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(QStringLiteral("Quillbox.ini")));
    ReceiverSettings settings;
    std::unique_ptr<ReceiveForm> form;
};
