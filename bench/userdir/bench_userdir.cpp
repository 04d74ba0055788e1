// Opening, sorting and applying the user-list editor with 10,000 users,
// against filling a bare tree widget with the same rows in the same run.
// Prints the median of several runs of each and its ratio to that reference;
// exits with 1 when one of them takes a second or more.
//
//   build/<folder>/bin/bench_userdir [users] [runs]

#include "sendersettings.h"
#include "settingsstore.h"
#include "userlisteditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kDefaultUsers = 10000;
constexpr int kDefaultRuns = 7;
constexpr double kBudgetMs = 1000.0; // a user waits for the window, not for a second

UserList MakeUsers(int count)
{
    // Names and ports in no order, so that sorting has work to do.
    QRandomGenerator random(20261206);
    UserList users;
    for (int i = 0; i < count; ++i) {
        const quint32 n = random.bounded(1000000u);
        users.append({QStringLiteral("User %1").arg(n, 6, 10, QLatin1Char('0')),
                      QStringLiteral("10.%1.%2.%3").arg(n % 250).arg((n / 250) % 250).arg(i % 250),
                      static_cast<qint32>(random.bounded(65536u)), 0});
    }
    return users;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs setup (untimed) and then step (timed) runs times; the median in ms.
// A first round is not counted, so that no step pays for the first window,
// font and style of the process.
double Measure(int runs, const std::function<void()> &setup, const std::function<void()> &step,
               const std::function<void()> &teardown)
{
    std::vector<double> times;
    for (int run = 0; run <= runs; ++run) {
        setup();
        QElapsedTimer timer;
        timer.start();
        step();
        QCoreApplication::processEvents(); // layout and paint of what changed
        if (run > 0)
            times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        teardown();
    }
    return Median(times);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int users = argc > 1 ? std::max(1, atoi(argv[1])) : kDefaultUsers;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : kDefaultRuns;

    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(QStringLiteral("Quillpost.ini")));
    SenderSettings settings;
    settings.userList = MakeUsers(users);

    // The reference: the same rows put into a bare tree widget and shown.
    std::unique_ptr<QTreeWidget> bare;
    const double reference = Measure(
        runs, [] {},
        [&] {
            bare = std::make_unique<QTreeWidget>();
            bare->setColumnCount(3);
            QList<QTreeWidgetItem *> rows;
            rows.reserve(users);
            for (int n = 1; n <= settings.userList.count(); ++n) {
                const UserRecord &user = settings.userList.at(n);
                rows.append(new QTreeWidgetItem(QStringList{user.name, user.ip, QString::number(user.port)}));
            }
            bare->addTopLevelItems(rows);
            bare->show();
        },
        [&] { bare.reset(); });

    std::unique_ptr<UserListEditor> editor;
    const auto openEditor = [&] {
        editor = std::make_unique<UserListEditor>(settings, store, nullptr);
        editor->show();
    };
    const auto closeEditor = [&] { editor.reset(); };

    const double open = Measure(
        runs, [] {}, openEditor, closeEditor);
    const double sortByName = Measure(
        runs, openEditor, [&] { editor->onColumnClicked(0); }, closeEditor);
    const double sortByPortTwice = Measure(
        runs, openEditor,
        [&] {
            editor->onColumnClicked(2);
            editor->onColumnClicked(2);
        },
        closeEditor);
    const UserList original = settings.userList;
    const double apply = Measure(
        runs, openEditor, [&] { editor->onApplyClicked(); },
        [&] {
            closeEditor();
            settings.userList = original;
        });

    std::printf("user-list editor, %d users, median of %d runs\n", users, runs);
    std::printf("  %-28s %9.1f ms\n", "reference (bare tree widget)", reference);
    bool withinBudget = true;
    const auto report = [&](const char *what, double ms) {
        std::printf("  %-28s %9.1f ms  %5.2f x reference\n", what, ms, ms / reference);
        withinBudget = withinBudget && ms < kBudgetMs;
    };
    report("open", open);
    report("sort by name", sortByName);
    report("sort by port, both ways", sortByPortTwice);
    report("apply", apply);
    std::printf("%s\n", withinBudget ? "all within 1 s" : "OVER BUDGET: one step took 1 s or more");
    return withinBudget ? 0 : 1;
}
