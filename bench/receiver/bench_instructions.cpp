// A fixed workload for counting instructions rather than timing: rounds of
// small messages (or 64 KiB of prose, or of one unbroken run of letters) from 8 sender threads (or as many as
// asked for) to either a Quillbox (offscreen) or the bare QTcpServer
// receiver, each round on a new receiver. Counted, instruction
// counts do not move with the machine's load the way rates do. Run, as one
// command line,
//
//   valgrind --tool=callgrind --separate-threads=yes
//       build/<folder>/bin/bench_instructions quillbox|bareqt [messages a round] [senders]
//       [small|prose|unbroken]
//
// then `callgrind_annotate --inclusive=yes` of the main thread's file (its
// name ends in -01): the inclusive count of bench::SpinUntil divided by the
// messages (3 rounds) is what one message costs the receiving thread.
#include "../common/benchsupport.h"

#include <QApplication>
#include <cstdio>

using namespace bench;

namespace {

constexpr int kRounds = 3;
constexpr int kDefaultSenders = 8;
constexpr int kMostSenders = 64;
constexpr int kDefaultMessages = 1000;

constexpr qsizetype kSmallBytes = 32;
constexpr qsizetype kLargeBytes = 65536;

std::vector<std::thread> StartSenders(quint16 port, int messages, int senders, qsizetype bytes, Text text)
{
    std::vector<std::thread> threads;
    for (int s = 0; s < senders; ++s) {
        threads.emplace_back([port, s, messages, senders, bytes, text] {
            const QByteArray payload = Payload(QByteArray("sender") + QByteArray::number(s), bytes, text);
            for (int i = 0; i < messages / senders; ++i)
                SendOne(port, payload);
        });
    }
    return threads;
}

template <typename Receiver> bool Round(int messages, int senders, qsizetype bytes, Text text)
{
    Receiver receiver;
    std::vector<std::thread> threads = StartSenders(receiver.port(), messages, senders, bytes, text);
    const int expected = messages / senders * senders;
    const bool done = SpinUntil([&] { return receiver.received >= expected; });
    for (auto &thread : threads)
        thread.join();
    return done;
}

} // namespace

int main(int argc, char **argv)
{
    OffscreenUnlessSet();
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool bare = args.value(1) == QStringLiteral("bareqt");
    const int senders = args.size() > 3 ? std::clamp(args[3].toInt(), 1, kMostSenders) : kDefaultSenders;
    const int messages = args.size() > 2 ? std::clamp(args[2].toInt(), senders, 10000) : kDefaultMessages;
    const bool unbroken = args.value(4) == QStringLiteral("unbroken");
    const qsizetype bytes = args.value(4) == QStringLiteral("prose") || unbroken ? kLargeBytes : kSmallBytes;
    const Text text = unbroken ? Text::Unbroken : Text::Prose;
    bool ok = true;
    for (int r = 0; r < kRounds; ++r)
        ok = (bare ? Round<BareQtReceiver>(messages, senders, bytes, text)
                   : Round<Quillbox>(messages, senders, bytes, text)) &&
             ok;
    std::printf("%s: %d rounds of %d messages %s\n", bare ? "bare Qt" : "quillbox", kRounds, messages,
                ok ? "received" : "NOT all received");
    return ok ? 0 : 1;
}
