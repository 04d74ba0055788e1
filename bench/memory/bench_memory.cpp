// Memory of a real Quillbox router (offscreen) with all 65 message windows
// open and a growing queue of waiting messages: resident memory and the
// router's own count of queued bytes at 0, 1,000, 10,000 and 30,000 queued
// messages, for a short and a 1 KiB text, and with 64 KiB texts up to the
// queue's byte bound. The yardstick is the queued payload bytes themselves:
// "RSS growth / queued bytes" is the memory taken per byte waiting.
//
//   build/<folder>/bin/bench_memory
#include "../common/benchsupport.h"
#include "admission.h"
#include "messagerouter.h"
#include "messagewindow.h"
#include "wireformat.h"

#include <QApplication>
#include <cstdio>
#include <malloc.h>

using namespace bench;

namespace {

const QList<int> kQueueLevels{0, 1000, 10000, 30000};

void Settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Fills all window slots, then queues messages of `bytes` bytes from one
// more sender up to each level (or until the queue's bounds refuse more, as
// the listeners do). Prints one row per level.
void Measure(qsizetype bytes, const QList<int> &levels)
{
    ReceiverSettings settings;
    settings.playIncomingSound = false;
    MessageRouter router;
    router.setWindowFactory([&settings](int slot, const Message &first) {
        auto *window = new MessageWindow(settings);
        window->showFirst(slot, first);
        return window;
    });
    const qint64 startKiB = ResidentKiB();
    for (int n = 0; n < MessageRouter::kMaxMessageWindows; ++n)
        router.route(*messageFromPayload(Payload("window", 64), QStringLiteral("10.0.0.%1").arg(n + 1), 505));
    Settle();
    const qint64 windowsKiB = ResidentKiB();
    const QByteArray payload = Payload("queued", bytes);
    int queued = 0;
    for (const int level : levels) {
        while (queued < level && Admission::queueHasRoom(router.queue().size(), router.queuedBytes(), 0)) {
            // A copy of its own, as each received message is.
            router.route(*messageFromPayload(QByteArray(payload.constData(), payload.size()),
                                             QStringLiteral("10.0.1.1"), 505));
            ++queued;
        }
        Settle();
        const qint64 rss = ResidentKiB();
        const double growth = static_cast<double>(rss - windowsKiB) * 1024.0;
        std::printf("| %lld B | %d | %d | %d | %lld | %.1f | %lld | %lld | %.2f |\n",
                    static_cast<long long>(bytes), router.openWindowCount(), level,
                    static_cast<int>(router.queue().size()),
                    static_cast<long long>(router.queuedBytes() / 1024), static_cast<double>(rss) / 1024.0,
                    static_cast<long long>(windowsKiB - startKiB), static_cast<long long>(rss - windowsKiB),
                    router.queuedBytes() > 0 ? growth / static_cast<double>(router.queuedBytes()) : 0.0);
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char **argv)
{
    OffscreenUnlessSet();
    QApplication app(argc, argv);
    Settle();
    const qint64 bareKiB = ResidentKiB();
    std::printf("| payload | windows open | queue asked | queue held | queued KiB | RSS MiB | KiB for the 65 "
                "windows | RSS growth by the queue KiB | growth / queued bytes |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    // Each size in a router of its own; freed memory is given back between them.
    Measure(64, kQueueLevels);
    malloc_trim(0);
    Measure(1024, kQueueLevels);
    malloc_trim(0);
    // 64 KiB texts meet the byte bound long before the count bound.
    Measure(kMaxPayloadBytes, {0, 256, 512, 1024, 30000});
    std::printf("\nbare offscreen QApplication before any window: %.1f MiB RSS; queue bounds: %d messages, "
                "%lld MiB\n",
                static_cast<double>(bareKiB) / 1024.0, Admission::kMaxQueuedMessages,
                static_cast<long long>(Admission::kMaxQueuedBytes / (1024 * 1024)));
    return 0;
}
