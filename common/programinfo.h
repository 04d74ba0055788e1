#pragma once

#include <QCommandLineOption>
#include <QString>
#include <QStringList>
#include <optional>

class QCommandLineParser;

// --help and --version, the same way in both programs. -v is left alone: to
// Quillbox, -V in any letter case means "start hidden".
inline const QCommandLineOption
    kHelpOption({QStringLiteral("h"), QStringLiteral("help")},
                QStringLiteral(QT_TRANSLATE_NOOP("CommandLine", "Show this help and end.")));
inline const QCommandLineOption
    kVersionOption(QStringLiteral("version"),
                   QStringLiteral(QT_TRANSLATE_NOOP("CommandLine", "Show the version and end.")));

// The option with its description in the user's language.
QCommandLineOption translated(QCommandLineOption option);

void addInfoOptions(QCommandLineParser &parser);
// After a successful parse: prints the help or the version and gives the
// exit status 0 when one was asked for.
std::optional<int> answerInfoOptions(const QCommandLineParser &parser, const QString &program);
// Prints a usage error and the hint to --help; gives the usage exit status.
int usageError(const QString &program, const QString &message);

// Quillbox: answers --help and --version; nullopt for every other command
// line, which the program reads as before ("-V" starts hidden).
std::optional<int> answerReceiverInfo(int argc, char *argv[]);
