#include "wayland/XkbKeymap.h"

#include <QTest>

#include <xkbcommon/xkbcommon-keysyms.h>

using namespace quillet;

class XkbKeymapTest : public QObject {
    Q_OBJECT
private slots:
    // Where the paste chord's V is: a physical key that moves with the layout.
    void findV_data()
    {
        QTest::addColumn<QByteArray>("layout");
        QTest::addColumn<QByteArray>("variant");
        QTest::addColumn<int>("code"); // the kernel's key code, -1: none
        QTest::addColumn<int>("group");
        QTest::newRow("us") << QByteArray("us") << QByteArray() << 47 << 0;
        QTest::newRow("german") << QByteArray("de") << QByteArray() << 47 << 0;
        QTest::newRow("french") << QByteArray("fr") << QByteArray() << 47 << 0;
        // Where a US layout has the full stop.
        QTest::newRow("dvorak") << QByteArray("us") << QByteArray("dvorak") << 52 << 0;
        // Not in the first layout: the second one's key, in that layout.
        QTest::newRow("russian first") << QByteArray("ru,us") << QByteArray() << 47 << 1;
        QTest::newRow("russian only") << QByteArray("ru") << QByteArray() << -1 << 0;
    }
    void findV()
    {
        QFETCH(QByteArray, layout);
        QFETCH(QByteArray, variant);
        QFETCH(int, code);
        QFETCH(int, group);
        const auto keymap = XkbKeymap::fromNames(layout, variant);
        QVERIFY(keymap);
        const auto v = keymap->find(XKB_KEY_v);
        QCOMPARE(v.has_value(), code >= 0);
        if (v) {
            QCOMPARE(v->code, quint32(code));
            QCOMPARE(v->group, quint32(group));
            QCOMPARE(v->modifiers, 0u);
        }
        // What we hand a compositor compiles to the same layout.
        const auto again = XkbKeymap::fromText(keymap->text());
        QVERIFY(again);
        QCOMPARE(again->find(XKB_KEY_v), v);
        QVERIFY(keymap->isFullLayout());
    }

    // A symbol on a shifted level comes with the modifier that reaches it.
    void shiftedSymbol()
    {
        const auto keymap = XkbKeymap::fromNames("us");
        const auto v = keymap->find(XKB_KEY_V);
        QVERIFY(v);
        QCOMPARE(v->code, 47u);
        QCOMPARE(v->modifiers, keymap->modifier("Shift"));
        QVERIFY(keymap->modifier("Shift") != 0);
        QVERIFY(keymap->modifier("Control") != 0);
        QCOMPARE(keymap->modifier("NoSuchModifier"), 0u);
    }

    // The few keys a typing tool makes up for what it types are not a layout.
    void madeUpKeymap()
    {
        const auto keymap = XkbKeymap::fromText(R"(xkb_keymap {
            xkb_keycodes "tool" { minimum = 8; maximum = 255; <K1> = 9; <K2> = 10; };
            xkb_types "tool" { include "complete" };
            xkb_compat "tool" { include "complete" };
            xkb_symbols "tool" { key <K1> { [ v ] }; key <K2> { [ Alt_R ] }; };
        };)");
        QVERIFY(keymap);
        QCOMPARE(keymap->find(XKB_KEY_v)->code, 1u);
        QVERIFY(!keymap->isFullLayout());
        QVERIFY(!XkbKeymap::fromText("not a keymap"));
    }
};

QTEST_GUILESS_MAIN(XkbKeymapTest)
#include "XkbKeymapTest.moc"
