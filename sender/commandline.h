#pragma once

#include <QStringList>
#include <optional>

// Quillpost from a terminal or a script:
//   quillpost --to RECIPIENT [--to ...] [--from NAME] [--reply-port N] [--message TEXT]
// sends without a window or a display and prints one line per recipient;
// --help and --version print and end.

// Exit statuses of a send from the command line.
constexpr int kExitAllDelivered = 0;
constexpr int kExitNotAllDelivered = 1;
constexpr int kExitUsage = 2;

// Whether the arguments (without the program name) ask for the command line
// rather than the window: -h, or any long option (two dashes) but Qt's own,
// so that a mistyped option is a usage error also without a display.
// Anything else, Qt's own options included, is left to the window.
bool isSenderCommandLine(const QStringList &arguments);

// The exit status when the command line is Quillpost's own; nullopt when the
// program should start its window instead. Reads the stored settings from a
// copy: it never writes the store and never takes the single-instance lock.
std::optional<int> runSenderCommandLine(int argc, char *argv[]);
