#include "UpdateFixture.h"
#include "update/Release.h"
#include "update/Unpacker.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

using namespace quillet;
using namespace quillet::updatetest;

namespace {

// Flips, inserts, deletes or overwrites a few bytes.
QByteArray mutate(QByteArray bytes, QRandomGenerator& random)
{
    const int edits = 1 + random.bounded(4);
    for (int i = 0; i < edits && !bytes.isEmpty(); ++i) {
        const qsizetype at = random.bounded(static_cast<int>(bytes.size()));
        switch (random.bounded(4)) {
        case 0:
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << random.bounded(8)));
            break;
        case 1:
            bytes.insert(at, static_cast<char>(random.bounded(256)));
            break;
        case 2:
            bytes.remove(at, 1 + random.bounded(8));
            break;
        default:
            bytes[at] = "\"{}[],:0/.\\"[random.bounded(11)];
        }
    }
    return bytes;
}

// Damage may leave names that are not UTF-8 and folders that cannot be entered.
void removeTree(const QString& root)
{
    namespace fs = std::filesystem;
    const fs::path path(QFile::encodeName(root).toStdString());
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(path, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (!it->is_symlink())
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path, ignored);
}

} // namespace

// Random damage from a fixed starting point, so that a failure repeats: the readers of what comes
// from the network never crash, and a damaged archive never writes outside its folder.
class UpdateFuzzTest : public QObject {
    Q_OBJECT

private slots:
    void manifestReader()
    {
        QRandomGenerator random(20240611);
        const QByteArray original =
            R"({"version":"0.2.0","build":2,"url":"https://u.example/quillet/Q.zip","sha256":"ab"})";
        int accepted = 0;
        for (int i = 0; i < 20000; ++i) {
            const std::optional<Release> release = Release::fromJson(mutate(original, random));
            if (!release)
                continue;
            ++accepted;
            QVERIFY(release->url.isValid());
            QVERIFY(release->url.scheme() == "https" || release->url.scheme() == "http");
        }
        // Some damage leaves a valid manifest (a digit changed); most does not.
        QVERIFY(accepted > 0 && accepted < 20000);
    }

    void archiveUnpacker()
    {
        // A thousand small trees: in memory when the machine offers it, disks are slow at this.
        const bool shm = QFileInfo(QStringLiteral("/dev/shm")).isWritable();
        QTemporaryDir sandbox(shm ? QStringLiteral("/dev/shm/quillet-fuzz-XXXXXX")
                                  : QDir::tempPath() + QStringLiteral("/quillet-fuzz-XXXXXX"));
        const QString zip = sandbox.filePath("original.zip");
        QVERIFY(
            writeZip(zip, {{"Quillet.AppDir/", {}, AE_IFDIR | 0755, {}, {}},
                           {"Quillet.AppDir/AppRun", "#!/bin/sh\n", AE_IFREG | 0755, {}, {}},
                           {"Quillet.AppDir/lib.so", QByteArray(600, 'z'), AE_IFREG | 0644, {}, {}},
                           {"Quillet.AppDir/link", {}, AE_IFLNK | 0777, "lib.so", {}},
                           {"Quillet.AppDir/up/x", "x", AE_IFREG | 0644, {}, {}}}));
        const QByteArray original = readFile(zip);
        QRandomGenerator random(7);
        int unpacked = 0;
        for (int i = 0; i < 1000; ++i) {
            const QString damaged = sandbox.filePath("damaged.zip");
            writeFile(damaged, mutate(original, random));
            const QString work = sandbox.filePath("box/work");
            removeTree(sandbox.filePath("box"));
            QVERIFY(QDir().mkpath(work));
            if (Unpacker::unpack(damaged, work))
                ++unpacked;
            const QStringList outside =
                tree(sandbox.filePath("box")).filter(QRegularExpression("^(?!work)"));
            QVERIFY2(outside.isEmpty(), qPrintable(outside.join(", ")));
        }
        // The damage reaches past the first check often enough to test the extraction too.
        qInfo() << unpacked << "of 1000 damaged archives unpacked";
        QVERIFY(unpacked > 0);
        removeTree(sandbox.filePath("box"));
    }
};

QTEST_GUILESS_MAIN(UpdateFuzzTest)
#include "UpdateFuzzTest.moc"
