// One message from the command line to many recipients on loopback: the
// time `quillpost --to ... --to ...` takes from start to exit, and how many
// recipients it did not reach, against two bare loops in this process over
// the same listeners: one that waits for each recipient's close as Quillpost
// does (connect, write, shut down the sending side, read to the end, close),
// and one that only connects, writes and closes. Quillpost's start-up alone
// (`quillpost --version`) is measured too, to show what the sending costs.
//
// Usage: bench_fanout [recipients=1000] [runs=5]
#include "../common/benchsupport.h"

#include <QProcess>
#include <cstdio>

namespace {

const QByteArray kText = "Backup of /srv finished";

// Connect, write, shut down the sending side, wait for the recipient to close.
bool SendConfirmed(quint16 port, const QByteArray &payload)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const sockaddr_in address = bench::Loopback(port);
    bool confirmed = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
                     ::send(fd, payload.constData(), static_cast<size_t>(payload.size()), MSG_NOSIGNAL) ==
                         static_cast<ssize_t>(payload.size()) &&
                     ::shutdown(fd, SHUT_WR) == 0;
    char byte = 0;
    confirmed = confirmed && ::recv(fd, &byte, 1, 0) == 0;
    ::close(fd);
    return confirmed;
}

struct Run
{
    double ms = 0;
    int failures = 0;
};

// Waits (bounded) until the receiver has read `count` connections more than `before`.
bool AllReceived(const bench::EpollReceiver &receiver, int before, int count)
{
    QElapsedTimer waited;
    waited.start();
    while (receiver.received() - before < count) {
        if (waited.elapsed() > bench::kRoundTimeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

Run RunQuillpost(const QString &program, const QStringList &arguments, const QString &configHome,
                 int expected, const bench::EpollReceiver &receiver)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(environment);
    const int before = receiver.received();
    const qint64 start = bench::NowNs();
    process.start(program, arguments);
    const bool ended = process.waitForFinished(bench::kRoundTimeoutMs);
    Run run{double(bench::NowNs() - start) / 1e6, expected};
    if (!ended) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    const auto delivered = std::count_if(lines.cbegin(), lines.cend(),
                                         [](const QByteArray &l) { return l.startsWith("delivered: "); });
    run.failures = expected - static_cast<int>(delivered);
    if (process.exitCode() != (run.failures == 0 ? 0 : 1) || !AllReceived(receiver, before, expected))
        run.failures = std::max(run.failures, 1);
    return run;
}

Run RunLoop(const std::vector<quint16> &ports, const QByteArray &payload, bool confirmed,
            const bench::EpollReceiver &receiver)
{
    const int before = receiver.received();
    const qint64 start = bench::NowNs();
    int failures = 0;
    for (const quint16 port : ports)
        failures += (confirmed ? SendConfirmed(port, payload) : bench::SendOne(port, payload)) ? 0 : 1;
    // The bare loop is done once the last message has been read.
    if (!AllReceived(receiver, before, static_cast<int>(ports.size()) - failures))
        ++failures;
    return {double(bench::NowNs() - start) / 1e6, failures};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int recipients = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/quillpost");
    QTemporaryDir configHome; // an empty store: the built-in identification "Me", port 505

    bench::EpollReceiver receiver(recipients);
    QStringList arguments{QStringLiteral("--message"), QString::fromLatin1(kText)};
    for (const quint16 port : receiver.ports())
        arguments << QStringLiteral("--to") << QStringLiteral("127.0.0.1:") + QString::number(port);
    const QByteArray payload = QByteArray("Me") + '\0' + "505" + '\0' + kText;

    std::vector<double> quillpost, confirmed, bare, startup;
    int quillpostFailures = 0, confirmedFailures = 0, bareFailures = 0;
    for (int i = 0; i < runs; ++i) {
        const Run q = RunQuillpost(program, arguments, configHome.path(), recipients, receiver);
        quillpost.push_back(q.ms);
        quillpostFailures += q.failures;
        const Run c = RunLoop(receiver.ports(), payload, true, receiver);
        confirmed.push_back(c.ms);
        confirmedFailures += c.failures;
        const Run b = RunLoop(receiver.ports(), payload, false, receiver);
        bare.push_back(b.ms);
        bareFailures += b.failures;
        startup.push_back(
            RunQuillpost(program, {QStringLiteral("--version")}, configHome.path(), 0, receiver).ms);
    }

    const double reference = bench::Median(confirmed);
    std::printf("| %d recipients on 127.0.0.1, %d runs | median ms | per recipient us | failures (all runs) "
                "| ratio to the confirmed loop |\n",
                recipients, runs);
    std::printf("|---|---|---|---|---|\n");
    const auto row = [&](const char *what, const std::vector<double> &ms, int failures, bool perRecipient) {
        const double median = bench::Median(ms);
        std::printf("| %s | %.1f | %s | %d | %.2f |\n", what, median,
                    perRecipient ? QByteArray::number(median * 1000.0 / recipients, 'f', 1).constData() : "-",
                    failures, median / reference);
    };
    row("quillpost --to x N (start to exit)", quillpost, quillpostFailures, true);
    row("quillpost --version (start-up alone)", startup, 0, false);
    row("bare loop, confirmed (connect, write, shutdown, read to close)", confirmed, confirmedFailures, true);
    row("bare loop, unconfirmed (connect, write, close)", bare, bareFailures, true);
    return quillpostFailures == 0 ? 0 : 1;
}
