#pragma once

#include <QList>
#include <QMap>
#include <QString>

namespace quillet {

// Application identifier to mode id, built once and shared: the macOS bundle identifiers (kept so
// a "modes.json" shared with a Mac reads the same) and the X11 WM_CLASS class names of the same
// applications and their common Linux counterparts.
const QMap<QString, QString>& defaultApps();

// A row of the web-application table: a name looked for inside the focused window's title.
struct WebApp {
    QString name;
    QString modeId;
};
// Consulted in order.
const QList<WebApp>& webApps();

} // namespace quillet
