#include "desktop/TextInserter.h"

#include "platform/FakeAccessibility.h"
#include "platform/FakePasteSender.h"
#include "platform/FakePasteboard.h"
#include "platform/FakeWorkspace.h"
#include "store/Preferences.h"
#include "util/ManualClock.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quillet;

namespace {

struct Rig {
    QTemporaryDir dir;
    Preferences prefs{dir.filePath("Quillet.conf")};
    ManualClock clock;
    FakePasteSender pasteSender;
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeAccessibility accessibility;
    TextInserter inserter{pasteSender, pasteboard, workspace, accessibility, prefs, clock};

    // What the paste put on the clipboard.
    QString paste(const QString& text)
    {
        inserter.insert(Entry{QUuid::createUuid(), clock.now(), text, text, "quillet", {}});
        return pasteboard.text();
    }
};

FrontApp app(qint64 pid)
{
    return FrontApp{"gedit", pid, "Text Editor", "notes.txt", false};
}

const PasteboardItem imageAndText{{"image/png", QByteArray("\x89PNG", 4)}, {"text/plain", "old"}};

} // namespace

class TextInserterTest : public QObject {
    Q_OBJECT
private slots:
    void leadingSpace_data()
    {
        QTest::addColumn<bool>("element");
        QTest::addColumn<CaretCharacter>("caret");
        QTest::addColumn<int>("lastPid"); // 0: no earlier insertion, -1: no front app then
        QTest::addColumn<double>("since");
        QTest::addColumn<int>("pid"); // -1: no front application now
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pasted");
        const auto none = CaretCharacter::none();
        const auto unknown = CaretCharacter::undetermined();
        const auto stop = CaretCharacter::of(".");
        QTest::newRow("caret at the start, same app a second ago")
            << true << none << 7 << 1.0 << 7 << "hello"
            << "hello";
        QTest::newRow("after a full stop") << true << stop << 0 << 0.0 << 7 << "hello"
                                           << " hello";
        QTest::newRow("after a full stop, a comma") << true << stop << 0 << 0.0 << 7 << ", then"
                                                    << ", then";
        QTest::newRow("after an opening bracket")
            << true << CaretCharacter::of("(") << 7 << 1.0 << 7 << "hello"
            << "hello";
        QTest::newRow("no caret, same app 10 s ago") << true << unknown << 7 << 10.0 << 7 << "hello"
                                                     << " hello";
        QTest::newRow("no caret, same app, a full stop")
            << true << unknown << 7 << 10.0 << 7 << ". Then"
            << ". Then";
        QTest::newRow("no element, same app 10 s ago")
            << false << unknown << 7 << 10.0 << 7 << "hello"
            << " hello";
        QTest::newRow("no front app, then or now")
            << false << unknown << -1 << 10.0 << -1 << "hello"
            << " hello";
        QTest::newRow("no caret, 300 s later") << true << unknown << 7 << 300.0 << 7 << "hello"
                                               << "hello";
        QTest::newRow("no caret, another app") << true << unknown << 8 << 10.0 << 7 << "hello"
                                               << "hello";
        QTest::newRow("no caret, no front app now") << true << unknown << 7 << 10.0 << -1 << "hello"
                                                    << "hello";
        QTest::newRow("no caret, first insertion") << true << unknown << 0 << 0.0 << 7 << "hello"
                                                   << "hello";
    }

    // The character before the caret decides; where it cannot be read, a dictation into the
    // same application within 300 s continues the previous one.
    void leadingSpace()
    {
        QFETCH(bool, element);
        QFETCH(CaretCharacter, caret);
        QFETCH(int, lastPid);
        QFETCH(double, since);
        QFETCH(int, pid);
        Rig rig;
        if (lastPid != 0) {
            rig.workspace.front = lastPid > 0 ? std::optional(app(lastPid)) : std::nullopt;
            rig.paste("earlier");
            rig.clock.advance(since);
        }
        rig.workspace.front = pid > 0 ? std::optional(app(pid)) : std::nullopt;
        rig.accessibility.focused =
            element ? std::make_shared<FakeElement>("field", caret) : nullptr;
        QFETCH(QString, text);
        QTEST(rig.paste(text), "pasted");
        QCOMPARE(rig.pasteSender.chords.size(), lastPid != 0 ? 2 : 1);
        QCOMPARE(rig.inserter.lastInsert()->at, rig.clock.uptime());
    }

    void restore_data()
    {
        QTest::addColumn<QList<PasteboardItem>>("before");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<bool>("copiedMeanwhile");
        QTest::addColumn<bool>("restored");
        QTest::newRow("image and text")
            << QList<PasteboardItem>{imageAndText} << true << false << true;
        QTest::newRow("copied meanwhile")
            << QList<PasteboardItem>{imageAndText} << true << true << false;
        QTest::newRow("empty before") << QList<PasteboardItem>() << true << false << false;
        QTest::newRow("unreadable field")
            << QList<PasteboardItem>{imageAndText} << false << false << false;
    }

    // The previous clipboard comes back 0.8 s after a paste into a field that could be read,
    // unless someone copied meanwhile or there was nothing to put back. The dictated text is
    // marked transient only when it is going away again.
    void restore()
    {
        QFETCH(QList<PasteboardItem>, before);
        QFETCH(bool, readable);
        QFETCH(bool, copiedMeanwhile);
        QFETCH(bool, restored);
        Rig rig;
        rig.pasteboard.contents = before;
        rig.accessibility.focused = std::make_shared<FakeElement>(
            readable ? std::optional<QString>("field") : std::nullopt);
        QCOMPARE(rig.paste("dictated"), "dictated");
        QCOMPARE(rig.pasteboard.isTransient(), readable);
        const QList<PasteboardItem> elsewhere{{{"text/plain", "theirs"}}};
        if (copiedMeanwhile)
            rig.pasteboard.copyElsewhere(elsewhere);
        rig.clock.advance(0.79);
        QCOMPARE(rig.pasteboard.text(), copiedMeanwhile ? "theirs" : "dictated");
        rig.clock.advance(0.01);
        if (restored)
            QCOMPARE(rig.pasteboard.contents, before);
        else
            QCOMPARE(rig.pasteboard.text(), copiedMeanwhile ? "theirs" : "dictated");
        QCOMPARE(rig.clock.pendingTimers(), 0);
    }

    void terminal_data()
    {
        QTest::addColumn<bool>("known");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<bool>("focusedTerminal");
        QTest::addColumn<QString>("chord");
        QTest::newRow("editor") << false << "" << false << "ctrl+v";
        QTest::newRow("known terminal") << true << "" << false << "ctrl+shift+v";
        QTest::newRow("listed by the user") << false << "GEDIT" << false << "ctrl+shift+v";
        QTest::newRow("terminal widget") << false << "" << true << "ctrl+shift+v";
    }

    // Terminals take the paste shortcut with Shift.
    void terminal()
    {
        QFETCH(bool, known);
        QFETCH(QString, listed);
        QFETCH(bool, focusedTerminal);
        Rig rig;
        rig.workspace.front = app(7);
        rig.workspace.front->terminal = known;
        if (!listed.isEmpty())
            rig.prefs.setValue("terminalApps", QStringList{listed});
        rig.accessibility.terminal = focusedTerminal;
        rig.paste("ls");
        QTEST(rig.pasteSender.chords.value(0), "chord");
    }
};

QTEST_GUILESS_MAIN(TextInserterTest)
#include "TextInserterTest.moc"
