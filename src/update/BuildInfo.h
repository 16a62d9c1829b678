#pragma once

#include <QString>

namespace quillet {

// What this build was configured with: the Linux build's information dictionary.
struct BuildInfo {
    // The identifier a bundle's signature must name.
    static inline const QString identifier = QStringLiteral("com.fernwick.quillet.linux");

    // The build number as configured; parse it with Bundle::parseBuildNumber.
    static QString buildNumber();
    // Where "/quillet/latest.json" is looked for; empty when this build does not update itself.
    static QString updateSite();
    // The minisign public key (its file text or only the key line); empty when none was given.
    static QString updatePublicKey();
};

} // namespace quillet
