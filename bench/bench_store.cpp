// Start-up load of a full data folder and one history addition, with the real files and atomic
// writes. Prints its figures; never fails.

#include "dbus/DBusChangeNotifier.h"
#include "store/BuiltInModes.h"
#include "store/ModeRules.h"
#include "store/Preferences.h"
#include "store/Store.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace quillet;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QString sentence(int n)
{
    return QStringLiteral("Dictation number %1: please move the quarterly numbers into the shared "
                          "sheet, flag anything over budget, and remind Dana about Thursday's "
                          "review at three.")
        .arg(n);
}

void report(const char* what, std::vector<double> ms, double target)
{
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double p90 = ms[ms.size() * 9 / 10];
    std::printf("%-44s median %7.3f ms  p90 %7.3f ms  min %7.3f ms  (n=%zu, target <= %.0f ms)\n",
                what, median, p90, ms.front(), ms.size(), target);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // An optional folder to run in (e.g. a tmpfs, to see the cost without the disk flush).
    QTemporaryDir root(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench-XXXXXX")
                                : QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    std::printf("data folder: %s\n", qPrintable(root.path()));
    const QString dir = root.filePath("Quillet");
    QDir().mkpath(dir);
    Preferences prefs(root.filePath("Quillet.conf"));
    SystemClock clock;
    // A connection that never connects: announcements cost nothing here.
    DBusChangeNotifier notifier(QDBusConnection(QStringLiteral("quillet-bench-offline")));

    // 500 history entries, 2,000 terms (and 200 replacements), ten modes.
    QList<Entry> history;
    for (int i = 0; i < 500; ++i)
        history << Entry{QUuid::createUuid(),
                         clock.now().addSecs(-60 * i),
                         sentence(i),
                         sentence(i) + QStringLiteral(" Thanks!"),
                         QStringLiteral("quillet"),
                         i % 2 ? std::optional<QString>(QStringLiteral("Firefox")) : std::nullopt};
    writeFile(dir + "/history.json", Entry::encodeList(history));
    Vocabulary vocab;
    for (int i = 0; i < 2000; ++i)
        vocab.terms << QStringLiteral("Term%1-Kubernetes").arg(i);
    for (int i = 0; i < 200; ++i)
        vocab.replacements << Replacement{QStringLiteral("from %1").arg(i),
                                          QStringLiteral("To%1").arg(i)};
    vocab.updatedAt = clock.now();
    writeFile(dir + "/vocabulary.json", vocab.encode());
    ModeSettings modes = ModeSettings::defaults();
    while (modes.styles.size() < 10) {
        Style s = newModeTemplate(modes.styles);
        s.instructions = builtInStyles().at(modes.styles.size() % 4).instructions;
        modes.styles << s;
    }
    writeFile(dir + "/modes.json", modes.encode());

    std::vector<double> load;
    QElapsedTimer t;
    bool warned = false;
    for (int i = 0; i < 60; ++i) {
        t.start();
        Store store(dir, prefs, clock, notifier);
        load.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        if (store.history().size() != 500 || store.vocab().terms.size() != 2000 ||
            store.modes().styles.size() != 10) {
            if (!warned)
                std::printf("warning: the data did not load as written\n");
            warned = true;
        }
    }
    report("start-up load (500 + 2,000 terms + 10 modes)", load, 20);

    Store store(dir, prefs, clock, notifier);
    std::vector<double> add;
    for (int i = 0; i < 200; ++i) {
        Entry e{QUuid::createUuid(),
                clock.now(),
                sentence(i),
                sentence(i),
                QStringLiteral("code"),
                QStringLiteral("Terminal")};
        t.start();
        store.addEntry(e);
        add.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    report("addEntry at 500 entries, atomic write", add, 5);

    // Where the time of one addition goes: the atomic replacement (with its flush to disk).
    const QByteArray bytes = Entry::encodeList(store.history());
    std::vector<double> write;
    for (int i = 0; i < 200; ++i) {
        t.start();
        QSaveFile file(dir + "/history-copy.json");
        if (file.open(QIODevice::WriteOnly)) {
            file.write(bytes);
            file.commit();
        }
        write.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    report("  of which: replacing the file (QSaveFile)", write, 5);
    return 0;
}
