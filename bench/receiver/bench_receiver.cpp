// Messages a second that Quillbox accepts, reads, parses and routes into its
// message windows (offscreen), from 1, 8 and 64 senders at once (all from
// 127.0.0.1, and 64 from 64 addresses of their own), with small
// payloads, 64 KiB of prose and 64 KiB of one unbroken run of letters (the
// worst case for the window's text layout), against a bare single-threaded epoll receiver
// that only accepts, reads and closes, measured in the same run; and, for
// comparison, a bare QTcpServer on the event loop that does the same. Then a burst
// of 1,000 senders (from 200 addresses) connecting at once, none of which may be
// lost. Prints
// medians and ratios as a table, with the CPU time each receiver spent per
// message (Quillbox: its user-interface and network threads together, and
// the user-interface thread's share of it); exits with 1 when Quillbox reaches less than half the
// reference at 8 senders with small payloads, less than 0.3 of it with 64 KiB
// of prose, loses a message of the burst, or keeps less than 0.9 of its rate
// with the message history on (compared with it off, in turn).
//
//   build/<folder>/bin/bench_receiver [messages per round] [rounds] [senders] [payload]
//
// payload: small, prose or unbroken (all three when left out).
//
// The closed loop, as the sending program confirms delivery: 8 senders, each
// from a loopback address of its own (127.0.0.2 to .9), write one payload,
// shut down their side and wait for the receiver's close before the next
// message. Quillbox (history on) and the epoll receiver take turns run by
// run; each run is 10,000 small or 2,000 64 KiB messages. Also checks that the
// history holds every message a sender saw closed, and compares the first
// tenth of each Quillbox run (a fresh Quillbox) with the rest:
//
//   build/<folder>/bin/bench_receiver closed [runs] [payload] [off]
//
// off: Quillbox with its history off (the rows then check nothing missing).
//
// Build it in a release folder for figures that mean something.

#include "../common/benchsupport.h"
#include "messageintake.h"
#include "wireformat.h"

#include <QApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <cstdio>

using namespace bench;

