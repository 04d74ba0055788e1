#include "commandline.h"

#include "conversions.h"
#include "fieldchecks.h"
#include "messagefanout.h"
#include "presencebrowser.h"
#include "programinfo.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "shownname.h"
#include "translation.h"
#include "wireformat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

const QString kProgram = QStringLiteral("quillpost");

const QCommandLineOption
    kTo(QStringLiteral("to"),
        QStringLiteral(QT_TRANSLATE_NOOP("CommandLine",
                                         "Send to a user or a group of the user list, a person online "
                                         "by name, or an address: IPV4[:PORT], [IPV6][:PORT] or "
                                         "HOST:PORT (the default port when none is given). "
                                         "May be given several times.")),
        QStringLiteral("RECIPIENT"));
const QCommandLineOption kFrom(
    QStringLiteral("from"),
    QStringLiteral(QT_TRANSLATE_NOOP("CommandLine", "The sender name shown to the recipients (default: your "
                                                    "identification).")),
    QStringLiteral("NAME"));
const QCommandLineOption kReplyPort(
    QStringLiteral("reply-port"),
    QStringLiteral(QT_TRANSLATE_NOOP("CommandLine", "The port on which your Quillbox takes replies (default: "
                                                    "your identification).")),
    QStringLiteral("N"));
const QCommandLineOption
    kMessage(QStringLiteral("message"),
             QStringLiteral(QT_TRANSLATE_NOOP("CommandLine", "The text to send (default: standard input).")),
             QStringLiteral("TEXT"));
const QCommandLineOption kList(
    QStringLiteral("list"),
    QStringLiteral(QT_TRANSLATE_NOOP("CommandLine",
                                     "Print the people online (name, address, port, id), one a line.")));
const QCommandLineOption
    kWait(QStringLiteral("wait"),
          QStringLiteral(QT_TRANSLATE_NOOP("CommandLine",
                                           "How long to look for people online (--list, or --to with a "
                                           "name not in the user list), in seconds (default 2).")),
          QStringLiteral("SECONDS"));
const QCommandLineOption kRequireEncryption(
    QStringLiteral("require-encryption"),
    QStringLiteral(QT_TRANSLATE_NOOP("CommandLine", "Send only encrypted: a recipient without a key gets "
                                                    "nothing and counts as failed (exit status 1).")));
constexpr int kDefaultWaitSeconds = 2;
constexpr int kMaxWaitSeconds = 60;

QList<QCommandLineOption> sendOptions()
{
    return {translated(kTo),   translated(kFrom), translated(kReplyPort),        translated(kMessage),
            translated(kList), translated(kWait), translated(kRequireEncryption)};
}

// The stored settings as they are, read from a copy so that nothing the
// loader does can reach the real file.
SenderSettings storedSettings()
{
    const QString stored =
        QSettings(QSettings::IniFormat, QSettings::UserScope, kSenderStoreName, kSenderStoreName).fileName();
    SenderSettings settings;
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("copy.ini"));
    if (!folder.isValid() || !QFile::copy(stored, copy))
        return settings; // no store yet: the built-in values
    SettingsStore store = SettingsStore::atPath(copy);
    loadSenderSettings(store, settings);
    return settings;
}

// Standard input, at most one byte more than a payload may hold, so an
// endless stream ends the reading too. Line breaks at the end are dropped,
// as a shell does with the output of a command.
QString standardInput(bool &tooLong)
{
    QFile input;
    QByteArray bytes;
    if (input.open(stdin, QIODevice::ReadOnly))
        bytes = input.read(kMaxPayloadBytes + 1);
    tooLong = bytes.size() > kMaxPayloadBytes;
    QString text = QString::fromLocal8Bit(bytes);
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    return text;
}

