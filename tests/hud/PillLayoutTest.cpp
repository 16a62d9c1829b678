#include "hud/PillLayout.h"

#include "hud/PillText.h"
#include "store/ModeRules.h"
#include "store/ModeSettings.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QTest>

using namespace quillet;

namespace {

using Phase = Dictation::Phase;
using Content = PillLayout::Content;

PillState pill(const QString& mode = "quillet", Phase phase = Phase::recording)
{
    PillState s;
    s.bound = true;
    s.phase = phase;
    s.mode = resolveStyle(mode, ModeSettings::defaults().styles);
    return s;
}

QList<qreal> heights(const PillLayout& layout)
{
    QList<qreal> out;
    for (const QRectF& bar : layout.bars)
        out << bar.height();
    return out;
}

} // namespace

class PillLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void shortTranscript_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const QString exact = "the quick brown fox jumps over the lazy dog!";
        QCOMPARE(exact.size(), 44);
        QTest::newRow("44 shown whole") << exact << exact;
        QTest::newRow("45 from the first space")
            << "A" + exact << "…quick brown fox jumps over the lazy dog!";
        QTest::newRow("45 without a space") << QString(45, 'x') << "…" + QString(44, 'x');
        // "é" as e + combining accent and a family emoji count as one character each.
        const QString accents = QString("e\u0301").repeated(44);
        QTest::newRow("44 composed characters") << accents << accents;
        QTest::newRow("45 with an emoji") << "\U0001F468\u200D\U0001F469\u200D\U0001F467" + exact
                                          << "…quick brown fox jumps over the lazy dog!";
        QTest::newRow("space is the last of the 44") << QString(60, 'a') + " "
                                                     << "…";
    }
    void shortTranscript()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(pilltext::shortTranscript(text), shown);
    }

    void statusLine_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("live");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("line");
        QTest::newRow("transcript first") << "code"
                                          << "hello" << true << 0 << "hello";
        QTest::newRow("locked, Right Alt")
            << "quillet"
            << "" << true << int(HotKey::rightOption) << "Locked on · tap Alt to finish";
        QTest::newRow("locked, Right Super")
            << "code"
            << "" << true << int(HotKey::rightCommand) << "Locked on · tap Super to finish";
        QTest::newRow("locked, Right Ctrl")
            << "code"
            << "" << true << int(HotKey::rightControl) << "Locked on · tap Ctrl to finish";
        QTest::newRow("locked, Right Shift")
            << "code"
            << "" << true << int(HotKey::rightShift) << "Locked on · tap ⇧ to finish";
        QTest::newRow("locked, Menu key")
            << "code"
            << "" << true << int(HotKey::fn) << "Locked on · tap Menu to finish";
        QTest::newRow("locked, Left Alt")
            << "code"
            << "" << true << int(HotKey::leftOption) << "Locked on · tap Alt to finish";
        QTest::newRow("default mode") << "quillet"
                                      << "" << false << 0 << "Listening";
        QTest::newRow("deleted mode is the default") << "gone"
                                                     << "" << false << 0 << "Listening";
        QTest::newRow("other mode") << "chat"
                                    << "" << false << 0 << "Chat mode · ⇧ to switch";
        QTest::newRow("older id of code") << "prompt"
                                          << "" << false << 0 << "Code mode · ⇧ to switch";
    }
    void statusLine()
    {
        QFETCH(QString, mode);
        QFETCH(QString, live);
        QFETCH(bool, locked);
        QFETCH(int, key);
        QFETCH(QString, line);
        PillState s = pill(mode);
        s.liveText = live;
        s.locked = locked;
        s.hotkey = HotKey::Key(key);
        QCOMPARE(pilltext::statusLine(s), line);
    }

    void meterHeights_data()
    {
        QTest::addColumn<double>("level");
        QTest::addColumn<QList<qreal>>("bars");
        QTest::newRow("silence") << 0.0 << QList<qreal>{4, 4, 4, 4, 4};
        QTest::newRow("0.3") << 0.3 << QList<qreal>{7.36, 9.376, 10.72, 9.04, 7.024};
        QTest::newRow("0.625 is full") << 0.625 << QList<qreal>{11, 15.2, 18, 14.5, 10.3};
        QTest::newRow("loud stays full") << 1.0 << QList<qreal>{11, 15.2, 18, 14.5, 10.3};
    }
    // The bars as laid out: 3 wide, 2 apart, each centred on the pill's middle.
    void meterHeights()
    {
        QFETCH(double, level);
        QFETCH(QList<qreal>, bars);
        const PillLayout layout = PillLayout::compute(pill(), PillLayout::meterScale(level));
        const QList<qreal> got = heights(layout);
        for (int i = 0; i < 5; ++i) {
            QVERIFY2(qAbs(got[i] - bars[i]) < 1e-9, qPrintable(QString::number(got[i])));
            QCOMPARE(layout.bars[i].width(), 3.0);
            QCOMPARE(layout.bars[i].center().y(), 32.0);
            if (i > 0)
                QCOMPARE(layout.bars[i].left() - layout.bars[i - 1].right(), 2.0);
        }
    }

    // A long transcript is cut at its head to the status frame: 250 wide, 170 beside the lag
    // note; the end of what was said stays in view.
    void statusFrame()
    {
        PillState s = pill("write");
        s.liveText = "and then we went all the way down to the harbour to watch the boats";
        for (const bool lagging : {false, true}) {
            s.lagging = lagging;
            const PillLayout layout = PillLayout::compute(s, 0);
            const qreal frame = lagging ? 170 : 250;
            QVERIFY2(layout.status.width() <= frame,
                     qPrintable(QString::number(layout.status.width())));
            QVERIFY(layout.status.width() > frame - 20);
            QVERIFY(layout.statusText.startsWith(u'…'));
            QVERIFY(layout.statusText.endsWith("watch the boats"));
            QVERIFY(QFontMetricsF(PillLayout::textFont()).horizontalAdvance(layout.statusText) <=
                    layout.status.width() + 0.5);
            QCOMPARE(layout.note.isEmpty(), !lagging);
            QVERIFY(layout.capsule.width() <= 420);
        }
        s.lagging = false;
        s.liveText = "short";
        const PillLayout layout = PillLayout::compute(s, 0);
        QCOMPARE(layout.statusText, "short");
    }

    // What each state shows, on a capsule 36 high centred in the 420 × 64 panel.
    void content()
    {
        struct Row {
            const char* name;
            QString mode;
            Phase phase;
            QString toast;
            bool locked;
            Content content;
            QString label; // processing label or toast
            bool lock;
            bool bars;
        };
        const QList<Row> rows = {
            {"recording", "code", Phase::recording, {}, false, Content::listening, {}, false, true},
            {"locked", "code", Phase::recording, {}, true, Content::listening, {}, true, true},
            {"processing",
             "code",
             Phase::processing,
             {},
             true,
             Content::processing,
             "Code…",
             false,
             false},
            {"processing by default",
             "quillet",
             Phase::processing,
             {},
             false,
             Content::processing,
             "…",
             false,
             false},
            {"toast", "code", Phase::recording, "Cancelled", true, Content::toast, "Cancelled",
             false, false},
        };
        for (const Row& row : rows) {
            PillState s = pill(row.mode, row.phase);
            s.toast = row.toast;
            s.locked = row.locked;
            const PillLayout layout = PillLayout::compute(s, 1);
            QVERIFY2(layout.content == row.content, row.name);
            QCOMPARE(layout.labelText, row.label);
            QVERIFY2(!layout.lock.isEmpty() == row.lock, row.name);
            QVERIFY2(!layout.bars[0].isEmpty() == row.bars, row.name);
            QVERIFY2((row.content == Content::toast) == layout.tag.isEmpty(), row.name);
            QVERIFY2((row.content == Content::processing) == !layout.spinner.isEmpty(), row.name);
            QCOMPARE(layout.capsule.height(), 36.0);
            QCOMPARE(layout.capsule.center(), QPointF(210, 32));
            if (row.content != Content::toast)
                QCOMPARE(layout.tagText, s.mode.name);
            // Items run left to right, 14 in from the capsule's ends.
            const QRectF first = row.content == Content::toast ? layout.label : layout.tag;
            QCOMPARE(first.left() - layout.capsule.left(), 14.0);
        }
        PillState unbound = pill();
        unbound.bound = false;
        unbound.toast = "Cancelled";
        QVERIFY(PillLayout::compute(unbound, 0).capsule.isEmpty());
    }
};

QTEST_MAIN(PillLayoutTest)
#include "PillLayoutTest.moc"
