#pragma once

#include "util/Result.h"

#include <QString>

namespace quillet {

// Unpacks a zip archive into a folder, refusing archives that would write anywhere else.
class Unpacker {
public:
    // Reads every entry first and refuses the whole archive, writing nothing, when one has an
    // absolute path, a ".." among its names, a link (symbolic or hard) that leads outside the
    // folder, or is neither a file, a folder nor a link. Then extracts with the entries'
    // permission bits, never following a link on the way to an entry. The failure text says
    // what was wrong.
    static Result<void> unpack(const QString& archivePath, const QString& folder);

    // Whether `path` (an entry's name) stays inside the folder: relative and without "..".
    static bool isContainedPath(const QByteArray& path);
    // Whether a symbolic link at `linkPath` whose target is `target` points inside the folder.
    static bool isContainedLink(const QByteArray& linkPath, const QByteArray& target);
};

} // namespace quillet
