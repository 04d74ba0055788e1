// The message history:
//  (a) what record() costs the thread that calls it (the listeners' thread in
//      the program) and how many messages a second the writer thread
//      commits, for small texts and for 64 KiB texts;
//  (b) how long the History window takes to open and show its first page
//      over 100,000 stored messages (median of several opens; target under
//      200 ms), with the first page of a few searches beside it.
// Prints a markdown table; exits 1 when (b) misses its target.
//
//   build/perf/bin/bench_history [opens]
#include "../common/benchsupport.h"

#include "historymodel.h"
#include "historywindow.h"
#include "messagehistory.h"

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>

using namespace bench;

namespace {

constexpr int kStoredMessages = 100000;
constexpr double kOpenTargetMs = 200;
constexpr int kDefaultOpens = 9;

struct RecordFigures
{
    double meanNs = 0;    // record() on the calling thread, mean
    double p99Ns = 0;     // and the 99th percentile of one call
    double perSecond = 0; // committed by the writer
    qint64 dropped = 0;
};

QString Prose(qsizetype characters, int variant)
{
    static const QStringList words =
        QStringLiteral(
            "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor incididunt ut "
            "labore "
            "et dolore magna aliqua printer meeting lunch server backup coffee report deadline build release")
            .split(u' ');
    QString text;
    text.reserve(characters + 16);
    for (int i = 0; text.size() < characters; ++i) {
        text += words[(i * 7 + variant * 13) % words.size()];
        text += i % 12 == 11 ? QStringLiteral("\r\n") : QStringLiteral(" ");
    }
    text.truncate(characters);
    return text;
}

// Records messages in rounds of `round` (each followed by flush(), so the
// queue never overflows) and times each record() call on this thread.
RecordFigures MeasureRecord(MessageHistory &history, qsizetype textSize, int total, int round)
{
    const QString text = Prose(textSize, 1);
    std::vector<double> calls;
    calls.reserve(size_t(total));
    const qint64 start = NowNs();
    for (int done = 0; done < total; done += round) {
        for (int i = 0; i < round; ++i) {
            // A text of its own per message, as messages from the network are.
            Message message{QStringLiteral("user%1").arg(i % 50), QStringLiteral("192.168.1.%1").arg(i % 200),
                            505, 505, text + QString::number(i)};
            const qint64 before = NowNs();
            history.record(message, MessageFate::Shown);
            calls.push_back(double(NowNs() - before));
        }
        if (!history.flush(kRoundTimeoutMs))
            std::fprintf(stderr, "flush timed out\n");
    }
    const double seconds = double(NowNs() - start) / 1e9;
    RecordFigures figures;
    double sum = 0;
    for (double call : calls)
        sum += call;
    figures.meanNs = sum / double(calls.size());
    figures.p99Ns = Percentile(calls, 99);
    figures.perSecond = double(total) / seconds;
    figures.dropped = history.droppedCount();
    return figures;
}

double MsSince(qint64 startNs)
{
    return double(NowNs() - startNs) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    OffscreenUnlessSet();
    QApplication app(argc, argv);
    const int opens = argc > 1 ? std::clamp(QByteArray(argv[1]).toInt(), 1, 100) : kDefaultOpens;
    QTemporaryDir folder;

    // (a)
    RecordFigures small;
    RecordFigures large;
    {
        MessageHistory history(folder.filePath(QStringLiteral("record/history.sqlite")));
        history.setLimits(0, 0);
        small = MeasureRecord(history, 100, 20000, 2000);
        large = MeasureRecord(history, 64 * 1024 - 200, 1024, 256);
    }

    // (b) 100,000 messages, then the window opened again and again.
    const QString path = folder.filePath(QStringLiteral("open/history.sqlite"));
    qint64 start = NowNs();
    {
        MessageHistory history(path);
        for (int done = 0; done < kStoredMessages; done += 10000) {
            for (int i = done; i < done + 10000; ++i) {
                history.record(Message{QStringLiteral("user%1").arg(i % 50),
                                       QStringLiteral("10.1.%1.%2").arg(i / 250 % 250).arg(i % 250), 505,
                                       i % 3 ? 505 : -1, Prose(60 + i % 400, i)},
                               i % 5 ? MessageFate::Read : MessageFate::UnreadAtClose);
            }
            history.flush(kRoundTimeoutMs);
        }
    }
    const double fillSeconds = double(NowNs() - start) / 1e9;

    std::vector<double> historyOpen;
    std::vector<double> windowOpen;
    for (int round = 0; round < opens; ++round) {
        start = NowNs();
        MessageHistory history(path);
        historyOpen.push_back(MsSince(start));
        start = NowNs();
        {
            HistoryWindow window(history);
            window.show();
            QCoreApplication::processEvents();
            window.repaint();
            windowOpen.push_back(MsSince(start));
            if (window.model()->rowCount() == 0 || window.model()->rowCount() >= kStoredMessages) {
                std::fprintf(stderr, "the first page holds %d rows\n", window.model()->rowCount());
                return 1;
            }
        }
    }
    // The reference: the same window over an empty history.
    std::vector<double> emptyOpen;
    {
        MessageHistory empty(folder.filePath(QStringLiteral("empty/history.sqlite")));
        for (int round = 0; round < opens; ++round) {
            start = NowNs();
            HistoryWindow window(empty);
            window.show();
            QCoreApplication::processEvents();
            window.repaint();
            emptyOpen.push_back(MsSince(start));
        }
    }
    std::vector<std::pair<QString, double>> searches;
    {
        MessageHistory history(path);
        for (const QString &search : {QStringLiteral("l"), QStringLiteral("lo"), QStringLiteral("printer"),
                                      QStringLiteral("coffee dead"), QStringLiteral("nomatch")}) {
            std::vector<double> times;
            for (int round = 0; round < opens; ++round) {
                start = NowNs();
                history.page(search, 0, HistoryModel::kPageSize);
                times.push_back(MsSince(start));
            }
            searches.emplace_back(search, Median(times));
        }
    }

    std::printf("| record() | 100-character texts | 64 KiB texts |\n|---|---|---|\n");
    std::printf("| on the calling thread, mean | %.2f µs | %.2f µs |\n", small.meanNs / 1e3,
                large.meanNs / 1e3);
    std::printf("| on the calling thread, 99th percentile | %.2f µs | %.2f µs |\n", small.p99Ns / 1e3,
                large.p99Ns / 1e3);
    std::printf("| committed by the writer | %.0f messages/s | %.0f messages/s |\n", small.perSecond,
                large.perSecond);
    std::printf("| dropped | %lld | %lld |\n\n", qlonglong(small.dropped), qlonglong(large.dropped));

    const double median = Median(windowOpen);
    std::printf("| %d messages stored (filled in %.1f s) | median | slowest |\n|---|---|---|\n",
                kStoredMessages, fillSeconds);
    std::printf("| History window opened, first page shown (target < %.0f ms) | %.1f ms | %.1f ms |\n",
                kOpenTargetMs, median, *std::max_element(windowOpen.begin(), windowOpen.end()));
    std::printf("| the same over an empty history (reference) | %.1f ms | ratio %.2f |\n", Median(emptyOpen),
                Median(emptyOpen) > 0 ? median / Median(emptyOpen) : 0.0);
    std::printf("| history opened (MessageHistory made) | %.1f ms | %.1f ms |\n", Median(historyOpen),
                *std::max_element(historyOpen.begin(), historyOpen.end()));
    for (const auto &[search, ms] : searches)
        std::printf("| first page of the search \"%s\" | %.1f ms | |\n", qPrintable(search), ms);
    return median < kOpenTargetMs ? 0 : 1;
}
