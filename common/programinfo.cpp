#include "programinfo.h"

#include "translation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int kUsageStatus = 2;

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

QStringList argumentList(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

QCommandLineOption translated(QCommandLineOption option)
{
    option.setDescription(
        QCoreApplication::translate("CommandLine", option.description().toUtf8().constData()));
    return option;
}

void addInfoOptions(QCommandLineParser &parser)
{
    parser.addOption(translated(kHelpOption));
    parser.addOption(translated(kVersionOption));
}

std::optional<int> answerInfoOptions(const QCommandLineParser &parser, const QString &program)
{
    if (parser.isSet(kHelpOption)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(kVersionOption)) {
        print(stdout, program + u' ' + QStringLiteral(QUILL_VERSION) + u'\n');
        return 0;
    }
    return std::nullopt;
}

int usageError(const QString &program, const QString &message)
{
    print(stderr, program + QStringLiteral(": ") + message + u'\n' +
                      QCoreApplication::translate("CommandLine", "Try '%1 --help'.").arg(program) + u'\n');
    return kUsageStatus;
}

std::optional<int> answerReceiverInfo(int argc, char *argv[])
{
    const QStringList arguments = argumentList(argc, argv);
    const QString program = QStringLiteral("quillbox");
    const QStringList asked = arguments.mid(1);
    const bool wantsInfo = std::any_of(asked.cbegin(), asked.cend(), [](const QString &a) {
        return a == u"-h" || a == u"--help" || a == u"--version";
    });
    if (!wantsInfo)
        return std::nullopt;
    // The help names the program as it was started; no display is needed.
    QCoreApplication app(argc, argv);
    installTranslations(app);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "Receives pop-up messages on the local network."));
    addInfoOptions(parser);
    parser.addOption(
        QCommandLineOption(QStringLiteral("V"),
                           QCoreApplication::translate("CommandLine", "Start with the main window hidden.")));
    if (!parser.parse(arguments))
        return usageError(program, parser.errorText());
    return answerInfoOptions(parser, program);
}
