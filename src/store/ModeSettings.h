#pragma once

#include "store/Style.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>
#include <set>

namespace quillet {

// The set of modes and the per-application choice, as kept in "modes.json". The change
// operations are plain value edits; the store wraps each in its re-read/write protocol and then
// calls ensureNotEmpty().
struct ModeSettings {
    // Display order and Shift cycling order.
    QList<Style> styles;
    // Application identifier (on Linux the WM_CLASS class) to mode id.
    QMap<QString, QString> apps;
    // Mode id for applications neither `apps` nor the web-app table place.
    QString otherApps;
    // Per-application choice; absent and false both mean off.
    std::optional<bool> perApp;

    bool operator==(const ModeSettings&) const = default;

    // The four built-in modes, the default application table, "quillet" for other apps.
    static ModeSettings defaults();

    QJsonObject toJson() const;
    // Compact JSON, the form written to "modes.json".
    QByteArray encode() const;
    // A missing required key or a wrongly typed value anywhere rejects the whole document.
    static std::optional<ModeSettings> fromJson(const QJsonObject& object);
    static std::optional<ModeSettings> decode(const QByteArray& bytes);

    // The mode id `apps` assigns to `appId`: an exact key first, else a key equal to it ignoring
    // case (application identifiers differ in case between desktops and versions).
    std::optional<QString> appMode(const QString& appId) const;

    // Change operations.
    void saveStyle(Style style);
    void deleteStyle(const QString& id);
    // Moves the styles at `offsets`, keeping their relative order, to just before the style that
    // stood at `destination` (the end when it equals the count).
    void moveStyles(const std::set<int>& offsets, int destination);
    void addApp(const QString& appId);
    void setAppMode(const QString& appId, const QString& id);
    // Removes every key equal to `appId` ignoring case.
    void removeApp(const QString& appId);
    void setOtherApps(const QString& id);
    void setPerApp(bool on);
    // Adds each default application missing from `apps` (ignoring case); entries the user
    // already has are kept as they are.
    void restoreDefaultApps();

    // Kept after every change: an empty list of styles becomes the four built-in modes.
    void ensureNotEmpty();
};

} // namespace quillet
