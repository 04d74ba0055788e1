// Delivery latency: from the start of a send (connect, one write, close on
// loopback, as the sending program does) to the message window being shown
// (MessageWindow visible, then painted), in a real Quillbox (offscreen). The
// yardsticks, measured in the same run: the same send to a bare epoll
// receiver's read completion (on the same thread), and to a bare QTcpServer on the same event
// loop that only reads. Prints median and 99th percentile.
//
//   build/<folder>/bin/bench_latency [samples] [payload bytes]
#include "../common/benchsupport.h"
#include "messagerouter.h"
#include "messagewindow.h"
#include "wireformat.h"

#include <QApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>

using namespace bench;

namespace {

constexpr int kDefaultSamples = 300;
// Left out of the figures: the first sends warm caches and allocators.
constexpr int kWarmUp = 20;
// One sample that takes longer than this counts as lost.
constexpr int kSampleTimeoutMs = 5000;

// Notes when a message window is first shown and first painted.
class WindowWatch : public QObject
{
public:
    qint64 shownNs = 0;
    qint64 paintedNs = 0;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (qobject_cast<MessageWindow *>(object)) {
            if (event->type() == QEvent::Show && shownNs == 0)
                shownNs = NowNs();
            else if (event->type() == QEvent::Paint && paintedNs == 0)
                paintedNs = NowNs();
        }
        return false;
    }
};

// The lowest yardstick: accept and read to the end with epoll on the calling
// thread, so no thread has to be woken.
class InlineReceiver
{
public:
    InlineReceiver()
    {
        m_listen = ListenOnLoopback(0, m_port);
        m_epoll = ::epoll_create1(0);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = m_listen;
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listen, &event);
    }
    ~InlineReceiver()
    {
        ::close(m_epoll);
        ::close(m_listen);
    }
    InlineReceiver(const InlineReceiver &) = delete;
    InlineReceiver &operator=(const InlineReceiver &) = delete;
    quint16 port() const { return m_port; }

    // Takes one sender and reads it to the end; NowNs() then, or 0.
    qint64 receiveOne()
    {
        epoll_event ready{};
        if (::epoll_wait(m_epoll, &ready, 1, kSampleTimeoutMs) != 1)
            return 0;
        const int client = ::accept(m_listen, nullptr, nullptr);
        if (client < 0)
            return 0;
        char buffer[65536];
        while (::read(client, buffer, sizeof buffer) > 0) {
        }
        ::close(client);
        return NowNs();
    }

private:
    int m_listen = -1;
    int m_epoll = -1;
    quint16 m_port = 0;
};

struct Figures
{
    std::vector<double> quillboxShown, quillboxPainted, epoll, bareQt;
    int lost = 0;
};

void Keep(std::vector<double> &values, int sample, qint64 startNs, qint64 endNs)
{
    if (sample >= kWarmUp)
        values.push_back(static_cast<double>(endNs - startNs) / 1000.0);
}

// Long enough for Quillbox's idle work after a sample.
constexpr int kSettleMs = 3;

} // namespace

int main(int argc, char **argv)
{
    OffscreenUnlessSet();
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int samples = (args.size() > 1 ? std::max(1, args[1].toInt()) : kDefaultSamples) + kWarmUp;
    const qsizetype bytes =
        args.size() > 2 ? std::clamp<qsizetype>(args[2].toLongLong(), 16, kMaxPayloadBytes) : 64;
    const QByteArray payload = Payload("latency", bytes);

    Quillbox quillbox;
    WindowWatch watch;
    app.installEventFilter(&watch);
    InlineReceiver epoll;
    BareQtReceiver bare;
    Figures figures;
    for (int sample = 0; sample < samples; ++sample) {
        // Interleaved, so that drift of the machine touches all alike.
        qint64 start = NowNs();
        SendOne(epoll.port(), payload);
        if (const qint64 done = epoll.receiveOne())
            Keep(figures.epoll, sample, start, done);
        else
            ++figures.lost;

        bare.doneNs = 0;
        start = NowNs();
        SendOne(bare.port(), payload);
        if (SpinUntil([&] { return bare.doneNs != 0; }, kSampleTimeoutMs))
            Keep(figures.bareQt, sample, start, bare.doneNs);
        else
            ++figures.lost;

        watch.shownNs = watch.paintedNs = 0;
        start = NowNs();
        SendOne(quillbox.port(), payload);
        if (SpinUntil([&] { return watch.shownNs != 0 && watch.paintedNs != 0; }, kSampleTimeoutMs)) {
            Keep(figures.quillboxShown, sample, start, watch.shownNs);
            Keep(figures.quillboxPainted, sample, start, watch.paintedNs);
        } else {
            ++figures.lost;
        }
        // The next message opens a new window again. Quillbox's own idle
        // work (building the next window ahead, deferred deletions) is done
        // before the next sample, so that it does not land in the time of
        // the receivers that share this event loop.
        quillbox.form->router().closeAllWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SpinUntil([&] { return quillbox.form->intake().spareWindow() != nullptr; }, kSampleTimeoutMs);
        for (QElapsedTimer settle; !settle.isValid() || settle.elapsed() < kSettleMs;) {
            if (!settle.isValid())
                settle.start();
            QCoreApplication::processEvents();
        }
    }
    app.removeEventFilter(&watch);

    const double reference = Median(figures.epoll);
    const double bareMedian = Median(figures.bareQt);
    std::printf("| receiver | median (µs) | 99th percentile (µs) | median / epoll | median / bare Qt |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    auto row = [reference, bareMedian](const char *name, const std::vector<double> &values) {
        std::printf("| %s | %.0f | %.0f | %.1f | %.1f |\n", name, Median(values), Percentile(values, 99),
                    reference > 0 ? Median(values) / reference : 0.0,
                    bareMedian > 0 ? Median(values) / bareMedian : 0.0);
    };
    row("quillbox, message window shown", figures.quillboxShown);
    row("quillbox, message window painted", figures.quillboxPainted);
    row("bare QTcpServer, read complete", figures.bareQt);
    row("epoll, read complete", figures.epoll);
    std::printf("\n%d samples each after %d warm-up sends, %lld-byte payload, lost: %d\n", samples - kWarmUp,
                kWarmUp, static_cast<long long>(bytes), figures.lost);
    return figures.lost == 0 ? 0 : 1;
}
