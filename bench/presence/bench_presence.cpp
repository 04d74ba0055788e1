// How soon a starting Quillbox is seen by a browsing Quillpost, and how
// Quillpost's list of people online copes with many announced at once.
//   bench_presence [ROUNDS] [PEOPLE]    (defaults 7 and 500; needs root)

#include "avahibus.h"
#include "messageintake.h"
#include "presencebrowser.h"
#include "procstatus.h"
#include "receiversettings.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

constexpr int kWaitMs = 60000;
const QString kAvahi = QStringLiteral("org.freedesktop.Avahi");
const QString kGroup = QStringLiteral("org.freedesktop.Avahi.EntryGroup");

// Turns the event loop until done() or the wait is over.
bool waitFor(const std::function<bool()> &done, int ms)
{
    QTimer tick; // wakes the loop now and then even when nothing else comes
    tick.start(10);
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Milliseconds from a Quillbox core's start until the browser lists it.
double timeToSeen(PresenceBrowser &browser, int round)
{
    QTemporaryDir folder;
    ReceiverSettings settings;
    settings.portList.clear();
    settings.portList.append(0);
    settings.presenceId = QStringLiteral("bench-%1").arg(round);
    QElapsedTimer clock;
    clock.start();
    std::optional<MessageIntake> intake(std::in_place, settings, QHostAddress(QHostAddress::LocalHost),
                                        folder.filePath(QStringLiteral("history.sqlite")));
    intake->listen();
    intake->startPresence(QDBusConnection::systemBus(), [round] {
        return PresenceRecord{QStringLiteral("bench %1").arg(round), {}, 505};
    });
    const bool seen = waitFor([&] { return browser.personWithId(settings.presenceId) != nullptr; }, kWaitMs);
    const double ms = clock.nsecsElapsed() / 1e6;
    intake.reset();
    waitFor([&] { return browser.personWithId(settings.presenceId) == nullptr; }, kWaitMs);
    return seen ? ms : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const int people = argc > 2 ? std::max(1, atoi(argv[2])) : 500;
    AvahiBus avahi;
    if (avahi.skipReason()) {
        std::fprintf(stderr, "bench_presence: %s\n", avahi.skipReason());
        return 1;
    }
    PresenceBrowser browser(QDBusConnection::systemBus());
    browser.start();

    std::vector<double> seen;
    for (int round = 0; round < rounds; ++round)
        seen.push_back(timeToSeen(browser, round));

    const qint64 before = ResidentKiB();
    // Many people at once, announced by one client as a crowd of machines would be.
    QDBusConnection bus = QDBusConnection::systemBus();
    const QString path =
        bus.call(QDBusMessage::createMethodCall(kAvahi, QStringLiteral("/"),
                                                QStringLiteral("org.freedesktop.Avahi.Server"),
                                                QStringLiteral("EntryGroupNew")))
            .arguments()
            .value(0)
            .value<QDBusObjectPath>()
            .path();
    for (int n = 0; n < people; ++n) {
        QDBusMessage add = QDBusMessage::createMethodCall(kAvahi, path, kGroup, QStringLiteral("AddService"));
        add << -1 << -1 << 0u << QStringLiteral("person %1").arg(n) << kPresenceServiceType << QString()
            << QString() << QVariant::fromValue(quint16(1024 + n))
            << QVariant::fromValue(
                   presenceTxt({QStringLiteral("person %1").arg(n), QStringLiteral("p%1").arg(n), 505}));
        bus.asyncCall(add);
    }
    QElapsedTimer clock;
    clock.start();
    bus.call(QDBusMessage::createMethodCall(kAvahi, path, kGroup, QStringLiteral("Commit")));
    const int expected = std::min(people, PresenceBrowser::kMaxPeople);
    const bool all = waitFor([&] { return browser.people().size() >= expected; }, kWaitMs);
    const double listedMs = clock.nsecsElapsed() / 1e6;
    const qint64 after = ResidentKiB();

    std::printf("| what | figure |\n|---|---|\n");
    std::printf("| a starting Quillbox seen by the browser (median of %d, ms) | %.0f |\n", rounds,
                median(seen));
    std::printf("| slowest of those (ms) | %.0f |\n", *std::max_element(seen.begin(), seen.end()));
    std::printf("| %d people announced: time until %d are listed (ms) | %s |\n", people, expected,
                all ? qPrintable(QString::number(listedMs, 'f', 0)) : "not all within 60 s");
    std::printf("| resident memory of the browsing process, before and after them (MiB) | %.1f / %.1f |\n",
                before / 1024.0, after / 1024.0);
    bus.call(QDBusMessage::createMethodCall(kAvahi, path, kGroup, QStringLiteral("Free")));
    return all && *std::min_element(seen.begin(), seen.end()) >= 0 ? 0 : 1;
}
