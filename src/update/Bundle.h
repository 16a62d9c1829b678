#pragma once

#include "util/Result.h"

#include <QByteArray>
#include <QString>

namespace quillet {

// A Quillet.AppDir on disk: its canonical file list (what the signature covers), its build number
// and the check of its signature.
class Bundle {
public:
    static inline const QString directoryName = QStringLiteral("Quillet.AppDir");
    // Beside the files it covers, and the one file the list leaves out.
    static inline const QString signatureName = QStringLiteral("bundle.minisig");
    static inline const QString infoName = QStringLiteral("bundle.json");

    static inline const QString unreadableSignature =
        QStringLiteral("couldn't read the update's signature");
    static inline const QString notSigned =
        QStringLiteral("the update isn't signed by Quillet's developer");

    // One line per entry under `appDir` except the signature, sorted by path (bytes):
    // "<mode, six octal digits> <digest> <path>\n", where the mode carries the file type and
    // permission bits (100755, 040755, 120777), the digest is the lower-case SHA-256 of a file's
    // content or of a link's target and "-" for a folder, and the path is relative with "/"
    // between names. Fails on special files, names holding a line break and unreadable entries.
    static Result<QByteArray> fileList(const QString& appDir);

    // The "build" of bundle.json (a number, or a text read by parseBuildNumber); 0 when missing.
    static qint64 build(const QString& appDir);
    // A decimal integer with an optional leading "+" or "-" and nothing else; anything else,
    // or a number out of range, is 0.
    static qint64 parseBuildNumber(const QString& text);

    // Checks the signature file against `publicKey` (minisign key text): its trusted comment must
    // start with `identifier` as a word of its own, and it must sign the current file list.
    static Result<void> checkSignature(const QString& appDir, const QString& publicKey,
                                       const QString& identifier);
};

} // namespace quillet
