// Memory of the settings window: resident size at idle, with the window open on every tab, and
// after it was closed, over several openings. "-warm true" paints a menu and a label before
// the idle figure is taken, as the tray menu and the pill do in the running application, so
// that the libraries' code and the fonts any painting maps are part of idle.
//
// With "-showSettings true" (and "-settingsTab N") it only opens the window over the sample
// data and stays, for a look or a screenshot; "-grab FILE" then writes the window's picture to
// FILE and quits. Prints its figures; never fails.

#include "settings/SettingsFixture.h"
#include "settings/SettingsView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTabWidget>

#include <cstdio>

using namespace quillet;
using namespace quillet::test;

namespace {

// A line of /proc/self/status in MB, e.g. "VmRSS:", "RssAnon:", "RssFile:".
double statusMB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

void printResident(const char* when)
{
    std::printf("%-34s %6.1f MB (anonymous %5.1f, files %5.1f)\n", when, statusMB("VmRSS:"),
                statusMB("RssAnon:"), statusMB("RssFile:"));
}

// Lets time pass and posted events, deferred deletions included, run.
void settle(ManualClock& clock)
{
    for (int i = 0; i < 5; ++i) {
        clock.advance(1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// What a user of some weeks has: words, rules, the application table, a full history.
void sampleData(SettingsFixture& f)
{
    for (const char* word : {"Kubernetes", "OpenAI", "Quillet", "Dana", "GitHub", "PostgreSQL"})
        (void)f.store.addTerm(QString::fromLatin1(word));
    (void)f.store.addReplacement("cuba netties", "Kubernetes");
    (void)f.store.addReplacement("get hub", "GitHub");
    (void)f.store.setPerApp(true);
    const QStringList modes{"quillet", "code", "chat", "write"};
    const QStringList apps{"Firefox", "Slack", "Text Editor", "Terminal", ""};
    for (int i = 499; i >= 0; --i) { // oldest first: the store puts each addition on top
        const QString app = apps[i % apps.size()];
        (void)f.store.addEntry(Entry{QUuid::createUuid(),
                                     f.clock.now().addSecs(-3600 * i),
                                     {},
                                     QStringLiteral("Dictation %1: move the quarterly numbers "
                                                    "into the shared sheet and remind Dana about "
                                                    "Thursday's review at three.")
                                         .arg(i),
                                     modes[i % modes.size()],
                                     app.isEmpty() ? std::nullopt : std::optional(app)});
    }
    f.desk.workspace.running = {{"firefox", "Firefox"}, {"org.gnome.TextEditor", "Text Editor"}};
}

} // namespace

int main(int argc, char** argv)
{
    // Run from a plain terminal (as the benchmarks are), there may be no display at all.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    const auto domain = Preferences::takeArgumentDomain(args);

    SettingsFixture f;
    for (auto it = domain.cbegin(); it != domain.cend(); ++it)
        f.prefs.setArgument(it.key(), it.value());
    sampleData(f);
    settle(f.clock);

    if (f.prefs.showSettings()) {
        f.window->show();
        const QString grab = domain.value(QStringLiteral("grab"));
        if (grab.isEmpty())
            return app.exec();
        settle(f.clock);
        return f.window->view()->grab().save(grab) ? 0 : 1;
    }

    if (domain.value(QStringLiteral("warm")) == u"true") {
        QMenu menu;
        menu.addAction(QStringLiteral("Settings…"));
        QLabel pill(QStringLiteral("hello world"));
        menu.show();
        pill.show();
        settle(f.clock);
        menu.hide();
        pill.hide();
        settle(f.clock);
    }
    printResident("idle");
    const double idle = statusMB("VmRSS:");
    for (int round = 1; round <= 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        f.window->show();
        QCoreApplication::processEvents();
        const qint64 shown = timer.elapsed();
        QTabWidget* tabs = f.window->view()->tabWidget();
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            settle(f.clock);
        }
        std::printf("round %d: shown in %lld ms\n", round, shown);
        printResident("  open, every tab visited");
        f.window->close();
        settle(f.clock);
        printResident("  closed");
        std::printf("  closed, over idle                 %+6.1f MB\n", statusMB("VmRSS:") - idle);
    }
    return 0;
}
