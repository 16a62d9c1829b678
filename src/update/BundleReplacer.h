#pragma once

#include "util/Result.h"

#include <QString>

namespace quillet {

// Puts a new bundle where the installed one is, in one step where the file system allows it.
class BundleReplacer {
public:
    // Exchanges `replacement` with `installed` (renameat2 with RENAME_EXCHANGE), so that a
    // program looking at `installed` sees the old bundle or the new one, never a mix; on a file
    // system without exchange, two renames. A replacement on another file system is first copied
    // beside `installed`. The old bundle is removed afterwards; a process still running from it
    // keeps the files it has open. The failure text carries the system's error.
    static Result<void> replace(const QString& installed, const QString& replacement);
};

} // namespace quillet