namespace {

// Every message is a connection the sender closes, leaving a TIME_WAIT entry
// for a minute; more per round would let those slow down later rounds.
constexpr int kDefaultMessages = 1000;
constexpr int kDefaultRounds = 9;
// Unbroken 64 KiB texts: one round of this many messages, from at most
// this many senders (each new window lays out its text for a long while).
constexpr int kUnbrokenMessages = 64;
constexpr int kUnbrokenMaxSenders = 8;
constexpr int kBurst = 1000;
// The burst comes from this many addresses: a few senders each, since one
// address may keep only a few connections that have sent nothing waiting
// (Listener::kMaxWaitingPerAddress; beyond it they are a flood, and reset).
constexpr quint32 kBurstAddresses = 200;
// Required at 8 senders: half the reference's rate with small payloads, 0.3
// of it with 64 KiB of prose.
constexpr double kRequiredRatio = 0.5;
constexpr double kRequiredLargeRatio = 0.3;
// Keeping the history may cost at most a tenth of the rate.
constexpr double kRequiredHistoryRatio = 0.9;

// Starts `senders` threads that send `messages` payloads between them.
struct PayloadKind
{
    const char *name;
    const char *label;
    qsizetype bytes;
    Text text;
};

// How many senders, and whether each sends from a loopback address of its
// own (127.0.0.2 and on) or all from 127.0.0.1.
struct Senders
{
    int count;
    bool ownAddresses = false;
};

std::vector<std::thread> StartSenders(quint16 port, Senders senders, int messages, PayloadKind kind,
                                      std::atomic<int> &failures)
{
    std::vector<std::thread> threads;
    for (int s = 0; s < senders.count; ++s) {
        const int count = messages / senders.count + (s < messages % senders.count ? 1 : 0);
        const quint32 from = senders.ownAddresses ? INADDR_LOOPBACK + 1 + quint32(s) : INADDR_LOOPBACK;
        threads.emplace_back([port, s, count, from, kind, &failures] {
            const QByteArray payload =
                Payload(QByteArray("sender") + QByteArray::number(s), kind.bytes, kind.text);
            for (int i = 0; i < count; ++i) {
                if (!SendOne(port, payload, from))
                    failures.fetch_add(1);
            }
        });
    }
    return threads;
}

// One round: messages a second (0 when it did not finish) and the CPU time
// the receiving thread spent per message. The CPU time depends far less on
// how the scheduler shares the two cores with the senders than the rate.
struct Round
{
    double rate = 0;
    double cpuUsPerMessage = 0;
    // The share of that CPU time spent on this (the user-interface) thread.
    double uiShare = 1;
    qint64 historyDropped = 0;
};

// A round against a receiver on this thread's event loop; received() says
// how many messages it has taken so far, otherCpuNs() the CPU time of the
// receiver's other threads.
Round EventLoopRound(
    quint16 port, const std::function<int()> &received, Senders senders, int messages, PayloadKind kind,
    const std::function<qint64()> &otherCpuNs = [] { return qint64(0); })
{
    std::atomic<int> failures{0};
    QElapsedTimer clock;
    clock.start();
    const qint64 startCpu = ThreadCpuNs();
    const qint64 startOtherCpu = otherCpuNs();
    std::vector<std::thread> threads = StartSenders(port, senders, messages, kind, failures);
    const bool done = SpinUntil([&] { return received() + failures.load() >= messages; });
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double uiNs = ThreadCpuNs() - startCpu;
    const double totalNs = uiNs + (otherCpuNs() - startOtherCpu);
    for (auto &thread : threads)
        thread.join();
    if (!done || failures.load() != 0)
        return {};
    return {messages / seconds, totalNs / 1e3 / messages, totalNs > 0 ? uiNs / totalNs : 1.0};
}

Round QuillboxRound(Senders senders, int messages, PayloadKind kind, bool keepHistory = true)
{
    Quillbox quillbox(keepHistory);
    Round round = EventLoopRound(
        quillbox.port(), [&] { return quillbox.received; }, senders, messages, kind,
        [&] { return quillbox.networkCpuNs(); });
    quillbox.form->history().flush();
    round.historyDropped = quillbox.form->history().droppedCount();
    return round;
}

Round BareQtRound(Senders senders, int messages, PayloadKind kind)
{
    BareQtReceiver receiver;
    return EventLoopRound(
        receiver.port(), [&] { return receiver.received; }, senders, messages, kind);
}

Round ReferenceRound(Senders senders, int messages, PayloadKind kind)
{
    EpollReceiver receiver;
    std::atomic<int> failures{0};
    QElapsedTimer clock;
    clock.start();
    const qint64 startNs = NowNs();
    std::vector<std::thread> threads = StartSenders(receiver.port(), senders, messages, kind, failures);
    for (auto &thread : threads)
        thread.join();
    // Sleeps rather than spins, so that the wait takes no core from the
    // receiving thread.
    while (receiver.received() + failures.load() < messages && clock.elapsed() < kRoundTimeoutMs)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double seconds = (receiver.lastCompletionNs() - startNs) / 1e9;
    if (failures.load() != 0 || receiver.received() < messages)
        return {};
    return {messages / seconds, receiver.cpuNs() / 1e3 / messages};
}

// A burst of senders that all connect before they write, then write and
// close: how many of them arrive, and in how long.
int Burst(double &seconds)
{
    Quillbox quillbox;
    std::vector<int> sockets;
    const sockaddr_in address = Loopback(quillbox.port());
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kBurst; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1 + quint32(i) % kBurstAddresses);
        if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 &&
            ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            sockets.push_back(fd);
        else if (fd >= 0)
            ::close(fd);
    }
    const QByteArray payload("burst\0"
                             "505\0hello",
                             15);
    for (int fd : sockets) {
        ::send(fd, payload.constData(), static_cast<size_t>(payload.size()), MSG_NOSIGNAL);
        ::close(fd);
    }
    SpinUntil([&] { return quillbox.received >= kBurst; });
    seconds = clock.nsecsElapsed() / 1e9;
    return quillbox.received;
}

