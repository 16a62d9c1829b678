#include "store/ModeSettings.h"

#include "StyleHelpers.h"
#include "store/AppTables.h"
#include "store/BuiltInModes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace quillet;

namespace {

// A small valid document to break in one place.
QJsonObject sampleDocument()
{
    QJsonObject style{{"id", "mine"},       {"name", "Mine"},
                      {"color", "#123456"}, {"instructions", "do it"},
                      {"fast", false},      {"useHistory", true}};
    return QJsonObject{{"styles", QJsonArray{style}},
                       {"apps", QJsonObject{{"Slack", "mine"}}},
                       {"otherApps", "mine"}};
}

QJsonObject withStyleKey(const QString& key, const QJsonValue& value)
{
    QJsonObject doc = sampleDocument();
    QJsonObject style = doc["styles"].toArray().first().toObject();
    if (value.isUndefined())
        style.remove(key);
    else
        style[key] = value;
    doc["styles"] = QJsonArray{style};
    return doc;
}

QJsonObject withKey(const QString& key, const QJsonValue& value)
{
    QJsonObject doc = sampleDocument();
    if (value.isUndefined())
        doc.remove(key);
    else
        doc[key] = value;
    return doc;
}

} // namespace

class ModeSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void roundTrip()
    {
        ModeSettings settings = ModeSettings::defaults();
        QByteArray bytes = settings.encode();
        QVERIFY(!bytes.contains('\n'));
        QVERIFY(!bytes.contains("\"edited\""));
        QVERIFY(!bytes.contains("\"perApp\""));
        QCOMPARE(ModeSettings::decode(bytes), std::optional<ModeSettings>(settings));

        settings.perApp = false;
        settings.styles[3].edited = false;
        settings.styles[1].edited = true;
        settings.styles.append(customStyle(QStringLiteral("A1B2C3D4-0000-4000-8000-00000000000F")));
        settings.apps.insert(QStringLiteral("org.example.App"), QStringLiteral("code"));
        bytes = settings.encode();
        QVERIFY(bytes.contains("\"perApp\":false"));
        QCOMPARE(bytes.count("\"edited\""), 2);
        const auto decoded = ModeSettings::decode(bytes);
        QVERIFY(decoded);
        QCOMPARE(*decoded, settings);
        QCOMPARE(decoded->styles[3].edited, std::optional<bool>(false));
        QVERIFY(!decoded->styles[0].edited.has_value());
    }

    void readsAnyOrderAndWhitespace()
    {
        const QByteArray text = R"( {
            "otherApps" : "write", "perApp" : true,
            "apps" : { "kitty" : "code" },
            "styles" : [ { "useHistory" : false, "fast" : true, "instructions" : "a\nb",
                           "color" : "#FF0000", "name" : "N", "id" : "x", "edited" : false } ]
        } )";
        const auto decoded = ModeSettings::decode(text);
        QVERIFY(decoded);
        QCOMPARE(decoded->otherApps, QStringLiteral("write"));
        QCOMPARE(decoded->perApp, std::optional<bool>(true));
        QCOMPARE(decoded->apps.value("kitty"), QStringLiteral("code"));
        QCOMPARE(decoded->styles.size(), 1);
        QCOMPARE(decoded->styles[0].instructions, QStringLiteral("a\nb"));
        QCOMPARE(decoded->styles[0].edited, std::optional<bool>(false));
        QVERIFY(decoded->styles[0].fast);

        // Null optional keys read as absent. A colour is plain text in the file; an unreadable
        // one shows as grey rather than costing the user their modes.
        QJsonObject style = withStyleKey("color", "blue")["styles"][0].toObject();
        style["edited"] = QJsonValue::Null;
        QJsonObject doc = withKey("perApp", QJsonValue::Null);
        doc["styles"] = QJsonArray{style};
        const auto lenient = ModeSettings::decode(QJsonDocument(doc).toJson());
        QVERIFY(lenient);
        QVERIFY(!lenient->perApp && !lenient->styles[0].edited);
        QCOMPARE(lenient->styles[0].color, QStringLiteral("blue"));
    }

    void rejects_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const auto add = [](const char* name, const QJsonObject& doc) {
            QTest::newRow(name) << QJsonDocument(doc).toJson();
        };
        QTest::newRow("not JSON") << QByteArray("{\"styles\":");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("array at top level") << QByteArray("[]");
        for (const char* key : {"id", "name", "color", "instructions", "fast", "useHistory"})
            add(qPrintable(QStringLiteral("style lacks %1").arg(key)),
                withStyleKey(QString::fromLatin1(key), QJsonValue::Undefined));
        add("edited as text", withStyleKey("edited", "yes"));
        add("no styles", withKey("styles", QJsonValue::Undefined));
        add("no apps", withKey("apps", QJsonValue::Undefined));
        add("no otherApps", withKey("otherApps", QJsonValue::Undefined));
        add("styles as object", withKey("styles", QJsonObject()));
        add("style as text", withKey("styles", QJsonArray{"mine"}));
        add("apps as array", withKey("apps", QJsonArray()));
        add("app mode as number", withKey("apps", QJsonObject{{"Slack", 3}}));
        add("perApp as text", withKey("perApp", "true"));
        // One bad style among good ones rejects the whole document.
        QJsonObject mixed = ModeSettings::defaults().toJson();
        QJsonArray styles = mixed["styles"].toArray();
        QJsonObject last = styles.last().toObject();
        last.remove("useHistory");
        styles.replace(styles.size() - 1, last);
        mixed["styles"] = styles;
        add("one style lacks useHistory", mixed);
    }

    void rejects()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!ModeSettings::decode(bytes).has_value());
    }

    void anAbsentEditedIsNeitherFalseNorTrue()
    {
        Style absent = builtInStyles()[3];
        Style no = absent;
        no.edited = false;
        Style yes = absent;
        yes.edited = true;
        QVERIFY(absent != no && no != yes);
        QVERIFY(qHash(absent) != qHash(no) && qHash(no) != qHash(yes));
    }

    void saveStyle()
    {
        ModeSettings settings = ModeSettings::defaults();
        Style write = settings.styles[3];
        write.fast = true;
        settings.saveStyle(write);
        QCOMPARE(settings.styles[3].edited, std::optional<bool>(true));
        QCOMPARE(settings.styles.size(), 4);

        write.fast = false;
        settings.saveStyle(write);
        QCOMPARE(settings.styles[3].edited, std::optional<bool>(false));

        Style quillet = settings.styles[0];
        quillet.name = QStringLiteral("Plain");
        quillet.color = QStringLiteral("#000000");
        quillet.edited = true;
        settings.saveStyle(quillet);
        QCOMPARE(settings.styles[0].name, QStringLiteral("Plain"));
        QCOMPARE(settings.styles[0].edited, std::optional<bool>(false));

        Style code = settings.styles[1];
        code.instructions += u' ';
        settings.saveStyle(code);
        QCOMPARE(settings.styles[1].edited, std::optional<bool>(true));
        code.instructions.chop(1);
        code.useHistory = false;
        settings.saveStyle(code);
        QCOMPARE(settings.styles[1].edited, std::optional<bool>(true));

        Style mine = customStyle(QStringLiteral("mine"));
        settings.saveStyle(mine);
        QCOMPARE(settings.styles.last(), mine);
        mine.name = QStringLiteral("Renamed");
        mine.edited = true;
        settings.saveStyle(mine);
        QCOMPARE(settings.styles.size(), 5);
        QCOMPARE(settings.styles.last(), mine);
    }

    void deleteStyle()
    {
        ModeSettings settings = ModeSettings::defaults();
        settings.otherApps = QStringLiteral("chat");
        settings.styles.append(settings.styles[2]);
        settings.deleteStyle(QStringLiteral("chat"));
        QCOMPARE(idsOf(settings.styles), (QStringList{"quillet", "code", "write"}));
        QVERIFY(!settings.apps.values().contains(QStringLiteral("chat")));
        QCOMPARE(settings.apps.value("com.apple.mail"), QStringLiteral("write"));
        QCOMPARE(settings.otherApps, QStringLiteral("quillet"));

        settings.otherApps = QStringLiteral("code");
        settings.deleteStyle(QStringLiteral("write"));
        QCOMPARE(settings.otherApps, QStringLiteral("code"));

        for (const QString& id : idsOf(settings.styles)) {
            settings.deleteStyle(id);
            settings.ensureNotEmpty();
        }
        QCOMPARE(settings.styles, builtInStyles());
        settings.styles = {customStyle(QStringLiteral("mine"))};
        settings.ensureNotEmpty();
        QCOMPARE(settings.styles.size(), 1);
    }

    void moveStyles_data()
    {
        QTest::addColumn<QList<int>>("offsets");
        QTest::addColumn<int>("destination");
        QTest::addColumn<QString>("order");
        // Start: a b c d e.
        QTest::newRow("first to end") << QList<int>{0} << 5 << "bcdea";
        QTest::newRow("last to front") << QList<int>{4} << 0 << "eabcd";
        QTest::newRow("down one") << QList<int>{1} << 3 << "acbde";
        QTest::newRow("onto itself") << QList<int>{2} << 2 << "abcde";
        QTest::newRow("just after itself") << QList<int>{2} << 3 << "abcde";
        QTest::newRow("block keeps order") << QList<int>{0, 3} << 2 << "badce";
        QTest::newRow("block to end") << QList<int>{3, 1} << 5 << "acebd";
        QTest::newRow("block to front") << QList<int>{4, 2} << 0 << "ceabd";
        QTest::newRow("nothing") << QList<int>{} << 1 << "abcde";
    }

    void moveStyles()
    {
        QFETCH(QList<int>, offsets);
        QFETCH(int, destination);
        QFETCH(QString, order);
        ModeSettings settings;
        for (const char* id : {"a", "b", "c", "d", "e"})
            settings.styles.append(customStyle(QString::fromLatin1(id)));
        settings.moveStyles(std::set<int>(offsets.cbegin(), offsets.cend()), destination);
        QCOMPARE(idsOf(settings.styles).join(QString()), order);
    }

    void appMapping()
    {
        ModeSettings settings = ModeSettings::defaults();
        settings.setOtherApps(QStringLiteral("write"));
        settings.addApp(QStringLiteral("org.example.Editor"));
        QCOMPARE(settings.apps.value("org.example.Editor"), QStringLiteral("write"));
        settings.setAppMode(QStringLiteral("org.example.Editor"), QStringLiteral("code"));
        QCOMPARE(settings.appMode("ORG.EXAMPLE.EDITOR"), std::optional<QString>("code"));
        settings.removeApp(QStringLiteral("org.example.Editor"));
        QVERIFY(!settings.appMode("org.example.Editor"));

        // An exact key wins over one that differs only in case.
        settings.setAppMode(QStringLiteral("KITTY"), QStringLiteral("write"));
        QCOMPARE(settings.appMode("kitty"), std::optional<QString>("code"));
        QCOMPARE(settings.appMode("KITTY"), std::optional<QString>("write"));
        QCOMPARE(settings.appMode("TelegramDesktop"), std::optional<QString>("chat"));
        QCOMPARE(settings.appMode("telegramdesktop"), std::optional<QString>("chat"));
        QVERIFY(!settings.appMode("telegram"));
        // Removing takes every spelling that a lookup would find.
        settings.removeApp(QStringLiteral("kitty"));
        settings.removeApp(QStringLiteral("slack"));
        QVERIFY(!settings.appMode("KITTY") && !settings.appMode("Slack"));
    }

    void restoreDefaultApps()
    {
        ModeSettings settings = ModeSettings::defaults();
        settings.apps.clear();
        settings.setAppMode(QStringLiteral("com.tinyspeck.slackmacgap"), QStringLiteral("write"));
        settings.setAppMode(QStringLiteral("slack"), QStringLiteral("code"));
        settings.setAppMode(QStringLiteral("org.example.Mine"), QStringLiteral("chat"));
        settings.restoreDefaultApps();

        QCOMPARE(settings.apps.value("com.tinyspeck.slackmacgap"), QStringLiteral("write"));
        QCOMPARE(settings.apps.value("org.example.Mine"), QStringLiteral("chat"));
        QCOMPARE(settings.apps.value("com.apple.Notes"), QStringLiteral("write"));
        // The user's own spelling of an id counts as having it.
        QVERIFY(!settings.apps.contains("Slack"));
        QCOMPARE(settings.appMode("Slack"), std::optional<QString>("code"));
        QCOMPARE(settings.apps.size(), defaultApps().size() + 1);
    }
};

QTEST_GUILESS_MAIN(ModeSettingsTest)
#include "ModeSettingsTest.moc"
