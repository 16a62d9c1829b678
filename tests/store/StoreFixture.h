#pragma once

#include "platform/FakeChangeNotifier.h"
#include "store/Preferences.h"
#include "store/Store.h"
#include "util/ManualClock.h"
#include "util/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace quillet {

// A store over a temporary data folder, a temporary sync folder, a manual clock and a notifier
// that only counts; its warnings are collected.
struct StoreFixture {
    QTemporaryDir root;
    ManualClock clock;
    FakeChangeNotifier notifier;
    QStringList warnings;
    std::unique_ptr<Preferences> prefs;
    std::unique_ptr<Store> store;

    StoreFixture() { prefs = std::make_unique<Preferences>(root.filePath("Quillet.conf")); }

    QString dataDir() const { return root.filePath("data/Quillet"); }
    QString syncDir() const { return root.filePath("sync"); }
    QString dataFile(const QString& name) const { return QDir(dataDir()).filePath(name); }
    QString cloudFile() const { return QDir(syncDir()).filePath(SyncFolder::fileName); }

    void enableSync()
    {
        QDir().mkpath(syncDir());
        prefs->setValue("syncFolder", syncDir());
    }

    Store& open()
    {
        store.reset();
        store = std::make_unique<Store>(dataDir(), *prefs, clock, notifier,
                                        [this](const QString& w) { warnings << w; });
        return *store;
    }

    QByteArray bytes(const QString& name) const { return readFile(dataFile(name)); }
    void put(const QString& name, const QByteArray& bytes) const
    {
        writeFile(dataFile(name), bytes);
    }
    // The files in the data folder, sorted.
    QStringList files() const { return QDir(dataDir()).entryList(QDir::Files, QDir::Name); }
};

} // namespace quillet
