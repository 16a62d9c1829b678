#pragma once

#include "util/Result.h"

#include <QString>

#include <optional>

namespace quillet {

// The blocking steps of an installation, between the download and the replacement, in their
// fixed order: digest, unpack, signature, build number. Each returns the text the user sees after
// "Update failed: ". They touch only files, so they run off the main thread.
class Installer {
public:
    static inline const QString checksumMismatch =
        QStringLiteral("download didn't match its checksum");
    static inline const QString unpackFailed = QStringLiteral("couldn't unpack the update");
    static inline const QString notNewer = QStringLiteral("downloaded build isn't newer");

    struct Checks {
        QString publicKey;  // minisign key text
        QString identifier; // what the signature's trusted comment must name
        qint64 runningBuild = 0;
    };

    // $TMPDIR/quillet-update-<build>
    static QString workFolder(qint64 build);

    // Lower-case hexadecimal SHA-256 of a file.
    static Result<QString> sha256(const QString& path);

    // Checks the archive's digest against `expectedSha256` (either letter case; skipped when
    // nullopt), empties and makes `workFolder`, unpacks into it, and checks the signature and
    // the build of the Quillet.AppDir found there. Returns that folder.
    static Result<QString> prepare(const QString& archive, std::optional<QString> expectedSha256,
                                   const QString& workFolder, const Checks& checks);

    // The last two steps on an unpacked bundle: signature, then a build above the running one.
    static Result<void> checkBundle(const QString& appDir, const Checks& checks);
};

} // namespace quillet
