#include "commandline.h"
#include "localendpoint.h"
#include "replyrecord.h"
#include "sendersettings.h"
#include "sendwindow.h"
#include "sessionend.h"
#include "settingsstore.h"
#include "singleinstance.h"
#include "translation.h"
#include "windowactivation.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>

namespace {

// A second copy only asks the first to come forward, so it needs no display:
// it ends before it reads or writes a single setting or opens a window.
int bringFirstCopyForward(int argc, char *argv[])
{
    // A live copy answers at once; one that hangs is not waited for long.
    constexpr int kBringToFrontTimeoutMs = 3000;
    QCoreApplication app(argc, argv);
    // A copy started from a launcher under Wayland holds the token that
    // lets the window come forward: it goes along.
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    auto *request = EndpointRequest::bringToFront(kSendEndpointName, kBringToFrontTimeoutMs, &app,
                                                  isActivationToken(token) ? token : QByteArray());
    QObject::connect(request, &EndpointRequest::finished, &app, [] { QCoreApplication::exit(0); });
    request->start();
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = runSenderCommandLine(argc, argv))
        return *status;
    SingleInstanceLock lock(QStringLiteral("quillpost"));
    if (!lock.tryLock())
        return bringFirstCopyForward(argc, argv);

    QApplication app(argc, argv);
    installTranslations(app);
    QApplication::setApplicationName(kSenderStoreName);
    QApplication::setApplicationVersion(QStringLiteral(QUILL_VERSION));
    // Every window shows the program's icon, and the desktop matches the
    // windows to the program's menu entry.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quillpost.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillpost"));

    SettingsStore store(kSenderStoreName);
    SenderSettings settings;
    SendWindow form(store, settings);
    form.show();
    // Logging out or a termination signal keeps what the day changed.
    SessionEnd sessionEnd([&form] { form.saveSettings(); });
    return QApplication::exec();
}
