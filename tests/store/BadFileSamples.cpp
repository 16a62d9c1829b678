// Broken data files; kept apart from the test class because moc cannot parse raw strings.

#include "BadFileSamples.h"

#include <QRandomGenerator>
#include <QTest>

namespace quillet {

namespace {

QByteArray huge(const QByteArray& head, const QByteArray& tail)
{
    QByteArray bytes = head;
    bytes.append(50 * 1024 * 1024, 'A');
    bytes.append(tail);
    return bytes;
}

QByteArray binary()
{
    QByteArray bytes(4096, '\0');
    QRandomGenerator rng(42);
    for (char& c : bytes)
        c = static_cast<char>(rng.bounded(256));
    return bytes;
}

} // namespace

void addBadFileRows()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray validEntry =
        R"({"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","date":1,"raw":"r","text":"t","mode":"m"})";
    const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
    const QByteArray deepObject =
        QByteArray("{\"terms\":") + deep + QByteArray(",\"replacements\":[]}");

    for (const char* file : {"vocabulary.json", "history.json", "modes.json"}) {
        auto row = [&](const char* what, const QByteArray& bytes) {
            QTest::addRow("%s %s", file, what) << QString::fromLatin1(file) << bytes;
        };
        row("empty", QByteArray());
        row("binary", binary());
        row("deep nesting", deep);
        row("huge", huge("{\"terms\":\"", "\"}"));
        row("not json", "hello");
    }
    auto row = [](const char* file, const char* what, const QByteArray& bytes) {
        QTest::addRow("%s %s", file, what) << QString::fromLatin1(file) << bytes;
    };
    row("vocabulary.json", "truncated", R"({"terms":["a","b"],"replacements":[{"fr)");
    row("vocabulary.json", "deep inside", deepObject);
    row("vocabulary.json", "an array", "[]");
    row("history.json", "truncated", "[" + validEntry.left(40));
    row("history.json", "an object", validEntry);
    row("history.json", "missing mode",
        R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","date":1,"raw":"r","text":"t"}])");
    row("history.json", "app not a string",
        R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","date":1,"raw":"r","text":"t","mode":"m","app":7}])");
    row("history.json", "one good one bad", "[" + validEntry + ",{}]");
    row("modes.json", "truncated", R"({"styles":[{"id":"quillet","name":)");
}

} // namespace quillet
