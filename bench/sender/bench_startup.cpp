// Start-up time and memory of quillpost and quillbox against a bare Qt
// Widgets window, measured in the same run on a private virtual display: the
// time from starting the process until its main window is mapped, and the
// resident memory at that moment plus a short settling time. Prints medians
// and the ratios program / bare window.
//
// bench_startup [runs] [program folder]
#include "../common/procstatus.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
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

// Starts the program and waits for a window with the caption to be mapped.
std::optional<Sample> Measure(xcb_connection_t *connection, const QString &display, const QString &program,
                              const QString &caption, const QByteArray &quillboxStore = {})
{
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("config")));
    if (!quillboxStore.isEmpty()) {
        QDir().mkpath(home.filePath(QStringLiteral("config/Quillbox")));
        QFile store(home.filePath(QStringLiteral("config/Quillbox/Quillbox.ini")));
        if (!store.open(QIODevice::WriteOnly) || store.write(quillboxStore) != quillboxStore.size())
            return std::nullopt;
    }
    QDir().mkpath(home.filePath(QStringLiteral("runtime")));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));

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
        sample->rssKiB = ResidentKiB(QString::number(process.processId()));
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

// A free port for quillbox to listen on, so that it never needs the
// privileged default.
QByteArray QuillboxStore()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return {};
    return "[Ports]\nTestPorts=True\n1_port=" + QByteArray::number(probe.serverPort()) +
           "\n[Settings]\nPlayIncomingSound=False\n";
}

struct Program
{
    QString label;
    QString path;
    QString caption;
    bool quillbox = false;
    QList<double> start;
    QList<double> memory;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int runs = arguments.size() > 1 ? arguments.at(1).toInt() : kDefaultRuns;
    const QString folder = arguments.size() > 2 ? arguments.at(2) : QCoreApplication::applicationDirPath();
    QList<Program> programs{
        {QStringLiteral("bare window"),
         folder + QStringLiteral("/bench_barewindow"),
         QStringLiteral("Bare Window"),
         false,
         {},
         {}},
        {QStringLiteral("quillpost"),
         folder + QStringLiteral("/quillpost"),
         QStringLiteral("Send Message"),
         false,
         {},
         {}},
        {QStringLiteral("quillbox"),
         folder + QStringLiteral("/quillbox"),
         QStringLiteral("Message Receiver"),
         true,
         {},
         {}},
    };

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

    int failures = 0;
    // Interleaved, so that drift of the machine touches all alike.
    for (int i = 0; i < runs; ++i) {
        for (Program &program : programs) {
            const std::optional<Sample> sample = Measure(connection, *display, program.path, program.caption,
                                                         program.quillbox ? QuillboxStore() : QByteArray());
            if (!sample) {
                ++failures;
                continue;
            }
            program.start.append(sample->startMs);
            program.memory.append(static_cast<double>(sample->rssKiB));
        }
    }
    xcb_disconnect(connection);
    g_xvfb.terminate();
    g_xvfb.waitForFinished(kStartLimitMs);

    const double bareStart = Median(programs[0].start);
    const double bareMemory = Median(programs[0].memory);
    std::printf("| program | start to window mapped (ms) | RSS (KiB) | start / bare | RSS / bare |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (const Program &program : programs) {
        const double start = Median(program.start);
        const double memory = Median(program.memory);
        std::printf("| %s | %.1f | %.0f | %.2f | %.2f |\n", qPrintable(program.label), start, memory,
                    bareStart > 0 ? start / bareStart : 0.0, bareMemory > 0 ? memory / bareMemory : 0.0);
    }
    std::printf("\nmedians of %d starts each, failed starts: %d\n", runs, failures);
    return failures == 0 ? 0 : 1;
}