// The closed loop's figures: the messages per run, its runs, and the
// targets (of the epoll receiver's rate) for small and 64 KiB payloads.
constexpr int kClosedSmallMessages = 10000;
constexpr int kClosedLargeMessages = 2000;
constexpr int kClosedSenders = 8;
constexpr int kClosedRuns = 5;
// The first tenth of a run is the first burst of a fresh Quillbox.
constexpr int kFirstBurstShare = 10;

// One closed-loop run: messages a second over the run, the CPU time the
// receiver's network thread (the epoll thread for the reference) spent per
// message, the first tenth's rate, and how many messages the history lacks
// of those whose senders saw them closed.
struct ClosedRun
{
    double rate = 0;
    double networkCpuUs = 0;
    // Quillbox's user-interface thread.
    double uiCpuUs = 0;
    double firstRate = 0;
    double laterRate = 0;
    qint64 missing = 0;
};

// Runs the senders against port until each has sent its share and seen
// every message closed.
ClosedRun ClosedLoop(quint16 port, int messages, PayloadKind kind)
{
    std::atomic<int> confirmed{0};
    std::atomic<int> failures{0};
    std::atomic<qint64> firstDoneNs{0};
    const int firstCount = messages / kFirstBurstShare;
    const qint64 startNs = NowNs();
    std::vector<std::thread> threads;
    for (int s = 0; s < kClosedSenders; ++s) {
        const int count = messages / kClosedSenders + (s < messages % kClosedSenders ? 1 : 0);
        threads.emplace_back([&, s, count] {
            const QByteArray payload =
                Payload(QByteArray("sender") + QByteArray::number(s), kind.bytes, kind.text);
            for (int i = 0; i < count; ++i) {
                if (!SendConfirmed(port, payload, INADDR_LOOPBACK + 1 + quint32(s))) {
                    failures.fetch_add(1);
                    continue;
                }
                if (confirmed.fetch_add(1) + 1 == firstCount)
                    firstDoneNs.store(NowNs());
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    const qint64 endNs = NowNs();
    if (failures.load() != 0)
        return {};
    ClosedRun run;
    run.rate = messages / ((endNs - startNs) / 1e9);
    run.firstRate = firstCount / ((firstDoneNs.load() - startNs) / 1e9);
    run.laterRate = (messages - firstCount) / ((endNs - firstDoneNs.load()) / 1e9);
    return run;
}

// The messages the history file at path holds.
qint64 StoredMessages(const QString &path)
{
    qint64 count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-count"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(QStringLiteral("SELECT count(*) FROM messages"), db);
            if (query.next())
                count = query.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-count"));
    return count;
}

ClosedRun ClosedQuillboxRun(int messages, PayloadKind kind, bool keepHistory)
{
    Quillbox quillbox(keepHistory);
    // A fresh Quillbox that has finished starting: what it builds ahead while
    // idle is there.
    SpinUntil(
        [&] { return quillbox.form->intake().spareWindowCount() >= MessageIntake::kSpareWindowsAtStart; },
        kRoundTimeoutMs);
    const qint64 startCpu = quillbox.networkCpuNs();
    const qint64 startUiCpu = ThreadCpuNs();
    ClosedRun run;
    std::atomic<bool> finished{false};
    std::thread loop([&] {
        run = ClosedLoop(quillbox.port(), messages, kind);
        finished.store(true);
    });
    // The user-interface thread runs its event loop meanwhile, as the
    // program's does.
    SpinUntil([&] { return finished.load(); });
    loop.join();
    run.uiCpuUs = (ThreadCpuNs() - startUiCpu) / 1e3 / messages;
    run.networkCpuUs = (quillbox.networkCpuNs() - startCpu) / 1e3 / messages;
    quillbox.form->history().flush();
    if (run.rate > 0 && keepHistory)
        run.missing = std::max<qint64>(
            0, messages - StoredMessages(quillbox.folder.filePath(QStringLiteral("history.sqlite"))));
    return run;
}

ClosedRun ClosedReferenceRun(int messages, PayloadKind kind)
{
    EpollReceiver receiver;
    ClosedRun run = ClosedLoop(receiver.port(), messages, kind);
    run.networkCpuUs = receiver.cpuNs() / 1e3 / messages;
    return run;
}

int ClosedLoopMain(const QStringList &args)
{
    const int runs = args.size() > 2 ? std::max(1, args[2].toInt()) : kClosedRuns;
    const QString only = args.size() > 3 ? args[3] : QString();
    const bool keepHistory = args.size() <= 4 || args[4] != QLatin1String("off");
    std::printf(
        "| payload | messages a run | quillbox msg/s | epoll msg/s | ratio | target | quillbox network "
        "CPU µs/msg | quillbox UI CPU µs/msg | epoll CPU µs/msg | first tenth msg/s | later msg/s | first / "
        "later | missing from the history |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    bool ok = true;
    const struct
    {
        PayloadKind kind;
        int messages;
        double target;
    } rows[] = {
        {{"small", "32 B", 32, Text::Prose}, kClosedSmallMessages, 0.85},
        {{"prose", "64 KiB prose", kMaxPayloadBytes, Text::Prose}, kClosedLargeMessages, 0.5},
        {{"unbroken", "64 KiB unbroken", kMaxPayloadBytes, Text::Unbroken}, kClosedLargeMessages, 0.3}};
    for (const auto &row : rows) {
        if (!only.isEmpty() && !QString::fromLatin1(row.kind.name).startsWith(only))
            continue;
        std::vector<double> quill, reference, quillCpu, quillUiCpu, referenceCpu, first, later;
        qint64 missing = 0;
        for (int r = 0; r < runs; ++r) {
            const ClosedRun e = ClosedReferenceRun(row.messages, row.kind);
            const ClosedRun q = ClosedQuillboxRun(row.messages, row.kind, keepHistory);
            reference.push_back(e.rate);
            referenceCpu.push_back(e.networkCpuUs);
            quill.push_back(q.rate);
            quillCpu.push_back(q.networkCpuUs);
            quillUiCpu.push_back(q.uiCpuUs);
            first.push_back(q.firstRate);
            later.push_back(q.laterRate);
            missing += q.missing;
        }
        const double ratio = Median(reference) > 0 ? Median(quill) / Median(reference) : 0.0;
        std::printf(
            "| %s | %d | %.0f | %.0f | %.3f | %.2f | %.1f | %.1f | %.1f | %.0f | %.0f | %.2f | %lld |\n",
            row.kind.label, row.messages, Median(quill), Median(reference), ratio, row.target,
            Median(quillCpu), Median(quillUiCpu), Median(referenceCpu), Median(first), Median(later),
            Median(later) > 0 ? Median(first) / Median(later) : 0.0, qlonglong(missing));
        std::fflush(stdout);
        if (ratio < row.target || missing > 0)
            ok = false;
    }
    std::printf("\nmedians of %d runs each, %d senders from 127.0.0.2 to 127.0.0.%d, the history %s\n", runs,
                kClosedSenders, kClosedSenders + 1, keepHistory ? "on" : "off");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    OffscreenUnlessSet();
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1 && args[1] == QLatin1String("closed"))
        return ClosedLoopMain(args);
    const int messages = args.size() > 1 ? std::max(64, args[1].toInt()) : kDefaultMessages;
    const int rounds = args.size() > 2 ? std::max(1, args[2].toInt()) : kDefaultRounds;
    std::vector<Senders> senderSets{{1}, {8}, {64}, {64, true}};
    // "64a": 64 senders from 64 addresses.
    if (args.size() > 3)
        senderSets = {{std::clamp(args[3].toInt(), 1, 250), args[3].endsWith(u'a')}};

    std::printf(
        "| payload | senders | messages a round | quillbox msg/s | epoll msg/s | ratio | bare Qt msg/s "
        "| bare Qt ratio | quillbox CPU µs/msg | of it UI thread | epoll CPU µs/msg | bare Qt CPU µs/msg "
        "|\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    bool ok = true;
    const PayloadKind kinds[] = {{"small", "32 B", 32, Text::Prose},
                                 {"prose", "64 KiB prose", kMaxPayloadBytes, Text::Prose},
                                 {"unbroken", "64 KiB unbroken", kMaxPayloadBytes, Text::Unbroken}};
    const QString only = args.size() > 4 ? args[4] : QString();
    for (const PayloadKind &kind : kinds) {
        if (!only.isEmpty() && !QString::fromLatin1(kind.name).startsWith(only))
            continue;
        const bool large = kind.bytes == kMaxPayloadBytes;
        const bool unbroken = kind.text == Text::Unbroken;
        // An unbroken text costs each new window a long layout: one short
        // round is enough to show it.
        const int count = unbroken ? kUnbrokenMessages : messages;
        for (const Senders senders : senderSets) {
            if (unbroken && senders.count > kUnbrokenMaxSenders)
                continue;
            std::vector<double> quill, reference, bare;
            std::vector<double> quillCpu, quillUi, referenceCpu, bareCpu;
            for (int r = 0; r < (unbroken ? 1 : rounds); ++r) {
                // Taken in turn, so that no receiver gets the quieter moments.
                const Round e = ReferenceRound(senders, count, kind);
                const Round b = BareQtRound(senders, count, kind);
                const Round q = QuillboxRound(senders, count, kind);
                reference.push_back(e.rate);
                referenceCpu.push_back(e.cpuUsPerMessage);
                bare.push_back(b.rate);
                bareCpu.push_back(b.cpuUsPerMessage);
                quill.push_back(q.rate);
                quillCpu.push_back(q.cpuUsPerMessage);
                quillUi.push_back(q.uiShare);
            }
            const double q = Median(quill);
            const double e = Median(reference);
            const double b = Median(bare);
            const double ratio = e > 0 ? q / e : 0.0;
            const QByteArray from = senders.ownAddresses ? QByteArray::number(senders.count) + " addresses"
                                                         : QByteArrayLiteral("127.0.0.1");
            std::printf("| %s | %d from %s | %d | %.0f | %.0f | %.3f | %.0f | %.3f | %.1f | %.0f %% | %.1f | "
                        "%.1f |\n",
                        kind.label, senders.count, from.constData(), count, q, e, ratio, b,
                        e > 0 ? b / e : 0.0, Median(quillCpu), 100 * Median(quillUi), Median(referenceCpu),
                        Median(bareCpu));
            std::fflush(stdout);
            if (senders.count == 8 && !unbroken && ratio < (large ? kRequiredLargeRatio : kRequiredRatio))
                ok = false;
        }
    }
    std::printf("\nmedians of %d rounds each (unbroken texts: one round)\n", rounds);

    // The history's cost: the same rounds with it on (as above) and off,
    // taken in turn, and the messages the history lost meanwhile.
    std::printf(
        "\n| payload, 8 senders | history off msg/s | history on msg/s | on / off | lost by the history "
        "|\n|---|---:|---:|---:|---:|\n");
    for (const PayloadKind &kind : kinds) {
        if (kind.text == Text::Unbroken ||
            (!only.isEmpty() && !QString::fromLatin1(kind.name).startsWith(only)))
            continue;
        std::vector<double> on, off;
        qint64 dropped = 0;
        for (int r = 0; r < rounds; ++r) {
            off.push_back(QuillboxRound({8}, messages, kind, false).rate);
            const Round withHistory = QuillboxRound({8}, messages, kind, true);
            on.push_back(withHistory.rate);
            dropped += withHistory.historyDropped;
        }
        const double ratio = Median(off) > 0 ? Median(on) / Median(off) : 0.0;
        std::printf("| %s | %.0f | %.0f | %.3f | %lld |\n", kind.label, Median(off), Median(on), ratio,
                    qlonglong(dropped));
        std::fflush(stdout);
        if (ratio < kRequiredHistoryRatio || dropped > 0)
            ok = false;
    }

    double burstSeconds = 0;
    const int arrived = Burst(burstSeconds);
    std::printf("burst: %d of %d senders arrived in %.2f s\n", arrived, kBurst, burstSeconds);
    if (arrived < kBurst)
        ok = false;
    std::fflush(stdout);
    return ok ? 0 : 1;
}
