#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace quillet {

// One release as the update manifest announces it.
struct Release {
    QString version;  // human-readable
    qint64 build = 0; // compared with the running build
    QUrl url;         // the zip archive
    QString sha256;   // hexadecimal digest of the archive, either letter case

    // The manifest: one JSON object with all four keys ("version" a string, "build" an integer,
    // "url" an absolute http or https URL, "sha256" a string); other keys are ignored. Anything
    // else reads as nullopt.
    static std::optional<Release> fromJson(const QByteArray& json);

    friend bool operator==(const Release&, const Release&) = default;
};

} // namespace quillet