void printLine(const QString &line)
{
    std::fputs((line + u'\n').toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

// Sends payload to recipients and prints one line each, in their order, each
// as soon as it and those before it are done; exits with the status.
void startFanout(MessageFanout &fanout, const QList<Recipient> &recipients, const QByteArray &payload,
                 const QByteArray &encryptedPayload)
{
    struct Progress
    {
        QList<bool> done;
        qsizetype printed = 0;
    };
    const auto progress = std::make_shared<Progress>(Progress{QList<bool>(recipients.size(), false)});
    QObject::connect(&fanout, &MessageFanout::recipientFinished, &fanout, [&fanout, progress](int index) {
        progress->done[index] = true;
        for (; progress->printed < progress->done.size() && progress->done.at(progress->printed);
             ++progress->printed)
            printLine(resultLine(fanout.results().at(progress->printed)));
    });
    QObject::connect(&fanout, &MessageFanout::finished, &fanout, [&fanout] {
        QCoreApplication::exit(allDelivered(fanout.results()) ? kExitAllDelivered : kExitNotAllDelivered);
    });
    fanout.start(recipients, payload, encryptedPayload);
}

// "name<TAB>address<TAB>port<TAB>id", the name as a window shows it.
QString personLine(const PresencePerson &person)
{
    return shownName(person.record.name) + u'\t' + person.address + u'\t' + QString::number(person.port) +
           u'\t' + person.record.id;
}

// Browses for people online until done() says so or the wait is over, then
// calls then() from the event loop.
void browsePeople(PresenceBrowser &browser, int seconds, const std::function<bool()> &done,
                  const std::function<void()> &then)
{
    auto *deadline = new QTimer(&browser);
    deadline->setSingleShot(true);
    auto finish = [deadline, then] {
        if (!deadline->isActive())
            return;
        deadline->stop();
        QTimer::singleShot(0, deadline, then);
    };
    QObject::connect(deadline, &QTimer::timeout, deadline, then);
    QObject::connect(&browser, &PresenceBrowser::changed, deadline, [done, finish] {
        if (done())
            finish();
    });
    QObject::connect(&browser, &PresenceBrowser::unavailable, deadline, finish);
    deadline->start(seconds * 1000);
    browser.start();
}

int listPeople(int seconds)
{
    PresenceBrowser browser(QDBusConnection::systemBus());
    bool unavailable = false;
    QObject::connect(&browser, &PresenceBrowser::unavailable, &browser,
                     [&unavailable] { unavailable = true; });
    browsePeople(
        browser, seconds, [] { return false; },
        [&browser] {
            for (const PresencePerson &person : browser.people())
                printLine(personLine(person));
            QCoreApplication::exit(kExitAllDelivered);
        });
    const int status = QCoreApplication::exec();
    if (unavailable)
        std::fputs("quillpost: no one can be listed: the Avahi daemon does not answer on the system bus\n",
                   stderr);
    return status;
}

int send(const QCommandLineParser &parser)
{
    if (!parser.positionalArguments().isEmpty())
        return usageError(kProgram, QCoreApplication::translate("CommandLine", "unexpected argument \"%1\"")
                                        .arg(parser.positionalArguments().first()));
    int waitSeconds = kDefaultWaitSeconds;
    if (parser.isSet(kWait)) {
        const std::optional<qint32> seconds = plainNumber(parser.value(kWait), kMaxWaitSeconds);
        if (!seconds)
            return usageError(kProgram, QCoreApplication::translate(
                                            "CommandLine", "--wait: 0 to %1 seconds in decimal digits")
                                            .arg(kMaxWaitSeconds));
        waitSeconds = *seconds;
    }
    if (parser.isSet(kList))
        return listPeople(waitSeconds);
    if (!parser.isSet(kTo))
        return usageError(kProgram,
                          QCoreApplication::translate("CommandLine", "no recipient: give at least one --to"));

    for (const QCommandLineOption &option : {kFrom, kReplyPort, kMessage}) {
        if (parser.values(option).size() > 1)
            return usageError(kProgram,
                              QCoreApplication::translate("CommandLine", "--%1 may be given only once")
                                  .arg(option.names().first()));
    }

    SenderSettings settings = storedSettings();
    QString name = settings.myUserName;
    if (parser.isSet(kFrom) && !isValidUserName(parser.value(kFrom), name))
        return usageError(kProgram, QCoreApplication::translate(
                                        "CommandLine", "--from: the name must be 1 to %1 characters long")
                                        .arg(kMaxUserNameLength));
    // 0 is taken, as the identification takes it: the recipients cannot reply.
    qint32 replyPort = settings.myReplyPort;
    if (parser.isSet(kReplyPort)) {
        const std::optional<qint32> port = plainNumber(parser.value(kReplyPort), kMaxPort);
        if (!port)
            return usageError(
                kProgram,
                QCoreApplication::translate(
                    "CommandLine", "--reply-port: not a port number (0 to 65535 in decimal digits)"));
        replyPort = *port;
    }

    bool tooLong = false;
    const QString text = parser.isSet(kMessage) ? parser.value(kMessage) : standardInput(tooLong);
    const QByteArray payload = composeMessage(name, replyPort, text);
    const QByteArray encryptedPayload = composeMessage(name, replyPort, text, true);
    if (tooLong || payload.size() > kMaxPayloadBytes || encryptedPayload.size() > kMaxPayloadBytes)
        return usageError(kProgram, QCoreApplication::translate(
                                        "CommandLine", "the message is too long to send (at most %1 bytes)")
                                        .arg(kMaxPayloadBytes));

    // Words that name nobody in the list are looked for among the people
    // online first; the send starts once each is found or the wait is over.
    const QStringList words = parser.values(kTo);
    QStringList unknown;
    for (const QString &word : words) {
        if (!RecipientSet(settings).addWord(word))
            unknown.append(word);
    }
    // The system bus is asked only when someone is to be looked for.
    std::optional<PresenceBrowser> browser;
    if (!unknown.isEmpty())
        browser.emplace(QDBusConnection::systemBus());
    MessageFanout fanout;
    fanout.setRequireEncryption(parser.isSet(kRequireEncryption));
    auto sendAll = [&] {
        RecipientSet recipients(settings);
        for (const QString &word : words) {
            if (recipients.addWord(word))
                continue;
            const QList<PresencePerson> people =
                browser ? browser->peopleNamed(word) : QList<PresencePerson>();
            if (people.size() != 1) {
                QCoreApplication::exit(usageError(
                    kProgram, (people.isEmpty()
                                   ? QCoreApplication::translate(
                                         "CommandLine",
                                         "unknown recipient \"%1\": not a user or group of the list, nor a "
                                         "person online, nor IPV4[:PORT], [IPV6][:PORT] or HOST:PORT (PORT 1 "
                                         "to 65535 in decimal digits)")
                                   : QCoreApplication::translate(
                                         "CommandLine",
                                         "unknown recipient \"%1\": several people online have that name; "
                                         "give their address"))
                                  .arg(word)));
                return;
            }
            recipients.addPerson(people.first());
        }
        if (recipients.recipients().isEmpty()) {
            QCoreApplication::exit(
                usageError(kProgram, QCoreApplication::translate(
                                         "CommandLine", "no recipient: the groups given have no members")));
            return;
        }
        startFanout(fanout, recipients.recipients(), payload, encryptedPayload);
    };
    if (unknown.isEmpty()) {
        QTimer::singleShot(0, &fanout, sendAll);
    } else {
        browsePeople(
            *browser, waitSeconds,
            [&browser, &unknown] {
                return std::all_of(unknown.cbegin(), unknown.cend(), [&browser](const QString &word) {
                    return !browser->peopleNamed(word).isEmpty();
                });
            },
            sendAll);
    }
    return QCoreApplication::exec();
}

} // namespace

bool isSenderCommandLine(const QStringList &arguments)
{
    // Qt's own options, which it also takes with two dashes; any other long
    // option is a mistyped one of ours, reported as a usage error rather
    // than opening the window (which needs a display).
    static const QStringList qtOptions{QStringLiteral("platform"),      QStringLiteral("platformpluginpath"),
                                       QStringLiteral("platformtheme"), QStringLiteral("plugin"),
                                       QStringLiteral("qmljsdebugger"), QStringLiteral("qwindowgeometry"),
                                       QStringLiteral("qwindowicon"),   QStringLiteral("qwindowtitle"),
                                       QStringLiteral("reverse"),       QStringLiteral("session"),
                                       QStringLiteral("display"),       QStringLiteral("geometry"),
                                       QStringLiteral("style"),         QStringLiteral("stylesheet"),
                                       QStringLiteral("widgetcount")};
    return std::any_of(arguments.cbegin(), arguments.cend(), [](const QString &argument) {
        if (argument == u"-h")
            return true;
        if (!argument.startsWith(u"--") || argument.size() == 2)
            return false;
        return !qtOptions.contains(argument.mid(2).section(u'=', 0, 0));
    });
}

std::optional<int> runSenderCommandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!isSenderCommandLine(arguments.mid(1)))
        return std::nullopt;

    QCoreApplication app(argc, argv);
    installTranslations(app);
    QCoreApplication::setApplicationName(kSenderStoreName);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "CommandLine", "Sends a pop-up message to people on the local network. Without options it opens "
                       "its window.\nExit status: 0 when every recipient confirmed the message, 1 when "
                       "any did not, 2 for a usage error."));
    addInfoOptions(parser);
    parser.addOptions(sendOptions());
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(kProgram, parser.errorText());
    if (const std::optional<int> answered = answerInfoOptions(parser, kProgram))
        return answered;
    return send(parser);
}
