#include "store/ModeRules.h"

#include "StyleHelpers.h"
#include "store/AppTables.h"
#include "store/BuiltInModes.h"
#include "store/ModeColor.h"
#include "util/Json.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTest>

#include <optional>

using namespace quillet;

class ModeRulesTest : public QObject {
    Q_OBJECT
private slots:
    // Each built-in mode, instructions and all, as its compact JSON encoding's digest.
    void builtInModes_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("sha256");
        QTest::newRow("quillet")
            << 0 << QByteArray("a2a480f527c8d28d4febda3954d885cfce7935c0f4d8c19376cbc860c5599992");
        QTest::newRow("code")
            << 1 << QByteArray("ace3abc8a3876351b8350f8915b233f129a18fd71a3b3ecdc17c3d105a0e5429");
        QTest::newRow("chat")
            << 2 << QByteArray("4364db8dec59077a93f81331186adc16cf0a856f89a0c0fcd15b5378bd3d7782");
        QTest::newRow("write")
            << 3 << QByteArray("75e7489b9960c5bd933185a6bb23a13e6bc72017d99d29b2a5d194d5e7e65900");
    }

    void builtInModes()
    {
        QFETCH(int, index);
        QFETCH(QByteArray, sha256);
        const Style& style = builtInStyles().at(index);
        QCOMPARE(style.id, QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(QCryptographicHash::hash(json::compact(style.toJson()), QCryptographicHash::Sha256)
                     .toHex(),
                 sha256);
        QVERIFY(isBuiltIn(style.id));
    }

    void builtInIdsAreExact()
    {
        QVERIFY(!isBuiltIn("Write"));
        QVERIFY(!isBuiltIn("prompt"));
        QVERIFY(!isBuiltIn(""));
        QCOMPARE(builtInStyles().size(), 4);
        // Lookups ignore case, so two application keys equal but for case would make one dead.
        QSet<QString> lower;
        for (auto it = defaultApps().cbegin(); it != defaultApps().cend(); ++it) {
            QVERIFY2(!lower.contains(it.key().toLower()), qPrintable(it.key()));
            lower.insert(it.key().toLower());
            QVERIFY(isBuiltIn(it.value()));
        }
    }

    void startingMode_data()
    {
        QTest::addColumn<std::optional<bool>>("perApp");
        QTest::addColumn<QStringList>("deleted");
        QTest::addColumn<QString>("otherApps");
        QTest::addColumn<std::optional<QString>>("app");
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char* name, std::optional<bool> perApp, QStringList deleted,
                            const char* otherApps, const char* app, const char* title,
                            const char* expected) {
            const auto opt = [](const char* t) {
                return t ? std::optional<QString>(t) : std::nullopt;
            };
            QTest::newRow(name) << perApp << deleted << QString(otherApps) << opt(app) << opt(title)
                                << QString(expected);
        };
        const char* slack = "com.tinyspeck.slackmacgap";
        const char* browser = "org.mozilla.firefox";
        const std::optional<bool> on = true;
        row("per-app absent ignores apps and otherApps", {}, {}, "write", slack, nullptr,
            "quillet");
        row("per-app false", false, {}, "write", slack, nullptr, "quillet");
        row("mapped app", on, {}, "quillet", slack, nullptr, "chat");
        row("linux app id, other case", on, {}, "quillet", "slack", nullptr, "chat");
        row("terminal class", on, {}, "quillet", "Gnome-terminal", nullptr, "code");
        row("title ending in Gmail", on, {}, "quillet", browser,
            "Inbox (3) - me@example.com - Gmail", "write");
        row("table order, not title order", on, {}, "quillet", browser,
            "Slack link pasted in Gmail", "write");
        row("lower-case github", on, {}, "quillet", browser, "pull request · github", "code");
        row("substring, not whole word", on, {}, "quillet", browser, "MySlackBot settings", "chat");
        row("title applies to any app", on, {}, "quillet", "org.example.Viewer", "Claude", "code");
        row("mapped app wins over title", on, {}, "quillet", slack, "Gmail", "chat");
        row("no app, no title", on, {}, "write", nullptr, nullptr, "write");
        row("deleted app mode falls to title", on, {"chat"}, "quillet", slack, "GitHub", "code");
        row("deleted app mode falls to otherApps", on, {"chat"}, "write", slack, nullptr, "write");
        row("deleted title mode skips later rows", on, {"write"}, "code", browser,
            "Gmail and Slack", "code");
        row("otherApps deleted", on, {"write"}, "write", browser, "Nothing here", "quillet");
        row("quillet deleted still answers quillet", on, {"quillet", "write"}, "write", nullptr,
            nullptr, "quillet");
    }

    void startingMode()
    {
        QFETCH(std::optional<bool>, perApp);
        QFETCH(QStringList, deleted);
        QFETCH(QString, otherApps);
        QFETCH(std::optional<QString>, app);
        QFETCH(std::optional<QString>, title);
        QFETCH(QString, expected);
        ModeSettings settings = ModeSettings::defaults();
        settings.perApp = perApp;
        settings.otherApps = otherApps;
        settings.styles = withoutIds(settings.styles, deleted);
        QCOMPARE(quillet::startingMode(app, title, settings), expected);
    }

    void nextMode()
    {
        const QList<Style>& defaults = builtInStyles();
        QString id = QStringLiteral("quillet");
        QStringList cycle;
        for (int i = 0; i < 5; ++i) {
            id = quillet::nextMode(id, defaults);
            cycle << id;
        }
        QCOMPARE(cycle, (QStringList{"code", "chat", "write", "quillet", "code"}));
        QCOMPARE(quillet::nextMode("prompt", defaults), QStringLiteral("chat"));
        QCOMPARE(quillet::nextMode("gone", defaults), QStringLiteral("code"));

        QList<Style> noDefault = withoutIds(defaults, {"quillet"});
        noDefault.append(customStyle("mine"));
        QCOMPARE(quillet::nextMode("gone", noDefault), QStringLiteral("code"));
        QCOMPARE(quillet::nextMode("mine", noDefault), QStringLiteral("code"));
        QCOMPARE(quillet::nextMode("write", noDefault), QStringLiteral("mine"));
        QCOMPARE(quillet::nextMode("anything", {}), QStringLiteral("quillet"));
        QCOMPARE(quillet::nextMode("mine", {customStyle("mine")}), QStringLiteral("mine"));
    }

    void resolveStyle()
    {
        const QList<Style>& defaults = builtInStyles();
        QCOMPARE(quillet::resolveStyle("prompt", defaults).id, QStringLiteral("code"));
        QCOMPARE(quillet::resolveStyle("chat", defaults).name, QStringLiteral("Chat"));
        QCOMPARE(quillet::resolveStyle("gone", defaults).id, QStringLiteral("quillet"));

        QList<Style> renamed = defaults;
        renamed[0].name = QStringLiteral("Plain");
        QCOMPARE(quillet::resolveStyle("gone", renamed).name, QStringLiteral("Plain"));

        const Style fallback = quillet::resolveStyle("code", {customStyle("mine")});
        QCOMPARE(fallback, defaults.first());
        QVERIFY(!fallback.edited.has_value());
    }

    void refreshBuiltIns()
    {
        QList<Style> styles = builtInStyles();
        // Unedited, renamed and recoloured: keeps name and colour, follows the instructions.
        styles[0].name = QStringLiteral("Plain");
        styles[0].color = QStringLiteral("#000000");
        styles[0].instructions = QStringLiteral("old text");
        styles[0].fast = false;
        // Edited: kept as the user saved it.
        styles[1].instructions = QStringLiteral("my code rules");
        styles[1].useHistory = false;
        styles[1].edited = true;
        // Judged unedited (false): refreshed, flag kept.
        styles[2].instructions = QStringLiteral("older chat");
        styles[2].edited = false;
        // A custom mode that reuses no built-in id is untouched.
        styles.append(customStyle("mine"));
        styles.move(3, 0);

        QList<Style> refreshed = styles;
        quillet::refreshBuiltIns(refreshed);

        QCOMPARE(idsOf(refreshed), idsOf(styles));
        const Style& plain = refreshed[1];
        QCOMPARE(plain.name, QStringLiteral("Plain"));
        QCOMPARE(plain.color, QStringLiteral("#000000"));
        QVERIFY(plain.instructions.startsWith("Clean up dictated speech into the text"));
        QCOMPARE(plain.fast, true);
        QVERIFY(!plain.edited.has_value());
        QCOMPARE(refreshed[2], styles[2]);
        QVERIFY(refreshed[3].instructions.startsWith("Turn the dictated speech into the chat"));
        QCOMPARE(refreshed[3].edited, std::optional<bool>(false));
        QCOMPARE(refreshed[0], styles[0]);
        QCOMPARE(refreshed[4], styles[4]);
    }

    void newModeTemplate()
    {
        QList<Style> styles = builtInStyles();
        const Style first = quillet::newModeTemplate(styles);
        QCOMPARE(first.color, QStringLiteral("#6366F1"));
        QCOMPARE(first.name, QStringLiteral("New mode"));
        QCOMPARE(first.instructions.toUtf8().size(), 53);
        QVERIFY(first.instructions.endsWith(QStringLiteral("\n- ")));
        QVERIFY(!first.fast && !first.useHistory && !first.edited.has_value());
        static const QRegularExpression uuid(
            QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
        QVERIFY2(uuid.match(first.id).hasMatch(), qPrintable(first.id));
        QVERIFY(quillet::newModeTemplate(styles).id != first.id);

        styles.append(first);
        QCOMPARE(quillet::newModeTemplate(styles).color, QStringLiteral("#EF4444"));
        styles.append(first);
        QCOMPARE(quillet::newModeTemplate(styles).color, QStringLiteral("#F59E0B"));
    }

    void colorFromHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("rgb");
        QTest::newRow("canonical") << "#3B82F6" << 0x3B82F6u;
        QTest::newRow("lower case, no hash") << "3b82f6" << 0x3B82F6u;
        QTest::newRow("hashes at both ends") << "##3B82F6#" << 0x3B82F6u;
        QTest::newRow("plus sign") << "#+3B82F6" << 0x3B82F6u;
        QTest::newRow("short number") << "#FF" << 0x0000FFu;
        QTest::newRow("eight digits keep the low 24 bits") << "#7F3B82F6" << 0x3B82F6u;
        QTest::newRow("empty") << "" << 0x888888u;
        QTest::newRow("only hashes") << "###" << 0x888888u;
        QTest::newRow("not hexadecimal") << "blue" << 0x888888u;
        QTest::newRow("bad digit") << "#3B82G6" << 0x888888u;
        QTest::newRow("prefix 0x") << "0x3B82F6" << 0x888888u;
        QTest::newRow("inner space") << "#3B 82F6" << 0x888888u;
        QTest::newRow("too large for 32 bits") << "#1FFFFFFFF" << 0x888888u;
        QTest::newRow("sign only") << "#+" << 0x888888u;
        QTest::newRow("minus") << "-3B82F6" << 0x888888u;
    }

    void colorFromHex()
    {
        QFETCH(QString, text);
        QFETCH(uint, rgb);
        const ModeColor color = quillet::colorFromHex(text);
        QCOMPARE(color.rgb(), rgb);
        QCOMPARE(color.red, ((rgb >> 16) & 0xFF) / 255.0);
        QCOMPARE(color.blue, (rgb & 0xFF) / 255.0);
    }
};

QTEST_GUILESS_MAIN(ModeRulesTest)
#include "ModeRulesTest.moc"
