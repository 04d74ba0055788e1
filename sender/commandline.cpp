#include "commandline.h"

#include "conversions.h"
#include "fieldchecks.h"
#include "messagefanout.h"
#include "programinfo.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "translation.h"
#include "wireformat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

const QString kProgram = QStringLiteral("quillpost");

const QCommandLineOption
    kTo(QStringLiteral("to"),
        QStringLiteral(QT_TRANSLATE_NOOP("CommandLine",
                                         "Send to a user or a group of the user list, or to HOST[:PORT] "
                                         "(an IPv4 address; the default port when none is given). "
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

QList<QCommandLineOption> sendOptions()
{
    return {translated(kTo), translated(kFrom), translated(kReplyPort), translated(kMessage)};
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

int send(const QCommandLineParser &parser)
{
    if (!parser.positionalArguments().isEmpty())
        return usageError(kProgram, QCoreApplication::translate("CommandLine", "unexpected argument \"%1\"")
                                        .arg(parser.positionalArguments().first()));
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

    RecipientSet recipients(settings);
    for (const QString &word : parser.values(kTo)) {
        if (!recipients.addWord(word))
            return usageError(
                kProgram, QCoreApplication::translate(
                              "CommandLine",
                              "unknown recipient \"%1\": not a user or group of the list, nor HOST[:PORT] "
                              "(PORT 1 to 65535 in decimal digits)")
                              .arg(word));
    }

    if (recipients.recipients().isEmpty())
        return usageError(kProgram, QCoreApplication::translate(
                                        "CommandLine", "no recipient: the groups given have no members"));

    bool tooLong = false;
    const QString text = parser.isSet(kMessage) ? parser.value(kMessage) : standardInput(tooLong);
    const QByteArray payload = composeMessage(name, replyPort, text);
    if (tooLong || payload.size() > kMaxPayloadBytes)
        return usageError(kProgram, QCoreApplication::translate(
                                        "CommandLine", "the message is too long to send (at most %1 bytes)")
                                        .arg(kMaxPayloadBytes));

    // Lines come in the order of the recipients, each as soon as it and those
    // before it are done.
    MessageFanout fanout;
    qsizetype printed = 0;
    QList<bool> done(recipients.recipients().size(), false);
    QObject::connect(&fanout, &MessageFanout::recipientFinished, &fanout, [&](int index) {
        done[index] = true;
        for (; printed < done.size() && done.at(printed); ++printed)
            printLine(resultLine(fanout.results().at(printed)));
    });
    QObject::connect(&fanout, &MessageFanout::finished, &fanout, [&fanout] {
        const bool all = allDelivered(fanout.results());
        QCoreApplication::exit(all ? kExitAllDelivered : kExitNotAllDelivered);
    });
    fanout.start(recipients.recipients(), payload);
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
