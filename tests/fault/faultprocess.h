#pragma once
// Shared by the fault tests: the private display and program folders of the
// end-to-end tests, plus the store file of the program under test.

#include "xdisplay.h"

// Every wait on a started program is bounded by this.
constexpr int kProgramWaitMs = kXWaitMs;

// The folders of one program run, and the path of that program's store.
struct StoreFolders : ProgramFolders
{
    explicit StoreFolders(const QString &storeName)
        : store(storeName)
    {
        QDir(config()).mkpath(store);
    }
    QString ini() const { return config() + u'/' + store + u'/' + store + QStringLiteral(".ini"); }

    QString store;
};

inline QProcessEnvironment ProgramEnvironment(const XDisplay &display, const StoreFolders &folders)
{
    return folders.environment(display.name());
}
