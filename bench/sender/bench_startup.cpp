// Start-up time and memory of quillpost against a bare Qt Widgets window,
// measured in the same run on a private virtual display: the time from
// starting the process until its main window is mapped, and the resident
// memory at that moment plus a short settling time. Prints medians and the
// ratio quillpost / bare window.
//
// bench_startup [runs] [quillpost] [bare_window]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <poll.h>
#include <xcb/xcb.h>

namespace {

constexpr int kDefaultRuns = 15;
// A start that takes longer than this counts as failed.
constexpr int kStartLimitMs = 20000;
// Time given after the window is up for the work a start does right after
// showing it (store writes, endpoint) before memory is read.
constexpr int kSettleMs = 300;

struct Sample
{
    double startMs = 0;
    qint64 rssKiB = 0;
};

QProcess g_xvfb;

std::optional<QString> StartDisplay()
{
    g_xvfb.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp")});
    if (!g_xvfb.waitForStarted(kStartLimitMs))
        return std::nullopt;
    QByteArray number;
    QElapsedTimer timer;
    timer.start();
    while (!number.contains('\n') && timer.elapsed() < kStartLimitMs && g_xvfb.state() == QProcess::Running) {
        g_xvfb.waitForReadyRead(500);
        number += g_xvfb.readAllStandardOutput();
    }
    if (!number.contains('\n'))
        return std::nullopt;
    return u':' + QString::fromLatin1(number.trimmed());
}

QString WindowName(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr);
    if (!reply)
        return {};
    const QString name = QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(reply)),
                                           xcb_get_property_value_length(reply));
    free(reply);
    return name;
}

qint64 ResidentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Starts the program and waits for a window with the caption to be mapped.
std::optional<Sample> Measure(xcb_connection_t *connection, const QString &display, const QString &program,
                              const QString &caption)
{
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("config")));
    QDir().mkpath(home.filePath(QStringLiteral("runtime")));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));

    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    if (!process.waitForStarted(kStartLimitMs))
        return std::nullopt;

    std::optional<Sample> sample;
    pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (!sample && timer.elapsed() < kStartLimitMs && process.state() == QProcess::Running) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && !sample) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                if (WindowName(connection, map->window) == caption)
                    sample = Sample{timer.nsecsElapsed() / 1e6, 0};
            }
            free(event);
        }
        if (!sample)
            poll(&descriptor, 1, 50);
    }
    if (sample) {
        QThread::msleep(kSettleMs);
        sample->rssKiB = ResidentKiB(process.processId());
    }
    process.terminate();
    if (!process.waitForFinished(kStartLimitMs)) {
        process.kill();
        process.waitForFinished(kStartLimitMs);
    }
    return sample;
}

double Median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    if (n == 0)
        return 0;
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int runs = arguments.size() > 1 ? arguments.at(1).toInt() : kDefaultRuns;
    const QString folder = QCoreApplication::applicationDirPath();
    const QString quillpost = arguments.size() > 2 ? arguments.at(2) : folder + QStringLiteral("/quillpost");
    const QString bare =
        arguments.size() > 3 ? arguments.at(3) : folder + QStringLiteral("/bench_barewindow");

    const std::optional<QString> display = StartDisplay();
    if (!display) {
        std::fprintf(stderr, "could not start Xvfb\n");
        return 1;
    }
    xcb_connection_t *connection = xcb_connect(display->toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "could not connect to %s\n", qPrintable(*display));
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    QList<double> startPost, startBare, memoryPost, memoryBare;
    int failures = 0;
    // Interleaved, so that drift of the machine touches both alike.
    for (int i = 0; i < runs; ++i) {
        if (const auto sample = Measure(connection, *display, bare, QStringLiteral("Bare Window"))) {
            startBare.append(sample->startMs);
            memoryBare.append(sample->rssKiB);
        } else {
            ++failures;
        }
        if (const auto sample = Measure(connection, *display, quillpost, QStringLiteral("Send Message"))) {
            startPost.append(sample->startMs);
            memoryPost.append(sample->rssKiB);
        } else {
            ++failures;
        }
    }
    xcb_disconnect(connection);
    g_xvfb.terminate();
    g_xvfb.waitForFinished(kStartLimitMs);

    const double postStart = Median(startPost), bareStart = Median(startBare);
    const double postMemory = Median(memoryPost), bareMemory = Median(memoryBare);
    std::printf("runs: %d each, failed starts: %d\n", runs, failures);
    std::printf("%-12s %14s %14s\n", "", "start (ms)", "RSS (KiB)");
    std::printf("%-12s %14.1f %14.0f\n", "quillpost", postStart, postMemory);
    std::printf("%-12s %14.1f %14.0f\n", "bare window", bareStart, bareMemory);
    std::printf("%-12s %14.2f %14.2f\n", "ratio", bareStart > 0 ? postStart / bareStart : 0.0,
                bareMemory > 0 ? postMemory / bareMemory : 0.0);
    return failures == 0 ? 0 : 1;
}
